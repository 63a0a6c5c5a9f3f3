#pragma once
// What one Unlha call does: list, test or extract the members of one archive, collecting a
// report of each step.

#include <string>

#include "unlha32/CommandLine.h"

namespace unlha32 {

struct Outcome {
  int code = 0;         // 0 or the first error's result code
  std::wstring report;  // one line per member and per error
};

Outcome RunCommand(const CommandLine& command);

}  // namespace unlha32
