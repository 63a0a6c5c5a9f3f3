// Keeping, verifying and putting back the program files, natively: what every target holds after
// a partial or false extraction, after a power cut, and after each file operation failed in turn.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/ProgramFiles.h"
#include "lha/ArchiveWriter.h"
#include "paradox/BinaryFile.h"
#include "os/FaultInjection.h"
#include "support/TestPaths.h"

namespace {

namespace fs = std::filesystem;
using programfiles::TargetState;

constexpr char kAbsent[] = "<absent>";

// Two old files the archive replaces, one member that is new to the installation.
const std::map<std::string, std::string> kOld = {{"Tovo.EXE", "old program, version 1.9.2.22"},
                                                 {"TovoSys.INI", "[old]\r\n"},
                                                 {"TovoRept.DLL", kAbsent}};
const std::map<std::string, std::string> kNew = {{"Tovo.EXE", "new program, version 1.9.4.36 with more bytes"},
                                                 {"TovoSys.INI", "[new]\r\nkey=1\r\n"},
                                                 {"TovoRept.DLL", std::string(70000, 'r')}};

std::vector<std::uint8_t> Archive() {
  lha::ArchiveWriter writer;
  for (const auto& [name, bytes] : kNew) writer.Add({name, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), 0});
  return writer.Finish();
}

class ProgramFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_support::FreshTempDir("program-files");
    installed_ = root_ / "Tovo";
    const std::vector<std::uint8_t> archive = Archive();
    members_ = programfiles::ReadMemberTargets(archive);
    Reset();
  }
  void TearDown() override { os::DisarmFault(); }

  void Reset() {
    fs::remove_all(installed_);
    fs::create_directories(installed_);
    testing_support::WriteFileBytes(installed_ / "Other.TXT", "not the archive's");
    for (const auto& [name, bytes] : kOld)
      if (bytes != kAbsent) testing_support::WriteFileBytes(installed_ / name, bytes);
  }

  // What an outside extraction library does to the first `count` targets (no fault gate).
  void Extract(std::size_t count) {
    std::size_t done = 0;
    for (const auto& [name, bytes] : kNew)
      if (done++ < count) testing_support::WriteFileBytes(installed_ / name, bytes);
  }

  std::map<std::string, std::string> Targets() const {
    std::map<std::string, std::string> state;
    for (const auto& [name, bytes] : kOld) {
      const fs::path p = installed_ / name;
      state[name] = fs::exists(p) ? testing_support::ReadFileBytes(p) : kAbsent;
    }
    return state;
  }
  bool RollbackFolderGone() const { return !fs::exists(installed_ / programfiles::kRollbackFolderName); }

  fs::path root_, installed_;
  std::vector<programfiles::MemberTarget> members_;
};

TEST_F(ProgramFilesTest, PartialOrFalseExtractionsPutEveryOldFileBackAndRemoveTheNewOnes) {
  // The library stopped after two members; reported success with nothing done; did everything
  // but reported an error.
  for (const auto& [extracted, result] : std::vector<std::pair<std::size_t, std::optional<int>>>{
           {2, 32787}, {0, 0}, {3, 32787}, {1, std::nullopt}}) {
    SCOPED_TRACE(extracted);
    Reset();
    programfiles::KeepProgramFiles(installed_, members_);
    Extract(extracted);
    const programfiles::InstallOutcome outcome = programfiles::CompleteInstall(installed_, members_, result);
    EXPECT_FALSE(outcome.installed);
    EXPECT_EQ(Targets(), kOld);
    EXPECT_TRUE(RollbackFolderGone());
    EXPECT_EQ(testing_support::ReadFileBytes(installed_ / "Other.TXT"), "not the archive's");
  }
}

