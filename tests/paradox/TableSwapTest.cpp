// Replacing a table by a rebuilt one: the journal names the old files, settling undoes the swap
// while the old data file is there and completes it once it is gone, a changed old family or a
// running swap stops everything, and a crash after any file operation loses no record.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Restructure.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "support/TestPaths.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

TableDefinition Definition() {
  TableDefinition def;
  def.fields = {FieldDef::Long("Id"), FieldDef::Alpha("Name", 20), FieldDef::Memo("Note", 10)};
  def.keyFieldCount = 1;
  return def;
}

// A keyed table with a memo file: .DB, .PX and .MB. Each record's name is `tag` + its key.
void MakeTable(const fs::path& dataFile, int from, int to, const std::string& tag) {
  ParadoxTable::Create(dataFile, Definition());
  auto t = ParadoxTable::Open(dataFile, OpenMode::kExclusive);
  for (int id = from; id <= to; ++id) {
    Record r = t->NewRecord();
    r.SetInteger(0, id);
    r.SetAlpha(1, tag + std::to_string(id));
    r.SetBlob(2, std::string(40, 'n'));
    t->Insert(r);
  }
  t->Close();
}

void AddRecord(const fs::path& dataFile, int id) {
  auto t = ParadoxTable::Open(dataFile, OpenMode::kExclusive);
  Record r = t->NewRecord();
  r.SetInteger(0, id);
  r.SetAlpha(1, "added" + std::to_string(id));
  t->Insert(r);
  t->Close();
}

// Every record's name, in key order.
std::vector<std::string> Names(const fs::path& dir, const std::string& table) {
  auto t = ParadoxTable::Open(*FindDataFile(dir, table), OpenMode::kShared);
  std::vector<std::string> names;
  t->ForEachRecord([&](const Record& r) {
    names.push_back(r.GetAlpha(1));
    return true;
  });
  return names;
}

std::vector<std::string> Tagged(const std::string& tag, int from, int to) {
  std::vector<std::string> v;
  for (int id = from; id <= to; ++id) v.push_back(tag + std::to_string(id));
  return v;
}

// Every file by name and content; a lock file by name only, since Windows lets no one read a
// held one (it holds nothing).
std::map<std::string, std::string> Files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    files[e.path().filename().string()] = e.path().extension() == ".LCK" ? "" : ReadFileBytes(e.path());
  return files;
}

// A folder as the migration leaves it before the swap: tovo (old, 3 records) and NewTovo (the
// same records rebuilt).
class TableSwap : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir(std::string("TableSwap_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    MakeTable(dir_ / "tovo.db", 1, 3, "old");
    MakeTable(dir_ / "NewTovo.DB", 1, 3, "new");
  }
  void TearDown() override { os::DisarmFault(); }

  void Swap(const SwapProbe& probe = {}) { SwapInTable(dir_, "tovo.db", "NewTovo", "TOVO", ListFamily(dir_, "tovo"), probe); }

  // The journal a swap writes, as the swap would have written it just before a power cut.
  void WriteJournal(bool withFiles = true) {
    std::string text = "new NewTovo\nold tovo\n";
    if (withFiles)
      for (const ListedFile& f : ListFamily(dir_, "tovo")) text += "file " + f.name + " " + std::to_string(f.size) + "\n";
    WriteFileBytes(dir_ / "TOVO~RB.JNL", text);
  }

  fs::path dir_;
};

TEST_F(TableSwap, ListFamilyNamesEveryMemberWithItsSizeDataFileFirst) {
  const auto listed = ListFamily(dir_, "TOVO");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].name, "tovo.db");
  for (const ListedFile& f : listed) EXPECT_EQ(f.size, fs::file_size(dir_ / f.name)) << f.name;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kList});
  EXPECT_THROW(ListFamily(dir_, "TOVO"), EDBEngineError);
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kList});
  EXPECT_THROW(FindDataFile(dir_, "tovo"), EDBEngineError) << "a failed listing passed for a missing table";
  os::DisarmFault();
  EXPECT_FALSE(FindDataFile(dir_ / "missing", "tovo"));
}

TEST_F(TableSwap, ASwapPutsTheNewTableUnderTheFinalNameAndLeavesNothingElse) {
  Swap();
  EXPECT_EQ(Names(dir_, "TOVO"), Tagged("new", 1, 3));
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Files(dir_)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"TOVO.DB", "TOVO.MB", "TOVO.PX"}));
  EXPECT_EQ(SettleTableSwap(dir_, "TOVO"), Settled::kNothing);
}

