// The migration with one of its file operations failing as a full disk, a refused access or a
// sharing violation would make it fail, once for each operation of an unarmed run: the user
// must be told (the migration's own message, or the engine error the update run shows), no
// record may be lost, and a second run must end where a run without faults ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "MigrationTestSupport.h"
#include "paradox/TableFamily.h"
#include "migration/MigrationMessages.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#ifdef _WIN32
#include <windows.h>

#include "os/WinHandles.h"
#else
#include "support/OtherProcess.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace migration_test;
using os::FileOperation;
using os::InjectedFault;

constexpr os::FileOperation kAllKinds[] = {os::FileOperation::kOpen,   os::FileOperation::kRead,   os::FileOperation::kWrite,
                                       os::FileOperation::kTruncate, os::FileOperation::kSync, os::FileOperation::kRename,
                                       os::FileOperation::kDelete, os::FileOperation::kCopy,   os::FileOperation::kMakeFolder,
                                       os::FileOperation::kList};

// What the user must be shown of a fault met by `op`: the operating system's words as the
// engine passes them on, or, for the backup copies (whose failures the copy does not report),
// what the check of the backup finds.
std::vector<std::string> SystemTexts(os::InjectedFault fault, os::FileOperation op) {
  if (op == os::FileOperation::kCopy) return {std::string(migration::kBackupNotVerified)};
  if (op == os::FileOperation::kMakeFolder) return {std::string(migration::kBackupFolderMissing)};
  if (fault == os::InjectedFault::kSharingViolation && op == os::FileOperation::kOpen) return {"Table is busy."};
  // The engine's own listings give the portable text of the code; the backup's on Windows the
  // system's.
  if (op == os::FileOperation::kList)
    return {std::generic_category().message(os::FaultErrno(fault, op)),
            "error " + std::to_string(os::FaultWin32Error(fault))};
#ifdef _WIN32
  return {"error " + std::to_string(os::FaultWin32Error(fault))};
#else
  return {std::strerror(os::FaultErrno(fault, op))};
#endif
}

bool ContainsOneOf(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& p : parts)
    if (text.find(p) != std::string::npos) return true;
  return false;
}

// Under Wine a run takes seconds rather than most of one: the Windows build checks a quarter of
// the points, enough for what differs there (the system's error codes and share modes).
#ifdef _WIN32
constexpr std::uint64_t kPointDivisor = 4;
#else
constexpr std::uint64_t kPointDivisor = 1;
#endif

// Points per sweep: every operation when NORVEX_FAULT_POINTS=all, that many when it is a number,
// else about `wanted`, spread evenly.
std::uint64_t StepFor(std::uint64_t operations, std::uint64_t wanted) {
  const char* env = std::getenv("NORVEX_FAULT_POINTS");
  if (env && std::string(env) == "all") return 1;
  wanted = std::max<std::uint64_t>(1, env ? std::strtoull(env, nullptr, 10) : wanted / kPointDivisor);
  return std::max<std::uint64_t>(1, operations / wanted);
}

std::set<std::string> FileNames(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(Utf8Path(e.path().filename()));
  return names;
}

// Hundreds of runs, each flushing every file it writes: on a memory file system the flushes
// cost nothing (what a flush guards against is the crash tests' business).
fs::path ScratchFolder() {
  std::error_code ec;
  const fs::path shm = "/dev/shm";
  if (!fs::is_directory(shm, ec)) return {};
  const fs::path dir = shm / ("norvex-faults-" + std::to_string(::getpid()));
  fs::create_directories(dir, ec);
  return ec ? fs::path() : dir;
}

// "+name" for each file only in `now`, "-name" for each only in `clean`.
std::string Difference(const std::set<std::string>& now, const std::set<std::string>& clean) {
  std::string d;
  for (const std::string& n : now)
    if (!clean.count(n)) d += " +" + n;
  for (const std::string& n : clean)
    if (!now.count(n)) d += " -" + n;
  return d;
}

struct Outcome {
  bool returned = false;
  bool result = false;
  std::string escaped;  // the text of an error that left MigrateTables
  RecordingUi ui;
};

