// The fault gate of the engine's file operations: a fault it hands out reaches the caller as
// the real error would (compared with the real error where one can be made here), and the
// whole-file writes, renames and table creation it interrupts leave the old files or none.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"
#ifndef _WIN32
#include "support/OtherProcess.h"
#endif

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

struct Disarm {
  ~Disarm() { os::DisarmFault(); }
};

std::map<std::string, std::string> Folder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = ReadFileBytes(e.path());
  return files;
}

// The engine error `f` raises, as "code|text".
template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EDBEngineError& e) {
    return std::to_string(static_cast<int>(e.Code())) + "|" + e.what();
  }
  return "no error";
}

TEST(FaultGate, CountsEachKindAndFailsOnlyThePlannedOperation) {
  const fs::path dir = FreshTempDir("fault-gate-count");
  os::ResetFileOperationCounts();
  WriteFileDurably(dir / "a.bin", "first");
  EXPECT_EQ(os::FileOperationCount(os::FileOperation::kOpen), 1u);
  EXPECT_EQ(os::FileOperationCount(os::FileOperation::kWrite), 1u);
  EXPECT_EQ(os::FileOperationCount(os::FileOperation::kSync), 1u);
  EXPECT_EQ(os::FileOperationCount(os::FileOperation::kRename), 1u);

  Disarm disarm;
  // The second write: the first of the two files goes through, the second does not.
  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 2, false});
  EXPECT_NO_THROW(WriteFileDurably(dir / "b.bin", "second"));
  EXPECT_NE(ErrorOf([&] { WriteFileDurably(dir / "c.bin", "third"); }), "no error");
  EXPECT_NO_THROW(WriteFileDurably(dir / "d.bin", "fourth")) << "a one-time fault came back";
  EXPECT_EQ(os::FaultsFired(), 1u);
  EXPECT_EQ(os::LastFaultedOperation(), os::FileOperation::kWrite);

  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 1, true});
  EXPECT_NE(ErrorOf([&] { WriteFileDurably(dir / "e.bin", "x"); }), "no error");
  EXPECT_NE(ErrorOf([&] { WriteFileDurably(dir / "e.bin", "x"); }), "no error") << "a full disk stays full";
  EXPECT_EQ(os::FaultsFired(), 2u);
}

TEST(FaultGate, SharingViolationsOfAnyKindOnlyMeetOperationsThatCanGiveThem) {
  const fs::path dir = FreshTempDir("fault-gate-sharing");
  Disarm disarm;
  // The write and the flush pass by; the open and the rename count, and the open after them is
  // the third.
  os::ArmFault({os::InjectedFault::kSharingViolation, std::nullopt, 3, false});
  WriteFileDurably(dir / "a.bin", "one");
  const std::string refused = ErrorOf([&] { BinaryFile::Open(dir / "a.bin", FileAccess::kReadShared); });
  EXPECT_EQ(refused.rfind(std::to_string(static_cast<int>(EngineErrorCode::kFileLocked)) + "|Table is busy.", 0), 0u)
      << refused;
}

// The same code and text as the real refusal: a second exclusive open (flock and share modes
// keep out even the same program's second open).
TEST(FaultGate, SharingViolationReadsAsARealLock) {
  const fs::path dir = FreshTempDir("fault-gate-lock");
  const fs::path file = dir / "held.db";
  WriteFileBytes(file, "table");
  std::string real;
  {
    auto held = BinaryFile::Open(file, FileAccess::kReadWriteExclusive);
    real = ErrorOf([&] { BinaryFile::Open(file, FileAccess::kReadWriteExclusive); });
  }
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kSharingViolation, os::FileOperation::kOpen, 1, false});
  EXPECT_EQ(ErrorOf([&] { BinaryFile::Open(file, FileAccess::kReadWriteExclusive); }), real);
  EXPECT_EQ(ReadFileBytes(file), "table");
}

#ifndef _WIN32
// The same code and text as a real refusal: a read-only file opened for writing by a user who
// may not write it.
TEST(FaultGate, AccessDeniedReadsAsARealRefusal) {
  const fs::path dir = FreshTempDir("fault-gate-denied");
  const fs::path file = dir / "locked.db";
  WriteFileBytes(file, "table");
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  const std::string real = testing_support::RunAsOrdinaryUser(dir, [&] {
    return ErrorOf([&] { BinaryFile::Open(file, FileAccess::kReadWriteExclusive); });
  });
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kOpen, 1, false});
  EXPECT_EQ(ErrorOf([&] { BinaryFile::Open(file, FileAccess::kReadWriteExclusive); }), real);
}

