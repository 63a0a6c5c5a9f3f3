#include "app/PayloadResource.h"

#include <windows.h>

#include <system_error>

#include "fileops/FileOps.h"
#include "framework/StreamErrors.h"

namespace {

std::string ErrorText(DWORD error) {
  return fileops::SystemErrorText(std::error_code(static_cast<int>(error), std::system_category()));
}

}  // namespace

std::span<const std::uint8_t> PayloadResourceBytes() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(self, L"PGM", MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!resource) throw EResNotFound("Resource PGM not found: " + ErrorText(GetLastError()));
  const DWORD size = SizeofResource(self, resource);
  HGLOBAL loaded = LoadResource(self, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes && size != 0) throw EResNotFound("Resource PGM cannot be loaded: " + ErrorText(GetLastError()));
  return {static_cast<const std::uint8_t*>(bytes), size};
}

void SavePayloadResource(const std::string& folder, const std::string& fileName) {
  const std::span<const std::uint8_t> payload = PayloadResourceBytes();
  const std::string path = folder + "\\" + fileName;
  const fileops::WriteResult result = fileops::WriteWholeFile(path, payload);
  if (result.stage == fileops::WriteResult::Stage::kCreate)
    throw EFCreateError("Cannot create file \"" + path + "\". " + ErrorText(result.error));
  if (result.stage == fileops::WriteResult::Stage::kWrite)
    throw EStreamError("Stream write error in \"" + path + "\" after " + std::to_string(result.written) + " of " +
                       std::to_string(payload.size()) + " bytes. " + ErrorText(result.error));
}
