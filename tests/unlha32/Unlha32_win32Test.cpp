// UNLHA32.DLL loaded the way SETUP.EXE loads it: LoadLibraryW, then the entries by their
// undecorated names.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lha/ArchiveReader.h"
#include "lha/ArchiveWriter.h"
#include "lha/Decoder.h"
#include "lha/Header.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using UnlhaFn = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
using GetVersionFn = WORD(WINAPI*)();
using GetRunningFn = BOOL(WINAPI*)();

constexpr int kFileCrc = 0x800C;
constexpr int kCannotWrite = 0x8013;
constexpr int kHeaderCrc = 0x8016;
constexpr int kHeaderBroken = 0x8017;
constexpr int kArcFileOpen = 0x8018;
constexpr int kNotArcFile = 0x8019;
constexpr int kCommandName = 0x801C;
constexpr int kAlreadyRunning = 0x801F;

class Unlha32 : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path dll = testing_support::BinaryDir() / "unlha32" / "UNLHA32.dll";
    module_ = LoadLibraryW(dll.wstring().c_str());
    ASSERT_NE(module_, nullptr) << "cannot load " << dll.string();
    unlha_ = reinterpret_cast<UnlhaFn>(reinterpret_cast<void*>(GetProcAddress(module_, "Unlha")));
    getVersion_ = reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(module_, "UnlhaGetVersion")));
    getRunning_ = reinterpret_cast<GetRunningFn>(reinterpret_cast<void*>(GetProcAddress(module_, "UnlhaGetRunning")));
    ASSERT_NE(unlha_, nullptr);
    ASSERT_NE(getVersion_, nullptr);
    ASSERT_NE(getRunning_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // Runs one command line given in UTF-8, passed as the ANSI text the program hands over.
  int Call(const std::wstring& command, std::string* report = nullptr) {
    const std::string ansi = ToAnsi(command);
    std::vector<char> buffer(60000, 'Z');
    const int rc = unlha_(nullptr, ansi.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (report) *report = buffer.data();
    return rc;
  }

  static std::string ToAnsi(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
  }

  HMODULE module_ = nullptr;
  UnlhaFn unlha_ = nullptr;
  GetVersionFn getVersion_ = nullptr;
  GetRunningFn getRunning_ = nullptr;
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint64_t WriteTime(const fs::path& p) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExW(p.wstring().c_str(), GetFileExInfoStandard, &d)) return 0;
  return (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
}

void SetWriteTime(const fs::path& p, std::int64_t unix) {
  HANDLE h = CreateFileW(p.wstring().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const std::uint64_t t = lha::FileTimeFromUnix(unix);
  FILETIME ft{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
}

// Files in `dir` (not below it) other than those listed.
std::vector<std::wstring> Names(const fs::path& dir) {
  std::vector<std::wstring> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring Quoted(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }
std::wstring QuotedFolder(const fs::path& p) { return L"\"" + p.wstring() + L"\\\""; }

constexpr std::int64_t kT1 = 1319702401;  // 2011-10-27 08:00:01 UTC
constexpr std::int64_t kT2 = 1271037947;

TEST_F(Unlha32, ExportsOnlyTheUndecoratedNames) {
  EXPECT_EQ(getVersion_(), 100);
  EXPECT_FALSE(getRunning_());
  EXPECT_EQ(GetProcAddress(module_, "Unlha@16"), nullptr);
  EXPECT_EQ(GetProcAddress(module_, "_Unlha@16"), nullptr);
}

TEST_F(Unlha32, ExtractsIntoAJapaneseFolderWithBlanksReplacingOlderFiles) {
  const fs::path root = testing_support::FreshTempDir("unlha32_japanese");
  const fs::path temp = root / L"一時 フォルダ";
  const fs::path installed = root / L"テスト フォルダ";
  fs::create_directories(temp);
  fs::create_directories(installed);
  const Bytes exe = Text(std::string(30000, 'M') + "new program");
  const Bytes ini = Text("[Tovo]\r\nPath=C:\\Tovo\r\n");
  const std::string japaneseName = *text::FromUtf8("\xE8\xA8\xAD\xE5\xAE\x9A.INI");  // 設定.INI
  const Bytes archive = lha::WritePayloadArchive({{"Tovo.EXE", exe, kT1}, {"TOVO.INI", ini, kT2}, {japaneseName, ini, kT2}});
  WriteFile(temp / L"PGM.LZH", archive);
  WriteFile(installed / L"Tovo.EXE", Text("old program"));
  SetWriteTime(installed / L"Tovo.EXE", kT1 - 86400 * 365);
  WriteFile(installed / L"Other.DAT", Text("kept"));

  std::string report;
  const int rc = Call(L"e -c -y " + Quoted(temp / L"PGM.LZH") + L" " + QuotedFolder(installed), &report);
  EXPECT_EQ(rc, 0) << report;
  EXPECT_EQ(ReadFile(installed / L"Tovo.EXE"), exe);
  EXPECT_EQ(ReadFile(installed / L"TOVO.INI"), ini);
  EXPECT_EQ(ReadFile(installed / L"設定.INI"), ini);
  EXPECT_EQ(ReadFile(installed / L"Other.DAT"), Text("kept"));
  EXPECT_EQ(WriteTime(installed / L"Tovo.EXE"), lha::FileTimeFromUnix(kT1));
  EXPECT_EQ(WriteTime(installed / L"TOVO.INI"), lha::FileTimeFromUnix(kT2));
  // No temporary files are left beside the members.
  EXPECT_EQ(Names(installed), (std::vector<std::wstring>{L"Other.DAT", L"TOVO.INI", L"Tovo.EXE", L"設定.INI"}));
  EXPECT_NE(report.find("Tovo.EXE"), std::string::npos) << report;
}

TEST_F(Unlha32, ExtractedFilesHaveNormalAttributes) {
  const fs::path dir = testing_support::FreshTempDir("unlha32_attributes");
  {
    HANDLE probe = CreateFileW((dir / "probe.tmp").wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE);
    CloseHandle(probe);
  }
  if (!(GetFileAttributesW((dir / "probe.tmp").wstring().c_str()) & FILE_ATTRIBUTE_TEMPORARY))
    GTEST_SKIP() << "this file system does not keep the temporary attribute (Wine drops it), so a file left "
                    "looking temporary cannot be told here";
  WriteFile(dir / "a.lzh", lha::WritePayloadArchive({{"NEW.DLL", Text("new"), kT1}, {"OLD.INI", Text("[new]"), kT2}}));
  fs::create_directories(dir / "out");
  WriteFile(dir / "out" / "OLD.INI", Text("[old]"));
  std::string report;
  ASSERT_EQ(Call(L"e -c -y " + Quoted(dir / "a.lzh") + L" " + QuotedFolder(dir / "out"), &report), 0) << report;
  for (const wchar_t* name : {L"NEW.DLL", L"OLD.INI"}) {
    SCOPED_TRACE(fs::path(name).string());
    const DWORD attributes = GetFileAttributesW((dir / "out" / name).wstring().c_str());
    EXPECT_EQ(attributes & ~DWORD(FILE_ATTRIBUTE_ARCHIVE), DWORD(0)) << std::hex << attributes;
  }
}

TEST_F(Unlha32, AMemberNamedByAnotherFilesShortNameIsRefused) {
  const fs::path dir = testing_support::FreshTempDir("unlha32_short_names");
  fs::create_directories(dir / "out");
  const fs::path helper = dir / "out" / "TovoHelper.DLL";
  WriteFile(helper, Text("the helper the archive does not name"));
  wchar_t shortPath[MAX_PATH] = L"";
  const DWORD n = GetShortPathNameW(helper.wstring().c_str(), shortPath, MAX_PATH);
  const std::wstring shortName = n ? fs::path(shortPath).filename().wstring() : L"";
  if (shortName.empty() || shortName == L"TovoHelper.DLL") GTEST_SKIP() << "this file system keeps no 8.3 names";
  ASSERT_NE(GetFileAttributesW((dir / "out" / shortName).wstring().c_str()), INVALID_FILE_ATTRIBUTES)
      << "the short name finds the file";
  const std::string stored = ToAnsi(shortName);
  // An old 8.3 name that is the file's own, in another letter case, stays allowed.
  WriteFile(dir / "out" / "TOVO.INI", Text("[old]"));
  WriteFile(dir / "a.lzh", lha::WritePayloadArchive({{stored, Text("not the helper"), kT1}, {"tovo.ini", Text("[new]"), kT1}}));
  std::string report;
  EXPECT_EQ(Call(L"e -c -y " + Quoted(dir / "a.lzh") + L" " + QuotedFolder(dir / "out"), &report), kCannotWrite);
  EXPECT_NE(report.find("short name"), std::string::npos) << report;
  EXPECT_EQ(ReadFile(helper), Text("the helper the archive does not name"));
  EXPECT_EQ(ReadFile(dir / "out" / "TOVO.INI"), Text("[new]"));
}

TEST_F(Unlha32, WithoutCAnExistingNewerFileIsKept) {
  const fs::path dir = testing_support::FreshTempDir("unlha32_fresh");
  WriteFile(dir / "a.lzh", lha::WritePayloadArchive({{"A.TXT", Text("archived"), kT2}}));
  fs::create_directories(dir / "out");
  WriteFile(dir / "out" / "A.TXT", Text("newer"));
  SetWriteTime(dir / "out" / "A.TXT", kT2 + 100);
  EXPECT_EQ(Call(L"e " + Quoted(dir / "a.lzh") + L" " + QuotedFolder(dir / "out")), 0);
  EXPECT_EQ(ReadFile(dir / "out" / "A.TXT"), Text("newer"));
  EXPECT_EQ(Call(L"e -c " + Quoted(dir / "a.lzh") + L" " + QuotedFolder(dir / "out")), 0);
  EXPECT_EQ(ReadFile(dir / "out" / "A.TXT"), Text("archived"));
}

struct Hostile {
  fs::path dir, base, outside;
};

Hostile PrepareHostile(const std::string& name) {
  Hostile h;
  h.dir = testing_support::FreshTempDir("unlha32_" + name);
  h.base = h.dir / L"展開 先";
  h.outside = h.dir;
  fs::create_directories(h.base);
  WriteFile(h.base / "VICTIM.TXT", Text("working file"));
  return h;
}

TEST_F(Unlha32, BadHeaderCrcWritesNothing) {
  Hostile h = PrepareHostile("headercrc");
  Bytes a = lha::WritePayloadArchive({{"VICTIM.TXT", Text("replacement"), kT1}});
  a[30] ^= 0x20;  // inside the name: the header CRC no longer matches
  WriteFile(h.dir / "bad.lzh", a);
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "bad.lzh") + L" " + QuotedFolder(h.base)), kHeaderCrc);
  EXPECT_EQ(ReadFile(h.base / "VICTIM.TXT"), Text("working file"));
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT"}));
}

TEST_F(Unlha32, BadDataCrcNeverReplacesTheOldFile) {
  Hostile h = PrepareHostile("datacrc");
  const Bytes good = Text(std::string(5000, 'g'));
  Bytes a = lha::WritePayloadArchive({{"GOOD.TXT", good, kT1}, {"VICTIM.TXT", Text(std::string(3000, 'r')), kT1}});
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  lha::Level2Fields f;
  f.name = "VICTIM.TXT";
  f.packedSize = m[1].packedSize;
  f.originalSize = m[1].originalSize;
  f.unixTime = kT1;
  f.dataCrc = static_cast<std::uint16_t>(m[1].dataCrc + 1);
  const Bytes header = lha::BuildLevel2Header(f);
  std::copy(header.begin(), header.end(), a.begin() + static_cast<std::ptrdiff_t>(m[1].headerOffset));
  WriteFile(h.dir / "bad.lzh", a);
  std::string report;
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "bad.lzh") + L" " + QuotedFolder(h.base), &report), kFileCrc);
  EXPECT_EQ(ReadFile(h.base / "VICTIM.TXT"), Text("working file"));
  EXPECT_EQ(ReadFile(h.base / "GOOD.TXT"), good);
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"GOOD.TXT", L"VICTIM.TXT"}));
  EXPECT_NE(report.find("VICTIM.TXT"), std::string::npos) << report;
  EXPECT_EQ(Call(L"t " + Quoted(h.dir / "bad.lzh")), kFileCrc);
}

