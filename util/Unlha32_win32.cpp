#include "util/Unlha32.h"

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "text/CodePage.h"

#include <cstring>

TUnlha32::TUnlha32() : FLibrary(LoadLibraryW(L"UNLHA32.DLL")) {
  if (!FLibrary) {
    MessageDlg(kMissingLibraryText, mtError, {mbOK});
    Abort();
  }
  FBufferSize = kBufferSize;
  // The library writes its report here; only the log reads it back, up to the first zero byte.
  FBuffer.reset(new char[static_cast<std::size_t>(FBufferSize)]);
}

TUnlha32::~TUnlha32() = default;

bool TUnlha32::BindEntryPoints() {
  if (!FLibrary) return true;
  FGetVersion = GetProcAddress(FLibrary.Get(), "UnlhaGetVersion");
  FGetRunning = GetProcAddress(FLibrary.Get(), "UnlhaGetRunning");
  FUnlha = reinterpret_cast<TUnlhaEntry>(reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "Unlha")));
  return false;
}

void TUnlha32::Execute(const std::string& commandLine) {
  if (!FUnlha) return;
  const std::optional<std::string> ansi = text::FromUtf8(commandLine, GetACP());
  if (!ansi)
    throw Exception("The extraction command line cannot be written in code page " + std::to_string(GetACP()) +
                    ": " + commandLine);
  FBuffer[0] = '\0';
  FLastResult = FUnlha(nullptr, ansi->c_str(), FBuffer.get(), static_cast<DWORD>(FBufferSize));
}

std::string TUnlha32::Report() const {
  if (!FBuffer || !FLastResult) return {};
  const std::size_t n = strnlen(FBuffer.get(), static_cast<std::size_t>(FBufferSize));
  return text::ToUtf8(std::string_view(FBuffer.get(), n), GetACP());
}