// Another program holds the old data file: the swap gives up with the old table whole and no
// journal, so records the shop adds afterwards are not thrown away by a later settling.
TEST_F(TableSwap, AFailedFirstDeletionLeavesNoJournalAndTheOldTableWhole) {
  const auto oldFiles = ListFamily(dir_, "tovo");
  std::map<std::string, std::string> before;
  for (const ListedFile& f : oldFiles) before[f.name] = ReadFileBytes(dir_ / f.name);
  os::ArmFault({os::InjectedFault::kSharingViolation, os::FileOperation::kDelete});
  EXPECT_THROW(Swap(), EDBEngineError);
  os::DisarmFault();
  EXPECT_FALSE(fs::exists(dir_ / "TOVO~RB.JNL"));
  for (const auto& [name, bytes] : before) EXPECT_EQ(ReadFileBytes(dir_ / name), bytes) << name;
  AddRecord(dir_ / "tovo.db", 4);
  EXPECT_EQ(SettleTableSwap(dir_, "TOVO"), Settled::kNothing);
  auto expected = Tagged("old", 1, 3);
  expected.push_back("added4");
  EXPECT_EQ(Names(dir_, "tovo"), expected);
}

// A power cut between the journal and the first deletion: settling undoes the swap, and what
// the shop wrote to the old table meanwhile stays.
TEST_F(TableSwap, AJournalJustWrittenSettlesByUndoing) {
  WriteJournal();
  AddRecord(dir_ / "tovo.db", 4);
  const auto oldBytes = Files(dir_);
  EXPECT_EQ(SettleTableSwap(dir_, "TOVO"), Settled::kUndone);
  auto expected = Tagged("old", 1, 3);
  expected.push_back("added4");
  EXPECT_EQ(Names(dir_, "tovo"), expected);
  for (const char* name : {"tovo.db", "tovo.px", "tovo.mb"}) EXPECT_EQ(ReadFileBytes(dir_ / name), oldBytes.at(name)) << name;
  EXPECT_EQ(Files(dir_).size(), 3u) << "the journal and the new table are gone";
}

TEST_F(TableSwap, OnceTheOldDataFileIsGoneSettlingRollsForward) {
  WriteJournal();
  fs::remove(dir_ / "tovo.db");
  EXPECT_EQ(SettleTableSwap(dir_, "tovo"), Settled::kCompleted);
  EXPECT_EQ(Names(dir_, "TOVO"), Tagged("new", 1, 3));
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Files(dir_)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"TOVO.DB", "TOVO.MB", "TOVO.PX"}));
}

// Renames that keep failing after the old table is gone: the swap reports it and leaves its
// journal, whose names (spaces and all) the next settling completes.
TEST_F(TableSwap, WhatAFailingSwapCannotFinishIsCompletedBySettling) {
  MakeTable(dir_ / "my tovo.db", 1, 2, "old");
  MakeTable(dir_ / "New Tovo.DB", 1, 2, "new");
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kRename, 2, true});  // the journal goes in by the first
  EXPECT_THROW(SwapInTable(dir_, "my tovo.db", "New Tovo", "MY TOVO", ListFamily(dir_, "my tovo")), EDBEngineError);
  os::DisarmFault();
  ASSERT_TRUE(fs::exists(dir_ / "MY TOVO~RB.JNL"));
  EXPECT_EQ(SettleTableSwap(dir_, "my tovo"), Settled::kCompleted);
  EXPECT_EQ(Names(dir_, "MY TOVO"), Tagged("new", 1, 2));
  EXPECT_EQ(ListFamily(dir_, "New Tovo").size(), 0u);
  EXPECT_FALSE(fs::exists(dir_ / "MY TOVO~RB.JNL"));
}

// The journals of earlier versions name no files: every family file of the old base is the old
// table's.
TEST_F(TableSwap, ATwoLineJournalSettles) {
  WriteJournal(false);
  const auto before = Files(dir_);
  EXPECT_EQ(SettleTableSwap(dir_, "TOVO"), Settled::kUndone);
  EXPECT_EQ(Names(dir_, "tovo"), Tagged("old", 1, 3));
  EXPECT_FALSE(FindDataFile(dir_, "NewTovo"));

  MakeTable(dir_ / "NewTovo.DB", 1, 3, "new");
  WriteJournal(false);
  fs::remove(dir_ / "tovo.db");
  WriteFileBytes(dir_ / "tovo.TV", "desktop settings");
  EXPECT_EQ(SettleTableSwap(dir_, "TOVO"), Settled::kCompleted);
  EXPECT_EQ(Names(dir_, "TOVO"), Tagged("new", 1, 3));
  EXPECT_EQ(Files(dir_).size(), 3u);
}

TEST_F(TableSwap, AnOldFamilyThatDiffersFromTheListStopsTheSwapBeforeAnyDeletion) {
  const auto listed = ListFamily(dir_, "tovo");
  auto resized = listed;
  resized[1].size += 1;
  auto fewer = listed;
  fewer.pop_back();  // a member the caller did not back up
  WriteFileBytes(dir_ / "tovo.X02", "an index made since");
  auto more = ListFamily(dir_, "tovo");
  fs::remove(dir_ / "tovo.X02");
  for (const auto& given : {resized, fewer, more}) {
    SCOPED_TRACE(given.size());
    const auto before = Files(dir_);
    try {
      SwapInTable(dir_, "tovo.db", "NewTovo", "TOVO", given);
      ADD_FAILURE() << "swapped";
    } catch (const EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find(EngineMessageText(EngineMessage::kFamilyChanged)), std::string::npos) << e.what();
    }
    EXPECT_EQ(Files(dir_), before) << "both tables kept, no journal";
  }
}