TEST_F(ProgramFilesTest, AnExtractionThatThrowsIsPutBackAndTheErrorGoesOn) {
  const fs::path archive = root_ / "payload.lzh";
  const std::vector<std::uint8_t> bytes = Archive();
  testing_support::WriteFileBytes(archive, std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> log;
  auto extract = [&]() -> std::optional<int> {
    Extract(2);
    throw std::runtime_error("the library went away");
  };
  EXPECT_THROW(programfiles::InstallAllOrNothing(installed_, archive, extract, [&](const std::string& l) { log.push_back(l); }),
               std::runtime_error);
  EXPECT_EQ(Targets(), kOld);
  EXPECT_TRUE(RollbackFolderGone());
  EXPECT_FALSE(log.empty());
}

TEST_F(ProgramFilesTest, VerificationTellsEachWayATargetDiffers) {
  Extract(3);
  testing_support::WriteFileBytes(installed_ / "Tovo.EXE", std::string(kNew.at("Tovo.EXE")).replace(0, 3, "NEW"));
  testing_support::WriteFileBytes(installed_ / "TovoSys.INI", "[new]");
  fs::remove(installed_ / "TovoRept.DLL");
  std::vector<programfiles::TargetCheck> checks = programfiles::VerifyTargets(installed_, members_);
  ASSERT_EQ(checks.size(), 3u);
  EXPECT_EQ(checks[0].state, TargetState::kOtherCrc);
  EXPECT_EQ(checks[1].state, TargetState::kMissing);
  EXPECT_EQ(checks[2].state, TargetState::kOtherSize);
  fs::create_directory(installed_ / "TovoRept.DLL");
  EXPECT_EQ(programfiles::VerifyTargets(installed_, members_)[1].state, TargetState::kNotAFile);
}

TEST_F(ProgramFilesTest, AFolderUnderAMemberNameIsNeitherKeptNorRemoved) {
  fs::create_directory(installed_ / "TovoRept.DLL");
  testing_support::WriteFileBytes(installed_ / "TovoRept.DLL" / "inside.txt", "the user's");
  programfiles::KeepProgramFiles(installed_, members_);
  testing_support::WriteFileBytes(installed_ / "Tovo.EXE", kNew.at("Tovo.EXE"));
  EXPECT_FALSE(programfiles::CompleteInstall(installed_, members_, 0).installed);
  EXPECT_EQ(testing_support::ReadFileBytes(installed_ / "Tovo.EXE"), kOld.at("Tovo.EXE"));
  EXPECT_EQ(testing_support::ReadFileBytes(installed_ / "TovoRept.DLL" / "inside.txt"), "the user's");
}

TEST_F(ProgramFilesTest, ACompleteExtractionStandsAndLeavesNoRollbackFolder) {
  programfiles::KeepProgramFiles(installed_, members_);
  Extract(3);
  EXPECT_TRUE(programfiles::CompleteInstall(installed_, members_, 0).installed);
  EXPECT_EQ(Targets(), kNew);
  EXPECT_TRUE(RollbackFolderGone());
  EXPECT_FALSE(programfiles::PutBackKeptFiles(installed_).found);
}

TEST_F(ProgramFilesTest, ThePowerCutRunIsSettledByTheNextAndAnUnknownListIsLeftAlone) {
  programfiles::KeepProgramFiles(installed_, members_);
  Extract(2);
  EXPECT_THROW(programfiles::KeepProgramFiles(installed_, members_), std::exception) << "an earlier list is pending";
  const programfiles::PutBackReport report = programfiles::PutBackKeptFiles(installed_);
  EXPECT_TRUE(report.found);
  EXPECT_TRUE(report.complete);
  EXPECT_EQ(Targets(), kOld);
  EXPECT_TRUE(RollbackFolderGone());

  // A list that is not whole (hand-edited, another program's) puts nothing back.
  programfiles::KeepProgramFiles(installed_, members_);
  Extract(3);
  const fs::path list = installed_ / programfiles::kRollbackFolderName / programfiles::kKeptListName;
  std::string text = testing_support::ReadFileBytes(list);
  testing_support::WriteFileBytes(list, text.substr(0, text.find("END")));
  EXPECT_FALSE(programfiles::PutBackKeptFiles(installed_).complete);
  EXPECT_EQ(Targets(), kNew);
  EXPECT_TRUE(fs::exists(list));
}

// Each file operation of the whole keep / extract / verify / put back (or commit) fails once in
// turn, and again with a fault that stays (a full disk); the next run's settling follows. Every
// target is then its old file, or the new one only where the run said it installed.
TEST_F(ProgramFilesTest, EveryFileOperationFailedInTurnLeavesOldFilesOrAReportedInstallation) {
  auto run = [&](std::size_t extracted, int result) -> std::optional<bool> {
    try {
      programfiles::KeepProgramFiles(installed_, members_);
    } catch (const std::exception&) {
      return std::nullopt;  // the run stops before the extraction
    }
    Extract(extracted);
    return programfiles::CompleteInstall(installed_, members_, result).installed;
  };
  for (const auto& [extracted, result] : std::vector<std::pair<std::size_t, int>>{{3, 0}, {2, 32787}}) {
    Reset();
    os::ResetFileOperationCounts();
    ASSERT_EQ(run(extracted, result), extracted == 3);
    const std::uint64_t operations = os::FileOperationCount();
    ASSERT_GT(operations, 20u);
    for (bool persistent : {false, true})
      for (std::uint64_t nth = 1; nth <= operations; ++nth) {
        SCOPED_TRACE(std::to_string(extracted) + " extracted, operation " + std::to_string(nth) +
                     (persistent ? ", fault stays" : ""));
        Reset();
        os::ArmFault({os::InjectedFault::kAccessDenied, std::nullopt, nth, persistent});
        const std::optional<bool> installed = run(extracted, result);
        EXPECT_EQ(os::FaultsFired() > 0, true);
        os::DisarmFault();
        const programfiles::PutBackReport settled = programfiles::PutBackKeptFiles(installed_);
        EXPECT_TRUE(settled.complete);
        EXPECT_EQ(Targets(), installed.value_or(false) ? kNew : kOld);
        EXPECT_TRUE(RollbackFolderGone());
      }
  }
}

TEST_F(ProgramFilesTest, TheCheckRefusesLongPathsReadOnlyAndHeldTargetsAndChangesNothing) {
  using Kind = programfiles::InstallProblem::Kind;
  EXPECT_FALSE(programfiles::CheckProgramFiles(installed_, members_));

  const fs::path deep = installed_ / std::string(240, 'd');
  const auto tooLong = programfiles::CheckProgramFiles(deep, members_);
  ASSERT_TRUE(tooLong);
  EXPECT_EQ(tooLong->kind, Kind::kPathTooLong);
  // Counted in UTF-16 characters, as the system counts: 200 Japanese characters are 600 bytes.
  EXPECT_TRUE(programfiles::AliasFolderFits("C:\\" + [] { std::string s; for (int i = 0; i < 200; ++i) s += "デ"; return s; }()));
  EXPECT_FALSE(programfiles::AliasFolderFits("C:\\" + std::string(225, 'd')));

  {
    auto held = paradox::BinaryFile::Open(installed_ / "TovoSys.INI", paradox::FileAccess::kReadShared);
    const auto inUse = programfiles::CheckProgramFiles(installed_, members_);
    ASSERT_TRUE(inUse);
    EXPECT_EQ(inUse->kind, Kind::kInUse);
    EXPECT_EQ(inUse->path, (installed_ / "TovoSys.INI").string());
  }

  fs::permissions(installed_ / "Tovo.EXE", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const auto readOnly = programfiles::CheckProgramFiles(installed_, members_);
  fs::permissions(installed_ / "Tovo.EXE", fs::perms::owner_write, fs::perm_options::add);
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(readOnly->kind, Kind::kReadOnly);

  // The folder refuses the probe file.
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kOpen, 3});
  const auto folder = programfiles::CheckProgramFiles(installed_, members_);
  os::DisarmFault();
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->kind, Kind::kFolderNotWritable);
  EXPECT_EQ(Targets(), kOld);
  EXPECT_EQ(std::distance(fs::directory_iterator(installed_), fs::directory_iterator()), 3) << "nothing left behind";
}

}  // namespace
