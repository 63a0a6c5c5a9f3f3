// lzh: a small LHA archiver.
//   lzh a ARCHIVE FILE...   create ARCHIVE (level-2 headers, -lh5-) from the files, in order;
//                           members are stored under their file names without folders
//   lzh l ARCHIVE           list the members (a member's comment on a line of its own)
//   lzh t ARCHIVE           unpack every member and check its CRC
//   lzh e ARCHIVE [FOLDER]  extract into FOLDER (default: the current one), folders dropped
//   lzh x ARCHIVE [FOLDER]  extract with the stored folders, refusing names that would leave FOLDER
// Exit status: 0 success, 1 a member or the archive is bad, 2 wrong usage or a file error.
// l, t, e and x read the archive piece by piece and unpack each member straight into a file
// beside its target, which replaces the target only once the member's CRC holds: memory stays
// bounded whatever the sizes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/ArchiveWriter.h"
#include "lha/Header.h"
#include "lha/LhaError.h"
#include "lha/MemberPath.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::uint8_t> ReadWholeFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw UsageError("cannot open " + text::PathToUtf8(p));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw UsageError("cannot read " + text::PathToUtf8(p));
  return bytes;
}

// A file written beside its target and renamed over it only once complete, so an interrupted
// or failed run leaves the old file as it was.
class ReplacementFile {
 public:
  explicit ReplacementFile(const fs::path& target) : target_(target), temp_(target) {
    temp_ += ".lzh-tmp";
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!out_) throw UsageError("cannot write " + text::PathToUtf8(temp_));
  }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() {
    if (committed_) return;
    out_.close();
    std::error_code ec;
    fs::remove(temp_, ec);
  }

  void Write(std::span<const std::uint8_t> bytes) {
    out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out_) throw UsageError("cannot write " + text::PathToUtf8(temp_));
  }

  void Commit() {
    out_.close();
    if (!out_) throw UsageError("cannot write " + text::PathToUtf8(temp_));
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) throw UsageError("cannot replace " + text::PathToUtf8(target_));
    committed_ = true;
  }

 private:
  fs::path target_;
  fs::path temp_;
  std::ofstream out_;
  bool committed_ = false;
};

void ReplaceFile(const fs::path& target, std::span<const std::uint8_t> bytes) {
  ReplacementFile file(target);
  file.Write(bytes);
  file.Commit();
}

std::int64_t UnixTimeOf(const fs::path& p) {
  const auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(p));
  return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

void SetUnixTime(const fs::path& p, std::int64_t t) {
  const auto sys = std::chrono::sys_seconds(std::chrono::seconds(t));
  std::error_code ec;
  fs::last_write_time(p, std::chrono::file_clock::from_sys(sys), ec);
}

std::string FormatUtc(std::int64_t t) {
  std::int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
  std::int64_t secs = t - days * 86400;
  // Civil date from days since 1970 (proleptic Gregorian).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(y), static_cast<int>(m),
                static_cast<int>(d), static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buf;
}

int Create(const std::vector<std::string>& args) {
  if (args.size() < 3) throw UsageError("lzh a ARCHIVE FILE...");
  std::vector<lha::ArchiveEntry> entries;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const fs::path p = text::PathFromUtf8(args[i]);
    if (!fs::is_regular_file(p)) throw UsageError(args[i] + " is not a file");
    lha::ArchiveEntry e;
    const std::string name = text::PathToUtf8(p.filename());
    std::optional<std::string> stored = text::FromUtf8(name, text::kShiftJis);
    if (!stored) throw UsageError(name + " cannot be written in code page 932");
    e.name = *stored;
    e.data = ReadWholeFile(p);
    e.unixTime = UnixTimeOf(p);
    entries.push_back(std::move(e));
  }
  const std::vector<std::uint8_t> archive = lha::WritePayloadArchive(entries);
  ReplaceFile(text::PathFromUtf8(args[1]), archive);
  std::cout << "created " << args[1] << ": " << entries.size() << " members, " << archive.size() << " bytes\n";
  return 0;
}