TEST_F(TableSwap, ARunningSwapMakesSettlingFailAsBusyAndChangesNothing) {
  WriteJournal();
  auto held = BinaryFile::Open(dir_ / "TOVO~RB.LCK", FileAccess::kCreateExclusive);
  const auto before = Files(dir_);
  try {
    SettleTableSwap(dir_, "TOVO");
    ADD_FAILURE() << "settled beside a running swap";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
  }
  EXPECT_EQ(Files(dir_), before);
}

TEST_F(TableSwap, CreateRefusesATableThatAPendingJournalNames) {
  WriteJournal();
  const auto before = Files(dir_);
  for (const char* table : {"NewTovo.DB", "TOVO.DB"}) {
    try {
      ParadoxTable::Create(dir_ / table, Definition());
      ADD_FAILURE() << table << " created";
    } catch (const EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find(EngineMessageText(EngineMessage::kReplacementPending)), std::string::npos);
    }
  }
  MakeTable(dir_ / "OTHER.DB", 1, 1, "other");  // a table no journal names
  WriteFileBytes(dir_ / "OTHER~RS.JNL", "base OTHER\n");
  EXPECT_THROW(ParadoxTable::Create(dir_ / "OTHER.DB", Definition()), EDBEngineError);
  for (const auto& [name, bytes] : before) EXPECT_EQ(ReadFileBytes(dir_ / name), bytes) << name;
}

// A check reads: opening, reading and closing a table, and checking it, leave every file and
// every byte as they were, a pending journal included.
TEST_F(TableSwap, ReadingAndCheckingATableWriteNothing) {
  WriteJournal();
  const auto before = Files(dir_);
  for (OpenMode mode : {OpenMode::kShared, OpenMode::kExclusive}) {
    auto t = ParadoxTable::Open(dir_ / "tovo.db", mode);
    t->ForEachRecord([](const Record&) { return true; });
    t->Close();
  }
  EXPECT_EQ(CheckTable(dir_ / "tovo.db"), std::nullopt);
  EXPECT_EQ(CheckTable(dir_ / "NewTovo.DB"), std::nullopt);
  EXPECT_EQ(Files(dir_), before);
}

#ifndef _WIN32
// The power goes after each file operation of a swap in turn: settling then leaves every record
// exactly once under the final name, as the old table (undone) or the new one (completed).
TEST_F(TableSwap, ACrashAfterAnyFileOperationThenSettlingKeepsEveryRecordOnce) {
  int points = 0;
  {
    const auto saved = Files(dir_);
    Swap([&](std::string_view) { ++points; });
    for (const auto& e : fs::directory_iterator(dir_)) fs::remove(e.path());
    for (const auto& [name, bytes] : saved) WriteFileBytes(dir_ / name, bytes);
  }
  ASSERT_GE(points, 7);  // journal, three deletions, three renames, journal gone
  const auto start = Files(dir_);
  int undone = 0, completed = 0;
  for (int crashAt = 0; crashAt < points; ++crashAt) {
    SCOPED_TRACE("crash after operation " + std::to_string(crashAt));
    for (const auto& e : fs::directory_iterator(dir_)) fs::remove(e.path());
    for (const auto& [name, bytes] : start) WriteFileBytes(dir_ / name, bytes);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int seen = 0;
      try {
        Swap([&](std::string_view) {
          if (seen++ == crashAt) _exit(0);
        });
      } catch (...) {
      }
      _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const Settled settled = SettleTableSwap(dir_, "TOVO");
    const auto names = Names(dir_, "TOVO");
    if (names == Tagged("old", 1, 3)) ++undone;
    else if (names == Tagged("new", 1, 3)) ++completed;
    else ADD_FAILURE() << "TOVO holds neither table whole";
    if (settled == Settled::kUndone) EXPECT_EQ(names, Tagged("old", 1, 3));
    if (settled == Settled::kCompleted) EXPECT_EQ(names, Tagged("new", 1, 3));
    EXPECT_EQ(CheckTable(*FindDataFile(dir_, "TOVO")), std::nullopt);
    EXPECT_FALSE(FindDataFile(dir_, "NewTovo"));
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name.rfind("TOVO.", 0) == 0 || name.rfind("tovo.", 0) == 0 || name == "TOVO~RB.LCK") << name;
    }
  }
  EXPECT_GT(undone, 0);
  EXPECT_GT(completed, 0);
}
#endif

}  // namespace