class FileFaults : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const Installation made = MakeInstallation("fault-pristine", {.customers = 6, .demoCustomers = 2, .tovoNote = true});
    pristine_ = new Installation(CopyInstallation(made, "fault-pristine", ScratchFolder()));
    sources_ = new SourceKeys(KeysOfSources(*pristine_));
    Installation clean = CopyInstallation(*pristine_, "fault-clean");
    os::ResetFileOperationCounts();
    const bool ok = Migrate(clean);
    for (os::FileOperation op : kAllKinds) counts_[static_cast<std::size_t>(op)] = os::FileOperationCount(op);
    total_ = os::FileOperationCount();
    ASSERT_TRUE(ok);
    final_ = new MigratedState(StateOf(clean));
    liveFiles_ = new std::set<std::string>(FileNames(clean.live));
    demoFiles_ = new std::set<std::string>(FileNames(clean.demo));
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (pristine_) fs::remove_all(pristine_->root.parent_path(), ec);
    delete pristine_;
    delete sources_;
    delete final_;
    delete liveFiles_;
    delete demoFiles_;
  }

  void SetUp() override {
    covered_ = 0;
    failures_ = 0;
  }

  static std::uint64_t Count(os::FileOperation op) { return counts_[static_cast<std::size_t>(op)]; }

  static Outcome RunWith(const Installation& inst, const os::FaultPlan& plan) {
    Outcome out;
    os::ArmFault(plan);
    try {
      out.result = migration::MigrateTables(out.ui, migration::AliasFolders(Utf8Path(inst.live), Utf8Path(inst.demo)));
      out.returned = true;
    } catch (const EDBEngineError& e) {
      // Only a failure of the field widening leaves the migration this way; the update run
      // then shows its own message.
      out.escaped = e.what();
    }
    os::DisarmFault();
    return out;
  }

  // The user learnt of the failure, in the words the system gave.
  static void CheckToldTheTruth(const Outcome& out, const std::vector<std::string>& systemTexts) {
    if (!out.returned) {
      EXPECT_TRUE(ContainsOneOf(out.escaped, systemTexts)) << out.escaped;
      return;
    }
    ASSERT_FALSE(out.ui.messages.empty()) << "a failure shown to nobody";
    const ShownMessage& shown = out.ui.messages.back();
    if (shown.text == migration::kCreateTableFailed) {
      EXPECT_EQ(shown.kind, migration::MessageKind::Error);
    } else {
      bool rebuildLine = false;
      for (auto f : {migration::RebuildFailure::kTovo, migration::RebuildFailure::kKokyaku, migration::RebuildFailure::kBigTovo})
        rebuildLine |= shown.text.rfind(std::string(migration::RebuildFailureLine(f)) + "\r\r", 0) == 0;
      EXPECT_TRUE(rebuildLine) << shown.text;
      EXPECT_TRUE(ContainsOneOf(shown.text, systemTexts)) << shown.text;
    }
    EXPECT_FALSE(out.ui.showing) << "the progress window stayed up";
    EXPECT_FALSE(out.ui.busy) << "the busy pointer stayed";
  }

  // Returns false once a check has failed, so that the loop stops at the first bad point.
  bool CheckOne(const os::FaultPlan& plan, std::uint64_t of) {
    const std::string where = std::string(os::InjectedFaultName(plan.fault)) + " at " +
                              (plan.kind ? os::FileOperationName(*plan.kind) : "operation") + " " +
                              std::to_string(plan.nth) + " of " + std::to_string(of);
    SCOPED_TRACE(where);
    Installation inst = CopyInstallation(*pristine_, "fault-at");
    Outcome out = RunWith(inst, plan);
    EXPECT_GE(os::FaultsFired(), 1u) << "the run passed fewer operations than the unarmed one";
    ++covered_;
    if (!out.returned || !out.result) {
      ++failures_;
      const std::optional<os::FileOperation> met = os::LastFaultedOperation();
      EXPECT_TRUE(met.has_value());
      if (met) CheckToldTheTruth(out, SystemTexts(plan.fault, *met));
      EXPECT_EQ(FirstLostRecord(inst, *sources_, false), "") << "lost";
    }
    // A fault the engine got over (a retried swap, a work file that stays) ends as a clean run.
    EXPECT_TRUE(Migrate(inst)) << "the second run failed";
    EXPECT_EQ(StateOf(inst), *final_);
    EXPECT_EQ(Difference(FileNames(inst.live), *liveFiles_), "");
    EXPECT_EQ(Difference(FileNames(inst.demo), *demoFiles_), "");
    return !HasFailure();
  }

  // The operations of the unarmed run that can meet `fault`.
  static std::uint64_t CountMeeting(os::InjectedFault fault) {
    std::uint64_t n = 0;
    for (os::FileOperation op : kAllKinds)
      if (os::CanMeet(op, fault)) n += Count(op);
    return n;
  }

  // Every `step`-th operation of `kind` (or of any kind that can meet the fault), from `first`.
  void Sweep(os::InjectedFault fault, std::optional<os::FileOperation> kind, std::uint64_t step, std::uint64_t first = 1,
             bool persistent = false) {
    const std::uint64_t of = kind ? Count(*kind) : CountMeeting(fault);
    for (std::uint64_t k = first; k <= of; k += step)
      if (!CheckOne({fault, kind, k, persistent}, of)) return;
  }

  static void Report(const char* what) {
    std::printf("[ faults   ] %s: %llu injection points, %llu failed runs\n", what,
                static_cast<unsigned long long>(covered_), static_cast<unsigned long long>(failures_));
  }

  static inline Installation* pristine_ = nullptr;
  static inline SourceKeys* sources_ = nullptr;
  static inline MigratedState* final_ = nullptr;
  static inline std::set<std::string>* liveFiles_ = nullptr;
  static inline std::set<std::string>* demoFiles_ = nullptr;
  static inline std::array<std::uint64_t, os::kFileOperationKinds> counts_{};
  static inline std::uint64_t total_ = 0;
  static inline std::uint64_t covered_ = 0;
  static inline std::uint64_t failures_ = 0;
};