int List(lha::ArchiveSource& archive) {
  std::cout << "Method  Packed    Original  Ratio   Modified (UTC)       CRC   Name\n";
  std::uint64_t packed = 0, original = 0;
  std::size_t count = 0;
  for (const lha::MemberHeader& m : lha::ListMembers(archive)) {
    char line[128];
    const double ratio = m.originalSize ? 100.0 * static_cast<double>(m.packedSize) / static_cast<double>(m.originalSize) : 100.0;
    std::snprintf(line, sizeof line, "%-6s  %-8llu  %-8llu  %5.1f%%  %s  %04X  ", m.methodId.c_str(),
                  static_cast<unsigned long long>(m.packedSize), static_cast<unsigned long long>(m.originalSize), ratio,
                  FormatUtc(m.ModificationUnixTime()).c_str(), m.dataCrc);
    std::cout << line << lha::ShownPath(m.path) << "\n";
    if (!m.comment.empty()) std::cout << "        comment: " << lha::ShownPath(m.comment) << "\n";
    packed += m.packedSize;
    original += m.originalSize;
    ++count;
  }
  std::cout << count << " members, " << packed << " packed, " << original << " original\n";
  return 0;
}

int Test(lha::ArchiveSource& archive) {
  lha::ArchiveReader reader(archive);
  int status = 0;
  while (std::optional<lha::MemberHeader> m = reader.Next()) {
    try {
      reader.Extract(*m, [](std::span<const std::uint8_t>) {});
      std::cout << "OK     " << lha::ShownPath(m->path) << "\n";
    } catch (const lha::ELhaError& e) {
      std::cout << "FAILED " << lha::ShownPath(m->path) << ": " << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}

int Extract(lha::ArchiveSource& archive, const fs::path& base, bool keepFolders) {
  lha::ArchiveReader reader(archive);
  int status = 0;
  fs::create_directories(base);
  while (std::optional<lha::MemberHeader> m = reader.Next()) {
    const std::string shown = lha::ShownPath(m->path);
    try {
      if (m->method == lha::Method::Directory && !keepFolders) continue;
      fs::path target = base;
      for (const std::string& c : lha::SafeDestination(m->path, keepFolders)) target /= text::PathFromUtf8(c);
      if (m->method == lha::Method::Directory) {
        fs::create_directories(target);
        continue;
      }
      // A symbolic link among the folders below the base could lead the member out of it.
      fs::path walk = base;
      const std::vector<std::string> parts = lha::SafeDestination(m->path, keepFolders);
      for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        walk /= text::PathFromUtf8(parts[i]);
        if (fs::is_symlink(walk)) lha::ThrowLhaError(lha::ErrorKind::UnsafeName, "a folder on the way is a link", m->path);
      }
      fs::create_directories(target.parent_path());
      // Unpacked straight into the temporary file; the CRC is checked after the last byte, and
      // only then does the file replace the target.
      ReplacementFile file(target);
      reader.Extract(*m, [&](std::span<const std::uint8_t> piece) { file.Write(piece); });
      file.Commit();
      SetUnixTime(target, m->ModificationUnixTime());
      std::cout << "extracted " << text::PathToUtf8(target) << "\n";
    } catch (const lha::ELhaError& e) {
      std::cout << "FAILED " << shown << ": " << e.what() << "\n";
      status = std::max(status, 1);
    } catch (const UsageError& e) {
      std::cout << "FAILED " << shown << ": " << e.what() << "\n";
      status = std::max(status, 2);
    }
  }
  return status;
}

int Run(const std::vector<std::string>& args) {
  try {
    if (args.size() < 2) throw UsageError("usage: lzh a|l|t|e|x ARCHIVE [FILES...|FOLDER]");
    const std::string& command = args[0];
    if (command == "a") return Create(args);
    if (args.size() > 3 || (args.size() == 3 && command != "e" && command != "x"))
      throw UsageError("too many arguments");
    const fs::path archivePath = text::PathFromUtf8(args[1]);
    if (!fs::is_regular_file(archivePath)) throw UsageError("cannot open " + args[1]);
    lha::FileSource archive(archivePath);
    if (command == "l") return List(archive);
    if (command == "t") return Test(archive);
    if (command == "e" || command == "x")
      return Extract(archive, args.size() == 3 ? text::PathFromUtf8(args[2]) : fs::path("."), command == "x");
    throw UsageError("unknown command " + command);
  } catch (const UsageError& e) {
    std::cerr << "lzh: " << e.what() << "\n";
    return 2;
  } catch (const lha::ELhaError& e) {
    std::cerr << "lzh: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "lzh: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Names are printed as UTF-8.
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(text::Narrow(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
