// The extraction over an installed folder with one of its file operations failing as a full
// disk or a refused access would make it fail, once for each operation of an unarmed run: the
// failure is reported in the result code, and every target is either the old file or the new
// one whole, with no temporary file left beside it.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "lha/ArchiveWriter.h"
#include "os/FaultInjection.h"
#include "support/TestPaths.h"
#include "unlha32/CommandLine.h"
#include "unlha32/Extractor.h"
#include "unlha32/ResultCodes.h"

namespace {

namespace fs = std::filesystem;
using os::FileOperation;
using os::InjectedFault;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kNewTime = 1319702401;  // 2011-10-27, newer than the installed files

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void WriteBytes(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Member {
  std::string name;
  Bytes before;  // empty: not installed yet
  Bytes after;
};

// Three files replaced (one large enough to be written in several pieces) and one new.
const std::vector<Member>& Members() {
  static const std::vector<Member> members = [] {
    std::string big;
    for (int i = 0; i < 40000; ++i) big += static_cast<char>('A' + (i * 7919) % 26);
    return std::vector<Member>{{"Tovo.EXE", Text("old program"), Text(big)},
                               {"TOVO.INI", Text("[old]\r\n"), Text("[Tovo]\r\nPath=C:\\Tovo\r\n")},
                               {"README.TXT", Text("old readme"), Text("new readme")},
                               {"NEW.DLL", {}, Text(std::string(5000, 'd'))}};
  }();
  return members;
}

class ExtractFaults : public testing::Test {
 protected:
  void SetUp() override {
    // Each run flushes what it writes: under Wine, on a memory file system where there is one.
    std::error_code ec;
    if (fs::is_directory(L"Z:\\dev\\shm", ec)) {
      root_ = fs::path(L"Z:\\dev\\shm") / ("norvex-unlha32-faults-" + std::to_string(GetCurrentProcessId()));
      fs::remove_all(root_, ec);
      fs::create_directories(root_);
    } else {
      root_ = testing_support::FreshTempDir("unlha32_faults");
    }
    archive_ = root_ / "PGM.LZH";
    std::vector<lha::ArchiveEntry> entries;
    for (const Member& m : Members()) entries.push_back({m.name, m.after, kNewTime});
    WriteBytes(archive_, lha::WritePayloadArchive(entries));
  }

  void TearDown() override {
    std::error_code ec;
    if (root_.wstring().rfind(L"Z:\\dev\\shm", 0) == 0) fs::remove_all(root_, ec);
  }

  fs::path Install(int run) {
    const fs::path dir = root_ / ("installed" + std::to_string(run));
    fs::create_directories(dir);
    for (const Member& m : Members())
      if (!m.before.empty()) WriteBytes(dir / m.name, m.before);
    return dir;
  }

  unlha32::Outcome Extract(const fs::path& into) {
    const std::wstring line = L"e -c -y \"" + archive_.wstring() + L"\" \"" + into.wstring() + L"\\\"";
    const std::optional<unlha32::CommandLine> command = unlha32::ParseCommandLine(line);
    EXPECT_TRUE(command.has_value());
    return command ? unlha32::RunCommand(*command) : unlha32::Outcome{-1, L""};
  }

  // Each target the old file or the new one whole; nothing else in the folder.
  void CheckEachFileOldOrNew(const fs::path& dir) {
    std::size_t expected = 0;
    for (const Member& m : Members()) {
      SCOPED_TRACE(m.name);
      if (!fs::exists(dir / m.name)) {
        EXPECT_TRUE(m.before.empty()) << "an installed file went missing";
        continue;
      }
      ++expected;
      const Bytes now = ReadBytes(dir / m.name);
      EXPECT_TRUE(now == m.before || now == m.after) << "a file neither old nor new, " << now.size() << " bytes";
    }
    std::vector<std::string> others;
    for (const auto& e : fs::directory_iterator(dir)) others.push_back(e.path().filename().string());
    EXPECT_EQ(others.size(), expected) << "left behind: " << testing::PrintToString(others);
  }

  fs::path root_, archive_;
};

TEST_F(ExtractFaults, EveryOperationFailingOnce) {
  os::ResetFileOperationCounts();
  const unlha32::Outcome clean = Extract(Install(0));
  const std::uint64_t total = os::FileOperationCount();
  ASSERT_EQ(clean.code, unlha32::kSuccess);
  std::printf("[ faults   ] extraction: %llu file operations\n", static_cast<unsigned long long>(total));
  for (os::FileOperation op : {os::FileOperation::kOpen, os::FileOperation::kWrite, os::FileOperation::kRead, os::FileOperation::kSync,
                           os::FileOperation::kRename})
    EXPECT_GT(os::FileOperationCount(op), 0u) << os::FileOperationName(op) << " never passes the gate";

  int run = 1;
  std::uint64_t points = 0;
  for (os::InjectedFault fault : {os::InjectedFault::kDiskFull, os::InjectedFault::kAccessDenied}) {
    for (std::uint64_t k = 1; k <= total; ++k) {
      SCOPED_TRACE(std::string(os::InjectedFaultName(fault)) + " at operation " + std::to_string(k));
      const fs::path dir = Install(run++);
      os::ArmFault({fault, std::nullopt, k, false});
      const unlha32::Outcome out = Extract(dir);
      const std::optional<os::FileOperation> met = os::LastFaultedOperation();
      os::DisarmFault();
      ASSERT_TRUE(met) << "the run passed fewer operations than the unarmed one";
      ++points;
      const bool writing = *met == os::FileOperation::kWrite || *met == os::FileOperation::kSync || *met == os::FileOperation::kOpen;
      if (fault == os::InjectedFault::kDiskFull && writing) EXPECT_EQ(out.code, unlha32::kErrorDiskSpace);
      else EXPECT_NE(out.code, unlha32::kSuccess) << "a failure reported as success";
      CheckEachFileOldOrNew(dir);
      if (HasFailure()) return;
    }
  }
  std::printf("[ faults   ] extraction: %llu operations, %llu injection points\n",
              static_cast<unsigned long long>(total), static_cast<unsigned long long>(points));
}

// Once full, the disk stays full: every member from the first failing write on is reported,
// and none is left half written.
TEST_F(ExtractFaults, ADiskThatStaysFull) {
  const fs::path dir = Install(0);
  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 2, true});
  const unlha32::Outcome out = Extract(dir);
  os::DisarmFault();
  EXPECT_EQ(out.code, unlha32::kErrorDiskSpace);
  CheckEachFileOldOrNew(dir);
  EXPECT_EQ(ReadBytes(dir / "TOVO.INI"), Members()[1].before) << "written after the disk filled up";
}

}  // namespace
