#include "unlha32/Extractor.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/Crc16.h"
#include "lha/LhaError.h"
#include "lha/MemberPath.h"
#include "os/FaultInjection.h"
#include "os/GatedCall.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"
#include "unlha32/ResultCodes.h"

namespace unlha32 {
namespace {

// A Win32 failure while writing a member; the code says which result to report.
struct WriteFailure {
  int code;
  std::wstring what;
};

int CodeFor(lha::ErrorKind kind) {
  switch (kind) {
    case lha::ErrorKind::NotArchive: return kErrorNotArcFile;
    case lha::ErrorKind::HeaderBroken: return kErrorHeaderBroken;
    case lha::ErrorKind::HeaderCrc: return kErrorHeaderCrc;
    case lha::ErrorKind::DataCrc: return kErrorFileCrc;
    case lha::ErrorKind::Truncated: return kErrorHeaderBroken;
    case lha::ErrorKind::UnknownMethod: return kErrorMethod;
    case lha::ErrorKind::BadHuffmanCode: return kErrorHuffmanCode;
    case lha::ErrorKind::TooLarge: return kErrorEnoughMemory;
    case lha::ErrorKind::UnsafeName: return kErrorUnsafeName;
    case lha::ErrorKind::Io: return kErrorCannotWrite;
  }
  return kErrorHeaderBroken;
}

std::wstring Hex(int code) {
  wchar_t buf[16];
  swprintf(buf, 16, L"0x%04X", static_cast<unsigned>(code));
  return buf;
}

std::wstring Wide(const std::string& utf8) { return text::Widen(utf8); }

std::wstring MemberName(const lha::MemberHeader& m) {
  // Control characters escaped: the report goes into SETUP.LOG line by line.
  std::wstring s = Wide(lha::ShownPath(m.path));
  for (wchar_t& c : s)
    if (c == L'/') c = L'\\';
  return s;
}

class Runner {
 public:
  explicit Runner(const CommandLine& cl) : cl_(cl) {}

  Outcome Run() {
    try {
      std::unique_ptr<lha::ArchiveSource> archive = OpenArchive();
      if (!archive) return out_;
      switch (cl_.command) {
        case L'l':
        case L'v': List(*archive); break;
        case L't': Test(*archive); break;
        case L'e': Extract(*archive, false); break;
        case L'x': Extract(*archive, true); break;
        default: Fail(kErrorCommandName, L"unknown command"); break;
      }
    } catch (const lha::ELhaError& e) {
      Fail(CodeFor(e.Kind()), Wide(e.what()));
    } catch (const std::bad_alloc&) {
      Fail(kErrorEnoughMemory, L"out of memory");
    } catch (const std::exception& e) {
      Fail(kErrorCannotRead, Wide(e.what()));
    }
    return out_;
  }

 private:
  void Line(const std::wstring& s) { out_.report += s + L"\r\n"; }

  void Fail(int code, const std::wstring& what) {
    if (out_.code == 0) out_.code = code;
    Line(L"Error " + Hex(code) + L": " + what);
  }

  bool Selected(const lha::MemberHeader& m) const {
    if (cl_.patterns.empty()) return true;
    const std::wstring name = MemberName(m);
    const std::size_t slash = name.find_last_of(L'\\');
    const std::wstring base = slash == std::wstring::npos ? name : name.substr(slash + 1);
    for (const std::wstring& p : cl_.patterns)
      if (MatchesPattern(name, p) || MatchesPattern(base, p)) return true;
    return false;
  }

