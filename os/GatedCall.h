#pragma once
// A Win32 file call behind the fault gate (Windows only): the call's result, or the gate's
// fault as the call itself would have reported it, `failed` with the system's error code set.
// So a test can fail any file operation of code that calls Windows directly, and the caller
// takes the path the real error would take.

#include <windows.h>

#include "os/FaultInjection.h"

namespace os {

template <typename Result, typename Call>
Result Gated(FileOperation op, Result failed, Call call) {
  if (auto fault = FaultGate(op)) {
    SetLastError(FaultWin32Error(*fault));
    return failed;
  }
  return call();
}

}  // namespace os