// Creating a file that another program holds must not empty it before the lock is refused.
TEST(FaultGate, CreatingAHeldFileLeavesItsBytes) {
  const fs::path dir = FreshTempDir("fault-gate-held");
  const fs::path file = dir / "held.db";
  WriteFileBytes(file, "the only copy");
  testing_support::HeldElsewhere held(file, true);
  ASSERT_TRUE(held.Holding());
  const std::string refused = ErrorOf([&] { BinaryFile::Open(file, FileAccess::kCreateExclusive); });
  EXPECT_NE(refused.find("Table is busy."), std::string::npos) << refused;
  EXPECT_EQ(ReadFileBytes(file), "the only copy");
}
#endif

TEST(FaultGate, DiskFullNamesTheSystemsReason) {
  const fs::path dir = FreshTempDir("fault-gate-full");
  auto f = BinaryFile::Open(dir / "x.db", FileAccess::kCreateExclusive);
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 1, false});
  const std::string said = ErrorOf([&] { f->Write(0, "data"); });
  EXPECT_EQ(said.rfind(std::to_string(static_cast<int>(EngineErrorCode::kIoError)) + "|I/O error.\nwrite failed", 0), 0u) << said;
#ifndef _WIN32
  EXPECT_NE(said.find(std::strerror(ENOSPC)), std::string::npos) << said;
#else
  EXPECT_NE(said.find("(error 112)"), std::string::npos) << said;
#endif
}

// A whole-file write stopped at any of its steps leaves the old file and no ".tmp".
TEST(FaultGate, DurableWriteStoppedAnywhereKeepsTheOldFile) {
  const fs::path dir = FreshTempDir("fault-gate-durable");
  WriteFileBytes(dir / "j.jnl", "old journal");
  os::ResetFileOperationCounts();
  WriteFileDurably(dir / "probe.jnl", "counting");
  const std::uint64_t steps = os::FileOperationCount();
  Disarm disarm;
  for (os::InjectedFault fault : {os::InjectedFault::kDiskFull, os::InjectedFault::kAccessDenied}) {
    for (std::uint64_t k = 1; k <= steps; ++k) {
      SCOPED_TRACE(std::string(os::InjectedFaultName(fault)) + " at step " + std::to_string(k));
      os::ArmFault({fault, std::nullopt, k, false});
      EXPECT_NE(ErrorOf([&] { WriteFileDurably(dir / "j.jnl", "new journal"); }), "no error");
      os::DisarmFault();
      EXPECT_EQ(ReadFileBytes(dir / "j.jnl"), "old journal");
      EXPECT_FALSE(fs::exists(dir / "j.jnl.tmp"));
    }
  }
}

TableDefinition Customers() {
  TableDefinition d;
  d.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 20), FieldDef::Memo("NOTE", 10)};
  d.keyFieldCount = 1;
  return d;
}

// A new table stopped at any step is not there afterwards (no data file that would pass for
// it), and the next attempt makes it.
TEST(FaultGate, TableCreationStoppedAnywhereLeavesNoTable) {
  const fs::path dir = FreshTempDir("fault-gate-create");
  os::ResetFileOperationCounts();
  ParadoxTable::Create(dir / "COUNT.DB", Customers());
  // A full disk does not stop a folder listing.
  const std::uint64_t steps = os::FileOperationCount() - os::FileOperationCount(os::FileOperation::kList);
  ASSERT_GT(os::FileOperationCount(os::FileOperation::kList), 0u) << "creating looks for the table's family and journals";
  Disarm disarm;
  for (std::uint64_t k = 1; k <= steps; ++k) {
    SCOPED_TRACE("step " + std::to_string(k) + " of " + std::to_string(steps));
    const fs::path db = dir / ("T" + std::to_string(k) + ".DB");
    os::ArmFault({os::InjectedFault::kDiskFull, std::nullopt, k, false});
    const std::string said = ErrorOf([&] { ParadoxTable::Create(db, Customers()); });
    os::DisarmFault();
    EXPECT_NE(said, "no error");
    EXPECT_FALSE(fs::exists(db)) << "a data file without its table";
    ParadoxTable::Create(db, Customers());
    EXPECT_EQ(ParadoxTable::Open(db, OpenMode::kShared)->RecordCount(), 0u);
  }
}

// A table rename stopped at any member renames back what it had renamed.
TEST(FaultGate, TableRenameStoppedAnywhereKeepsTheOldName) {
  const fs::path dir = FreshTempDir("fault-gate-rename");
  ParadoxTable::Create(dir / "OLD.DB", Customers());
  const auto before = Folder(dir);
  ASSERT_GE(before.size(), 3u);
  Disarm disarm;
  for (std::uint64_t k = 1; k <= before.size(); ++k) {
    SCOPED_TRACE("rename " + std::to_string(k));
    os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kRename, k, false});
    EXPECT_NE(ErrorOf([&] { RenameTable(dir, "OLD", "NEW"); }), "no error");
    os::DisarmFault();
    EXPECT_EQ(Folder(dir), before);
  }
}

}  // namespace