  // An archive on disk is read piece by piece as its members are unpacked, never held whole.
  // Anything else (a pipe) cannot be read at random and is taken in whole first.
  std::unique_ptr<lha::ArchiveSource> OpenArchive() {
    std::wstring path = cl_.archive;
    DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES && path.find(L'.', path.find_last_of(L"\\/:") + 1) == std::wstring::npos &&
        GetFileAttributesW((path + L".LZH").c_str()) != INVALID_FILE_ATTRIBUTES)
      path += L".LZH";
    win32::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
      Fail(kErrorArcFileOpen, L"cannot open the archive " + path);
      return nullptr;
    }
    archivePath_ = path;
    if (GetFileType(f.Get()) == FILE_TYPE_DISK) {
      f.Reset();
      try {
        return std::make_unique<lha::FileSource>(std::filesystem::path(path));
      } catch (const lha::ELhaError&) {
        Fail(kErrorArcFileOpen, L"cannot open the archive " + path);
        return nullptr;
      }
    }
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(f.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE) break;
        Fail(kErrorCannotRead, L"cannot read the archive " + path);
        return nullptr;
      }
      if (got == 0) break;
      streamed_.insert(streamed_.end(), chunk.begin(), chunk.begin() + got);
    }
    return std::make_unique<lha::MemorySource>(streamed_);
  }

  void List(lha::ArchiveSource& archive) {
    Line(L"Listing of archive : " + archivePath_);
    Line(L"Method  Packed    Original  CRC   Name");
    lha::ArchiveReader reader(archive);
    std::size_t count = 0;
    while (std::optional<lha::MemberHeader> m = reader.Next()) {
      if (!Selected(*m)) continue;
      wchar_t buf[96];
      swprintf(buf, 96, L"%-6hs  %-8llu  %-8llu  %04X  ", m->methodId.c_str(),
               static_cast<unsigned long long>(m->packedSize), static_cast<unsigned long long>(m->originalSize), m->dataCrc);
      Line(buf + MemberName(*m));
      ++count;
    }
    Line(std::to_wstring(count) + L" files");
  }

  void Test(lha::ArchiveSource& archive) {
    lha::ArchiveReader reader(archive);
    while (std::optional<lha::MemberHeader> m = reader.Next()) {
      if (!Selected(*m)) continue;
      try {
        reader.Extract(*m, [](std::span<const std::uint8_t>) {});
        Line(L"Tested  " + MemberName(*m));
      } catch (const lha::ELhaError& e) {
        Fail(CodeFor(e.Kind()), MemberName(*m) + L": " + Wide(e.what()));
      }
    }
  }

  std::wstring BaseFolder() const {
    std::wstring base = cl_.baseFolder;
    if (base.empty()) {
      wchar_t cwd[MAX_PATH * 4];
      DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
      base.assign(cwd, n);
    }
    for (wchar_t& c : base)
      if (c == L'/') c = L'\\';
    if (!base.empty() && base.back() != L'\\' && base.back() != L':') base += L'\\';
    return base;
  }

  static bool IsDirectory(const std::wstring& p) {
    const DWORD a = GetFileAttributesW(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  // Creates every missing folder of `path` (which ends in "\") from the left.
  static void MakeFolders(const std::wstring& path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] != L'\\' || i == 0 || path[i - 1] == L':' || path[i - 1] == L'\\') continue;
      const std::wstring prefix = path.substr(0, i);
      if (IsDirectory(prefix)) continue;
      if (!os::Gated(os::FileOperation::kMakeFolder, FALSE, [&] { return CreateDirectoryW(prefix.c_str(), nullptr); }) &&
          !IsDirectory(prefix))
        throw WriteFailure{kErrorMakeDirectory, L"cannot create the folder " + prefix};
    }
  }

  // A junction or symbolic link among the folders below the base folder could lead a member
  // out of it; such members are refused.
  static void CheckNoLinkBelow(const std::wstring& base, const std::wstring& target) {
    for (std::size_t i = base.size(); i < target.size(); ++i) {
      if (target[i] != L'\\') continue;
      const DWORD a = GetFileAttributesW(target.substr(0, i).c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
        throw WriteFailure{kErrorUnsafeName, L"a folder on the way is a link: " + target.substr(0, i)};
    }
  }

  // Windows also finds an entry by its 8.3 alias ("TOVOHE~1.DLL" for "TovoHelper.DLL"): a
  // member stored under such a name would replace a file or enter a folder the archive does
  // not name. Each component below the base folder that exists must be the entry's own name
  // (letter case aside); an old 8.3 name that is the file's own name stays allowed.
  static void CheckOwnNames(const std::wstring& base, const std::wstring& target) {
    std::size_t start = base.size();
    while (start < target.size()) {
      std::size_t end = target.find(L'\\', start);
      if (end == std::wstring::npos) end = target.size();
      const std::wstring component = target.substr(start, end - start);
      WIN32_FIND_DATAW data;
      if (!win32::UniqueFind(FindFirstFileW(target.substr(0, end).c_str(), &data))) return;
      if (CompareStringOrdinal(data.cFileName, -1, component.c_str(), -1, TRUE) != CSTR_EQUAL)
        throw WriteFailure{kErrorUnsafeName, L"\"" + component + L"\" is the short name of \"" +
                                                 std::wstring(data.cFileName) + L"\" in " + target.substr(0, start)};
      start = end + 1;
    }
  }

  static FILETIME ToFileTime(lha::FileTime t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
  }

  static lha::FileTime WriteTimeOf(const lha::MemberHeader& m) {
    if (m.writeTime && *m.writeTime >= lha::kFileTimeUnixEpoch) return *m.writeTime;
    if (!m.unixTime && m.dosTime) {
      // Level 0 and 1 keep MS-DOS local time.
      FILETIME local, utc;
      if (DosDateTimeToFileTime(static_cast<WORD>(*m.dosTime >> 16), static_cast<WORD>(*m.dosTime), &local) &&
          LocalFileTimeToFileTime(&local, &utc))
        return (static_cast<lha::FileTime>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    }
    return lha::FileTimeFromUnix(m.ModificationUnixTime());
  }

  static std::optional<lha::FileTime> ExistingWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<lha::FileTime>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  }

  static int WriteErrorCode() {
    const DWORD e = GetLastError();
    return (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL) ? kErrorDiskSpace : kErrorCannotWrite;
  }

  // Unpacks into a temporary file beside the target, checks what landed on disk against the
  // CRC, and only then moves it over the target: a bad member never replaces a good file.
  void WriteMember(const lha::ArchiveReader& reader, const lha::MemberHeader& m, const std::wstring& target) {
    const std::size_t slash = target.find_last_of(L'\\');
    const std::wstring folder = target.substr(0, slash + 1);
    std::wstring temp;
    win32::UniqueFile f;
    for (int attempt = 0; attempt < 100 && !f; ++attempt) {
      temp = folder + L"~unlha" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++tempCounter_) + L".tmp";
      f.Reset(os::Gated(os::FileOperation::kOpen, INVALID_HANDLE_VALUE, [&] {
        // Normal attributes: the file takes the member's name by a rename, which keeps them, and
        // an installed program file must not look temporary.
        return CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      }));
      if (!f && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!f) throw WriteFailure{WriteErrorCode(), L"cannot create a file in " + folder};
    struct TempGuard {
      const std::wstring& path;
      win32::UniqueFile& file;
      bool keep = false;
      ~TempGuard() {
        if (keep) return;
        file.Reset();
        os::Gated(os::FileOperation::kDelete, FALSE, [&] { return DeleteFileW(path.c_str()); });
      }
    } guard{temp, f};

    reader.Extract(m, [&](std::span<const std::uint8_t> piece) {
      std::size_t done = 0;
      while (done < piece.size()) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(piece.size() - done, 1 << 20));
        if (!os::Gated(os::FileOperation::kWrite, FALSE, [&] { return WriteFile(f.Get(), piece.data() + done, want, &wrote, nullptr); }) ||
            wrote == 0)
          throw WriteFailure{WriteErrorCode(), L"cannot write " + temp};
        done += wrote;
      }
    });
    // Read back what the file system holds.
    if (SetFilePointer(f.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
      throw WriteFailure{kErrorCannotWrite, L"cannot reread " + temp};
    std::uint16_t crc = 0;
    std::uint64_t total = 0;
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
      DWORD got = 0;
      if (!os::Gated(os::FileOperation::kRead, FALSE, [&] { return ReadFile(f.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr); }))
        throw WriteFailure{kErrorCannotWrite, L"cannot reread " + temp};
      if (got == 0) break;
      crc = lha::UpdateCrc16(crc, std::span<const std::uint8_t>(chunk.data(), got));
      total += got;
    }
    if (total != m.originalSize || (m.hasDataCrc && crc != m.dataCrc))
      throw WriteFailure{kErrorFileCrc, L"the written file does not match its CRC: " + temp};
    const FILETIME write = ToFileTime(WriteTimeOf(m));
    const FILETIME creation = m.creationTime && *m.creationTime ? ToFileTime(*m.creationTime) : write;
    const FILETIME access = write;
    SetFileTime(f.Get(), &creation, &access, &write);
    // On the disk before it takes the target's name: a power cut must not leave the target
    // replaced by a file whose data never arrived.
    if (!os::Gated(os::FileOperation::kSync, FALSE, [&] { return FlushFileBuffers(f.Get()); }))
      throw WriteFailure{WriteErrorCode(), L"cannot flush " + temp};
    f.Reset();
    if (!os::Gated(os::FileOperation::kRename, FALSE, [&] {
          return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }))
      throw WriteFailure{kErrorCannotWrite, L"cannot replace " + target};
    guard.keep = true;
  }

  void Extract(lha::ArchiveSource& archive, bool keepFolders) {
    const std::wstring base = BaseFolder();
    try {
      MakeFolders(base);
    } catch (const WriteFailure& w) {
      Fail(w.code, w.what);
      return;
    }
    const bool overwriteAlways = cl_.HasSwitch(L"c");
    lha::ArchiveReader reader(archive);
    while (std::optional<lha::MemberHeader> m = reader.Next()) {
      if (!Selected(*m)) continue;
      const std::wstring shown = MemberName(*m);
      try {
        if (m->method == lha::Method::Directory && !keepFolders) continue;
        std::wstring target = base;
        const std::vector<std::string> parts = lha::SafeDestination(m->path, keepFolders);
        for (std::size_t i = 0; i < parts.size(); ++i) target += (i ? L"\\" : L"") + Wide(parts[i]);
        if (m->method == lha::Method::Directory) {
          MakeFolders(target + L"\\");
          Line(L"Folder  " + target);
          continue;
        }
        CheckOwnNames(base, target);
        if (IsDirectory(target)) throw WriteFailure{kErrorCannotWrite, L"a folder has the member's name: " + target};
        if (!overwriteAlways) {
          std::optional<lha::FileTime> existing = ExistingWriteTime(target);
          if (existing && *existing >= WriteTimeOf(*m)) {
            Line(L"Skipped " + shown + L" (the existing file is not older)");
            continue;
          }
        }
        CheckNoLinkBelow(base, target);
        MakeFolders(target.substr(0, target.find_last_of(L'\\') + 1));
        WriteMember(reader, *m, target);
        Line(L"Extracted " + shown + L" -> " + target);
      } catch (const lha::ELhaError& e) {
        Fail(CodeFor(e.Kind()), shown + L": " + Wide(e.what()));
      } catch (const WriteFailure& w) {
        Fail(w.code, shown + L": " + w.what);
      }
    }
  }

  const CommandLine& cl_;
  Outcome out_;
  std::wstring archivePath_;
  std::vector<std::uint8_t> streamed_;  // an archive that arrived through a pipe
  unsigned tempCounter_ = 0;
};

}  // namespace

Outcome RunCommand(const CommandLine& command) { return Runner(command).Run(); }

}  // namespace unlha32