// Several times the decoder's buffers: the member reaches the temporary file in many pieces
// before its CRC is known.
Bytes LargeMember() {
  Bytes b(3 << 20);
  unsigned x = 7;
  for (std::size_t i = 0; i < b.size(); ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<std::uint8_t>(i % 89 < 50 ? 'a' + (i / 5) % 26 : x >> 24);
  }
  return b;
}

TEST_F(Unlha32, ALargeMemberIsExtractedAndABadOneLeavesTheOldFile) {
  Hostile h = PrepareHostile("large");
  const Bytes data = LargeMember();
  Bytes a = lha::WritePayloadArchive({{"VICTIM.TXT", data, kT1}});
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_GT(m[0].packedSize, lha::kInputChunk);

  Bytes bad = a;
  lha::Level2Fields f;
  f.name = "VICTIM.TXT";
  f.packedSize = m[0].packedSize;
  f.originalSize = m[0].originalSize;
  f.unixTime = kT1;
  f.dataCrc = static_cast<std::uint16_t>(m[0].dataCrc ^ 0x8000);
  const Bytes header = lha::BuildLevel2Header(f);
  std::copy(header.begin(), header.end(), bad.begin());
  WriteFile(h.dir / "bad.lzh", bad);
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "bad.lzh") + L" " + QuotedFolder(h.base)), kFileCrc);
  EXPECT_EQ(ReadFile(h.base / "VICTIM.TXT"), Text("working file"));
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT"}));

  WriteFile(h.dir / "good.lzh", a);
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "good.lzh") + L" " + QuotedFolder(h.base)), 0);
  EXPECT_TRUE(ReadFile(h.base / "VICTIM.TXT") == data);
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT"}));
}