TEST_F(FileFaults, CountsOfAnUnarmedRun) {
  for (os::FileOperation op : kAllKinds)
    std::printf("[ faults   ] %-11s %llu\n", os::FileOperationName(op), static_cast<unsigned long long>(Count(op)));
  std::printf("[ faults   ] total       %llu\n", static_cast<unsigned long long>(total_));
  for (os::FileOperation op : kAllKinds) {
#ifdef _WIN32
    if (op == os::FileOperation::kTruncate) continue;  // a new file is emptied by CreateFileW itself
#endif
    EXPECT_GT(Count(op), 0u) << os::FileOperationName(op) << " never passes the gate";
  }
}

// Spread over the whole run: the widening, each rebuild with its backup and swap, the tables
// created when missing.
TEST_F(FileFaults, DiskFullAtAnyOperation) {
  Sweep(os::InjectedFault::kDiskFull, std::nullopt, StepFor(CountMeeting(os::InjectedFault::kDiskFull), 20));
  Report("disk full, any operation");
}

TEST_F(FileFaults, AccessDeniedAtAnyOperation) {
  const std::uint64_t step = StepFor(total_, 13);
  Sweep(os::InjectedFault::kAccessDenied, std::nullopt, step, 1 + step / 2);
  Report("access denied, any operation");
}

TEST_F(FileFaults, SharingViolationAtOpens) {
  const std::uint64_t step = StepFor(Count(os::FileOperation::kOpen), 8);
  Sweep(os::InjectedFault::kSharingViolation, os::FileOperation::kOpen, step, 1 + step / 3);
  Report("sharing violation, opens");
}

// A folder that cannot be listed: every listing's failure is reported, none passes for a
// folder without the file.
TEST_F(FileFaults, AccessDeniedAtListings) {
  const std::uint64_t step = StepFor(Count(os::FileOperation::kList), 6);
  Sweep(os::InjectedFault::kAccessDenied, os::FileOperation::kList, step, 1 + step / 2);
  Report("access denied, listings");
}

