#include <windows.h>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "os/WinHandles.h"

namespace paradox {

namespace {

class Win32File final : public BinaryFile {
 public:
  Win32File(std::filesystem::path p, HANDLE h) : BinaryFile(std::move(p)), h_(h) {}

 protected:
  std::uint64_t SystemSize() const override {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(h_.Get(), &li)) Fail("cannot read the file size");
    return static_cast<std::uint64_t>(li.QuadPart);
  }

  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) const override {
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED ov{};
      std::uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD n = 0;
      if (!ReadFile(h_.Get(), into + done, static_cast<DWORD>(size - done), &n, &ov)) {
        if (GetLastError() != ERROR_HANDLE_EOF) Fail(FailureText(os::FileOperation::kRead), at);
        n = 0;
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, const std::string& bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      OVERLAPPED ov{};
      std::uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD n = 0;
      if (!WriteFile(h_.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, &ov) || n == 0)
        Fail(FailureText(os::FileOperation::kWrite), at);
      done += n;
    }
  }

  void SetSize(std::uint64_t size) override {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(h_.Get(), li, nullptr, FILE_BEGIN) || !SetEndOfFile(h_.Get())) Fail(FailureText(os::FileOperation::kTruncate));
  }

  void SyncToDisk() override {
    if (!FlushFileBuffers(h_.Get())) Fail(FailureText(os::FileOperation::kSync));
  }

  [[noreturn]] void FailWith(os::InjectedFault fault, os::FileOperation op, std::optional<std::uint64_t> at) const override {
    SetLastError(os::FaultWin32Error(fault));
    Fail(FailureText(op), at);
  }

 private:
  [[noreturn]] void Fail(const char* what, std::optional<std::uint64_t> at = std::nullopt) const {
    RaiseEngineError(EngineMessage::kIoError, std::string(what) + " (error " + std::to_string(GetLastError()) + ")",
                     PathText(path_), at);
  }
  win32::UniqueFile h_;
};

}  // namespace

std::unique_ptr<BinaryFile> BinaryFile::Open(const std::filesystem::path& path, FileAccess access) {
  DWORD desired = GENERIC_READ;
  // A shared open lets others read (and is refused while someone writes or holds the file
  // exclusively, since they granted no sharing); an exclusive open shares nothing.
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  if (access != FileAccess::kReadShared) {
    desired |= GENERIC_WRITE;
    share = 0;
  }
  if (access == FileAccess::kCreateExclusive) disposition = CREATE_ALWAYS;
  HANDLE h = INVALID_HANDLE_VALUE;
  if (auto fault = os::FaultGate(os::FileOperation::kOpen, access == FileAccess::kCreateExclusive)) SetLastError(os::FaultWin32Error(*fault));
  else h = CreateFileW(path.wstring().c_str(), desired, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
      RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(path));
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION)
      RaiseEngineError(EngineMessage::kTableBusy, {}, PathText(path));
    RaiseEngineError(EngineMessage::kCannotOpen, "(error " + std::to_string(e) + ")", PathText(path));
  }
  return std::make_unique<Win32File>(path, h);
}

}  // namespace paradox