TEST_F(Unlha32, TruncatedMemberNeverReplacesTheOldFile) {
  Hostile h = PrepareHostile("truncated");
  Bytes a = lha::WritePayloadArchive({{"VICTIM.TXT", Text(std::string(20000, 'r') + "tail"), kT1}});
  a.resize(a.size() - 40);
  WriteFile(h.dir / "cut.lzh", a);
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "cut.lzh") + L" " + QuotedFolder(h.base)), kHeaderBroken);
  EXPECT_EQ(ReadFile(h.base / "VICTIM.TXT"), Text("working file"));
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT"}));
}

TEST_F(Unlha32, NamesThatWouldEscapeAreRefused) {
  Hostile h = PrepareHostile("escape");
  const std::string absolute = text::Narrow((h.outside / "abs.txt").wstring());
  const Bytes a = lha::WritePayloadArchive({{"..\\up.txt", Text("up"), kT1},
                                            {"sub\\..\\..\\up2.txt", Text("up2"), kT1},
                                            {absolute, Text("abs"), kT1},
                                            {"\\root.txt", Text("root"), kT1},
                                            {"sub\\ok.txt", Text("ok"), kT1}});
  WriteFile(h.dir / "evil.lzh", a);
  std::string report;
  EXPECT_EQ(Call(L"x -c -y " + Quoted(h.dir / "evil.lzh") + L" " + QuotedFolder(h.base), &report), kCannotWrite);
  EXPECT_FALSE(fs::exists(h.outside / "up.txt"));
  EXPECT_FALSE(fs::exists(h.outside / "up2.txt"));
  EXPECT_FALSE(fs::exists(h.outside / "abs.txt"));
  EXPECT_EQ(ReadFile(h.base / "sub" / "ok.txt"), Text("ok"));
  EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT", L"sub"}));
  EXPECT_EQ(Names(h.base / "sub"), (std::vector<std::wstring>{L"ok.txt"}));
  EXPECT_NE(report.find("up.txt"), std::string::npos) << report;

  // "e" drops the folder parts, so the same members land inside the base folder.
  const fs::path flat = h.dir / "flat";
  EXPECT_EQ(Call(L"e -c -y " + Quoted(h.dir / "evil.lzh") + L" " + QuotedFolder(flat)), 0);
  EXPECT_EQ(Names(flat), (std::vector<std::wstring>{L"abs.txt", L"ok.txt", L"root.txt", L"up.txt", L"up2.txt"}));
  EXPECT_FALSE(fs::exists(h.outside / "up.txt"));
}