// The first and the last operation of each kind (under Wine the first), which the sweeps above
// may step over.
TEST_F(FileFaults, FirstAndLastOfEachKind) {
  for (os::FileOperation op : kAllKinds) {
    const std::uint64_t n = Count(op);
    if (n == 0) continue;  // (CountsOfAnUnarmedRun says which kinds must be there)
    const os::InjectedFault fault = op == os::FileOperation::kRename || op == os::FileOperation::kDelete || op == os::FileOperation::kList
                                    ? os::InjectedFault::kAccessDenied : os::InjectedFault::kDiskFull;
    if (!CheckOne({fault, op, 1, false}, n)) return;
    if (kPointDivisor == 1 && n > 1 && !CheckOne({fault, op, n, false}, n)) return;
  }
  Report("first and last of each kind");
}

// Once full, the disk stays full: every later write fails too, also those of the clean-up.
TEST_F(FileFaults, ADiskThatStaysFull) {
  Sweep(os::InjectedFault::kDiskFull, os::FileOperation::kWrite, StepFor(Count(os::FileOperation::kWrite), 8), 5, true);
  Report("disk full from a write on");
}

// Another program's hold, a read-only file, and a user for whom read-only binds: on Windows a
// handle that shares nothing and the read-only attribute (which binds every user); elsewhere a
// second process's flock and the write permission, checked by an ordinary user.
#ifdef _WIN32
class Holder {
 public:
  explicit Holder(const fs::path& file)
      : h_(CreateFileW(file.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  bool Holding() const { return static_cast<bool>(h_); }

 private:
  win32::UniqueFile h_;
};
void SetReadOnly(const fs::path& file, bool readOnly) {
  SetFileAttributesW(file.wstring().c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}
std::string AsOrdinaryUser(const fs::path&, const std::function<std::string()>& work) { return work(); }
const std::string kDenied = "Cannot open file.\n(error 5)";
#else
class Holder : public testing_support::HeldElsewhere {
 public:
  explicit Holder(const fs::path& file) : HeldElsewhere(file, false) {}
};
void SetReadOnly(const fs::path& file, bool readOnly) {
  if (readOnly) fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  else fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
}
std::string AsOrdinaryUser(const fs::path& root, const std::function<std::string()>& work) {
  return testing_support::RunAsOrdinaryUser(root, work);
}
const std::string kDenied = "Cannot open file.\n" + std::string(std::strerror(EACCES));
#endif

// Tables that another program holds, and files and folders the user may not write: the
// migration stops with the system's words naming the file, and what it leaves is each table
// as it was or fully migrated.
class HeldOrProtected : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const Installation made = MakeInstallation("held-pristine", {.customers = 6, .demoCustomers = 2});
    pristine_ = new Installation(CopyInstallation(made, "held-pristine", ScratchFolder()));
    Installation clean = CopyInstallation(*pristine_, "held-clean", ScratchFolder());
    ASSERT_TRUE(Migrate(clean));
    final_ = new MigratedState(StateOf(clean));
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (pristine_) fs::remove_all(pristine_->root.parent_path(), ec);
    delete pristine_;
    delete final_;
  }
  void SetUp() override {
    ASSERT_TRUE(final_) << "the clean run failed";
    inst_ = CopyInstallation(*pristine_, "held", ScratchFolder());
    sources_ = KeysOfSources(inst_);
  }

  // "returned true", "returned false: <last message>" or "threw: <engine text>".
  std::string RunMigration() {
    RecordingUi ui;
    try {
      const bool ok = migration::MigrateTables(ui, migration::AliasFolders(Utf8Path(inst_.live), Utf8Path(inst_.demo)),
                                               [this](std::string_view what) { OnProbe(what); });
      if (ok) return "returned true";
      return "returned false: " + (ui.messages.empty() ? std::string("(nothing shown)") : ui.messages.back().text);
    } catch (const EDBEngineError& e) {
      return std::string("threw: ") + e.what();
    }
  }

  void CheckNothingLostAndRerun() {
    EXPECT_EQ(FirstLostRecord(inst_, sources_, false), "") << "lost";
    ASSERT_TRUE(Migrate(inst_)) << "the second run failed";
    EXPECT_EQ(StateOf(inst_), *final_);
  }

  std::map<std::string, std::string> FamilyBytes(const fs::path& dir, const std::string& base) {
    std::map<std::string, std::string> files;
    for (const auto& [name, bytes] : FolderBytes(dir))
      if (name.rfind(base + ".", 0) == 0) files[name] = bytes;
    return files;
  }

  std::function<void(std::string_view)> onProbe_;
  void OnProbe(std::string_view what) {
    if (onProbe_) onProbe_(what);
  }

  static inline Installation* pristine_ = nullptr;
  static inline MigratedState* final_ = nullptr;
  Installation inst_;
  SourceKeys sources_;
};

TEST_F(HeldOrProtected, TableAnotherProgramReadsStopsTheWidening) {
  const auto before = FamilyBytes(inst_.demo, "bicycle");
  {
    Holder held(inst_.demo / "bicycle.db");
    ASSERT_TRUE(held.Holding());
    const std::string said = RunMigration();
    EXPECT_EQ(said.rfind("threw: Table is busy.", 0), 0u) << said;
    EXPECT_NE(said.find("bicycle.db"), std::string::npos) << said;
  }
  EXPECT_EQ(FamilyBytes(inst_.demo, "bicycle"), before) << "the held table was changed";
  CheckNothingLostAndRerun();
}

TEST_F(HeldOrProtected, TableTakenByAnotherProgramBeforeItsRebuild) {
  std::optional<Holder> held;
  const std::string lastWidening = "widened kokyaku.db KANA in " + Utf8Path(inst_.demo);
  onProbe_ = [&](std::string_view what) {
    if (what == lastWidening) held.emplace(inst_.live / "tovo.db");
  };
  const std::string said = RunMigration();
  ASSERT_TRUE(held && held->Holding()) << "the widening did not end as expected";
  EXPECT_EQ(said.rfind("returned false: トヴォテーブルの更新に失敗しました\r\rTable is busy.\nTable: ", 0), 0u) << said;
  EXPECT_NE(said.find("tovo.db"), std::string::npos) << said;
  EXPECT_TRUE(paradox::FindDataFile(inst_.live, "tovo.db")) << "the old table is still there";
  held.reset();
  onProbe_ = {};
  CheckNothingLostAndRerun();
}

TEST_F(HeldOrProtected, ReadOnlyTableFile) {
  const auto before = FamilyBytes(inst_.demo, "bigtovo");
  SetReadOnly(inst_.demo / "bigtovo.db", true);
#ifdef _WIN32
  win32::UniqueFile w(
      CreateFileW((inst_.demo / "bigtovo.db").wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (w) {
    w.Reset();
    SetReadOnly(inst_.demo / "bigtovo.db", false);
    GTEST_SKIP() << "Wine run by root opens a read-only file for writing (it maps the attribute to the owner's "
                    "write permission, which root passes by)";
  }
#endif
  const std::string said = AsOrdinaryUser(inst_.root, [&] { return RunMigration(); });
  EXPECT_EQ(said.rfind("threw: " + kDenied, 0), 0u) << said;
  EXPECT_NE(said.find("bigtovo.db"), std::string::npos) << said;
  EXPECT_EQ(FamilyBytes(inst_.demo, "bigtovo"), before);
  SetReadOnly(inst_.demo / "bigtovo.db", false);
  CheckNothingLostAndRerun();
}

#ifndef _WIN32
// On Windows a folder's read-only attribute does not keep files out; only its rights do.
TEST_F(HeldOrProtected, ReadOnlyDataFolderDuringTheRebuild) {
  // The widening done, the folder turns read-only (a share's rights changed, say): no new table
  // can be made beside the old one.
  const std::string lastWidening = "widened kokyaku.db KANA in " + Utf8Path(inst_.demo);
  onProbe_ = [&](std::string_view what) {
    if (what == lastWidening) fs::permissions(inst_.live, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  };
  const std::string said = testing_support::RunAsOrdinaryUser(inst_.root, [&] { return RunMigration(); });
  EXPECT_EQ(said, "returned false: " + std::string(migration::kCreateTableFailed));
  fs::permissions(inst_.live, fs::perms::owner_write, fs::perm_options::add);
  onProbe_ = {};
  CheckNothingLostAndRerun();
}
#endif

}  // namespace