TEST_F(Unlha32, DeviceNamesAreRefused) {
  Hostile h = PrepareHostile("device");
  const Bytes a = lha::WritePayloadArchive({{"NUL.txt", Text("n"), kT1}, {"CON", Text("c"), kT1}, {"com1.log", Text("c"), kT1},
                                            {"VICTIM.TXT", Text("fine"), kT1}});
  WriteFile(h.dir / "dev.lzh", a);
  for (const wchar_t* cmd : {L"e -c -y ", L"x -c -y "}) {
    EXPECT_EQ(Call(cmd + Quoted(h.dir / "dev.lzh") + L" " + QuotedFolder(h.base)), kCannotWrite) << cmd;
    EXPECT_EQ(ReadFile(h.base / "VICTIM.TXT"), Text("fine"));
    EXPECT_EQ(Names(h.base), (std::vector<std::wstring>{L"VICTIM.TXT"}));
  }
}

TEST_F(Unlha32, ReportsBadCommandsAndMissingArchives) {
  const fs::path dir = testing_support::FreshTempDir("unlha32_bad");
  EXPECT_EQ(Call(L"q " + Quoted(dir / "none.lzh")), kCommandName);
  EXPECT_EQ(Call(L"e -c -y " + Quoted(dir / "none.lzh") + L" " + QuotedFolder(dir)), kArcFileOpen);
  WriteFile(dir / "not.lzh", Text("MZ this is not an archive at all, just some text"));
  EXPECT_EQ(Call(L"e -c -y " + Quoted(dir / "not.lzh") + L" " + QuotedFolder(dir)), kNotArcFile);
  // The ".LZH" extension may be left out.
  WriteFile(dir / "plain.LZH", lha::WritePayloadArchive({{"X.TXT", Text("x"), kT1}}));
  std::string report;
  EXPECT_EQ(Call(L"l " + Quoted(dir / "plain"), &report), 0);
  EXPECT_NE(report.find("X.TXT"), std::string::npos) << report;
}

TEST_F(Unlha32, OutputIsAlwaysTerminatedWithinTheGivenSize) {
  const fs::path dir = testing_support::FreshTempDir("unlha32_output");
  const std::string japaneseName = *text::FromUtf8("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.TXT");
  WriteFile(dir / "a.lzh", lha::WritePayloadArchive({{japaneseName, Text("x"), kT1}, {"B.TXT", Text("y"), kT1}}));
  const std::string cmd = ToAnsi(L"l " + Quoted(dir / "a.lzh"));
  std::vector<char> full(60000, 'Z');
  ASSERT_EQ(unlha_(nullptr, cmd.c_str(), full.data(), static_cast<DWORD>(full.size())), 0);
  const std::size_t fullLength = std::strlen(full.data());
  ASSERT_GT(fullLength, 20u);
  for (DWORD size : {1u, 2u, 7u, 10u, 33u, 60u, 61u, 62u, 63u, 64u, 65u, 100u}) {
    SCOPED_TRACE(size);
    std::vector<char> buf(size + 16, 'Z');
    EXPECT_EQ(unlha_(nullptr, cmd.c_str(), buf.data(), size), 0);
    const std::size_t len = strnlen(buf.data(), size);
    ASSERT_LT(len, size);
    EXPECT_EQ(std::string(buf.data(), len), std::string(full.data(), len).substr(0, len));
    for (std::size_t i = size; i < buf.size(); ++i) EXPECT_EQ(buf[i], 'Z');
    // Never cut inside a double-byte character.
    EXPECT_GT(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, buf.data(), static_cast<int>(len) + 1, nullptr, 0), 0);
  }
  char untouched = 'Z';
  EXPECT_EQ(unlha_(nullptr, cmd.c_str(), &untouched, 0), 0);
  EXPECT_EQ(untouched, 'Z');
}

TEST_F(Unlha32, ASecondCallWhileOneRunsIsRefused) {
  // The running call reads its archive from a pipe, so it stays inside Unlha until the test
  // writes the archive.
  const std::wstring pipeName = L"\\\\.\\pipe\\unlha32-running-" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  int firstResult = -1;
  std::string firstReport;
  std::thread first([&] { firstResult = Call(L"t \"" + pipeName + L"\"", &firstReport); });
  const BOOL connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
  EXPECT_TRUE(connected);
  EXPECT_TRUE(getRunning_());
  std::string secondReport;
  EXPECT_EQ(Call(L"t \"" + pipeName + L"\"", &secondReport), kAlreadyRunning);
  EXPECT_FALSE(secondReport.empty());
  const Bytes a = lha::WritePayloadArchive({{"P.TXT", Text(std::string(1000, 'p')), kT1}});
  DWORD wrote = 0;
  EXPECT_TRUE(::WriteFile(pipe, a.data(), static_cast<DWORD>(a.size()), &wrote, nullptr));
  // Closing (not disconnecting, which would drop unread bytes) ends the reader's input.
  FlushFileBuffers(pipe);
  CloseHandle(pipe);
  first.join();
  EXPECT_EQ(firstResult, 0) << firstReport;
  EXPECT_NE(firstReport.find("P.TXT"), std::string::npos) << firstReport;
  EXPECT_FALSE(getRunning_());
}

}  // namespace
