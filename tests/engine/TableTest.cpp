// The table layer over our engine: tables made, filled and read back the way the schema
// migration does it, with the record rules it relies on. File-level facts are checked on the
// bytes of the files the engine wrote.

#include "engine/Table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "engine/Session.h"
#include "engine/ShortDate.h"
#include "paradox/EngineConfig.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;

std::string Utf8(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string Sjis(const std::string& utf8) { return text::FromUtf8(utf8, text::kShiftJis).value(); }

unsigned U16At(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::set<std::string> FilesIn(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(Utf8(e.path().filename()));
  return names;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = FreshTempDir(std::string("Table_") + info->name());
    // No configuration: new tables get the Japanese driver.
    Session().SetConfigFile(dir_ / "NO-IDAPI32.CFG");
  }
  void TearDown() override { Session().SetConfigFile({}); }

  // Prepares a table object the way the migration does: name, type, exclusive.
  void Prepare(TTable& t, const std::string& name, bool exclusive = true) {
    t.SetDatabaseName(Utf8(dir_));
    t.SetTableName(name);
    t.SetTableType(ttParadox);
    t.SetExclusive(exclusive);
  }

  // A staff table shaped like the ones the migration creates.
  void CreateStaff(const std::string& name = "TANTOU.DB") {
    TTable t;
    Prepare(t, name);
    t.FieldDefs().Clear();
    t.FieldDefs().Add("TANTOU_ID", ftSmallint, 0, true);
    t.FieldDefs().Add("NAME", ftString, 16, false);
    t.FieldDefs().Add("BIRTHDAY", ftDate, 0, false);
    t.FieldDefs().Add("SIYOU_ID", ftInteger, 0, false);
    t.FieldDefs().Add("MEMO", ftMemo, 60, false);
    t.IndexDefs().Clear();
    t.IndexDefs().Add("", "TANTOU_ID", ixPrimary | ixUnique);
    t.CreateTable();
  }

  void AddStaff(TTable& t, int id, const std::string& name, TDateTime birthday = 0, int siyou = 0) {
    t.Append();
    t.FieldByName("TANTOU_ID").SetAsInteger(id);
    t.FieldByName("NAME").SetAsString(name);
    if (birthday != 0) t.FieldByName("BIRTHDAY").SetAsDateTime(birthday);
    if (siyou != 0) t.FieldByName("SIYOU_ID").SetAsInteger(siyou);
    t.Post();
  }

  std::vector<std::string> Names(const std::string& table, const char* field = "NAME") {
    TTable t;
    Prepare(t, table);
    t.Open();
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field).AsString());
    return out;
  }

  std::filesystem::path dir_;
};

using Strings = std::vector<std::string>;

TEST_F(TableTest, CreateFillAndReadBackInKeyOrder) {
  CreateStaff();
  {
    TTable t;
    Prepare(t, "tantou");
    EXPECT_TRUE(t.Exists());
    t.Open();
    EXPECT_TRUE(t.Active());
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.Eof());
    AddStaff(t, 30, Sjis("山田"), engine::CivilToDateTime({1970, 5, 17}), 700);
    AddStaff(t, 10, "SATO");
    AddStaff(t, 20, Sjis("鈴木"), engine::CivilToDateTime({2001, 1, 1}));
    t.Append();
    t.FieldByName("TANTOU_ID").SetAsInteger(5);
    t.FieldByName("MEMO").SetAsString(std::string(300, 'm'));  // longer than the leader: goes to the .MB
    t.Post();
    EXPECT_EQ(t.RecordCount(), 4);
  }
  TTable t;
  Prepare(t, "TANTOU.DB");
  t.Open();
  ASSERT_EQ(t.FieldCount(), 5);
  EXPECT_EQ(t.Fields(1).FieldName(), "NAME");
  EXPECT_EQ(t.Fields(1).DataType(), ftString);
  EXPECT_EQ(t.Fields(1).Size(), 16);
  EXPECT_EQ(t.Fields(4).DataType(), ftMemo);
  EXPECT_EQ(t.Fields(4).Size(), 60);
  EXPECT_EQ(t.FieldByName("birthday").Index(), 2);
  EXPECT_EQ(t.FieldByName("SIYOU_ID").DataType(), ftInteger);
  EXPECT_EQ(t.FieldByName("TANTOU_ID").DataType(), ftSmallint);

  std::vector<int> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("TANTOU_ID").AsInteger());
  EXPECT_EQ(ids, (std::vector<int>{5, 10, 20, 30}));
  // Eof leaves the position on the last record.
  EXPECT_EQ(t.FieldByName("NAME").AsString(), Sjis("山田"));
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), engine::CivilToDateTime({1970, 5, 17}));
  EXPECT_EQ(t.FieldByName("SIYOU_ID").AsInteger(), 700);
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("TANTOU_ID").AsInteger(), 30);

  t.First();
  EXPECT_EQ(t.FieldByName("MEMO").AsString(), std::string(300, 'm'));
  EXPECT_TRUE(t.FieldByName("NAME").IsNull());
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "");
  EXPECT_EQ(t.FieldByName("SIYOU_ID").AsInteger(), 0);
  // An empty date reads as 0, the day 1899-12-30.
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), 0.0);
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsString(), "");
  EXPECT_EQ(t.RecNo(), 1);
}

TEST_F(TableTest, DatesAreStoredAsParadoxDayNumbers) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  // 1996-02-02 is Paradox day 728691 (80 0B 1E 73), TDateTime 35097.
  AddStaff(t, 1, "A", 35097);
  AddStaff(t, 2, "B", engine::CivilToDateTime({1899, 12, 30}) + 0.75);  // the time of day is dropped
  t.Close();
  std::string db = ReadFileBytes(dir_ / "TANTOU.DB");
  EXPECT_NE(db.find(std::string("\x80\x0B\x1E\x73", 4)), std::string::npos);
  t.Open();
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), 35097.0);
  t.Next();
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), 0.0);
  EXPECT_FALSE(t.FieldByName("BIRTHDAY").IsNull()) << "1899-12-30 is a date, not an empty field";
}

TEST_F(TableTest, DateStringsUseTheUserShortDateFormat) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  const std::string format = engine::UserShortDateFormat();
  ASSERT_FALSE(format.empty());
  AddStaff(t, 1, "A", engine::CivilToDateTime({2023, 4, 5}));
  std::string shown = t.FieldByName("BIRTHDAY").AsString();
  // The three numbers appear in the order the format puts y, M and d.
  std::size_t y = format.find('y'), m = format.find('M'), d = format.find('d');
  ASSERT_TRUE(y != std::string::npos && m != std::string::npos && d != std::string::npos) << format;
  std::map<std::size_t, std::string> order{{y, "2023"}, {m, "4"}, {d, "5"}};
  std::vector<std::string> numbers;
  std::string current;
  for (char c : shown + "/") {
    if (c >= '0' && c <= '9') {
      current += c;
    } else if (!current.empty()) {
      numbers.push_back(std::to_string(std::stoi(current)));
      current.clear();
    }
  }
  std::vector<std::string> expected;
  for (auto& [pos, value] : order) expected.push_back(value);
  if (format.find("yyyy") == std::string::npos) expected[std::distance(order.begin(), order.find(y))] = "23";
  EXPECT_EQ(numbers, expected) << shown << " in format " << format;
  EXPECT_EQ(shown.find("04") != std::string::npos, format.find("MM") != std::string::npos) << shown;

  // What a date reads as is what a date can be written as.
  t.Append();
  t.FieldByName("TANTOU_ID").SetAsInteger(2);
  t.FieldByName("BIRTHDAY").SetAsString(shown);
  t.FieldByName("NAME").SetAsString(t.FieldByName("BIRTHDAY").AsString());
  t.Post();
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), engine::CivilToDateTime({2023, 4, 5}));
  // A date written into a text field is the same text.
  EXPECT_EQ(t.FieldByName("NAME").AsString(), shown);
  EXPECT_EQ(t.FieldByName("NAME").AsDateTime(), engine::CivilToDateTime({2023, 4, 5}));

  t.Edit();
  EXPECT_THROW(t.FieldByName("BIRTHDAY").SetAsString("not a date"), EDatabaseError);
  t.FieldByName("BIRTHDAY").SetAsString("");
  EXPECT_TRUE(t.FieldByName("BIRTHDAY").IsNull());
  t.Post();
  EXPECT_EQ(t.FieldByName("BIRTHDAY").AsDateTime(), 0.0);
}

TEST_F(TableTest, StringsAreCutToTheFieldSizeInWholeCharacters) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  const std::string nine = Sjis("あいうえおかきくけ");  // 18 bytes into 16
  AddStaff(t, 1, nine);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), Sjis("あいうえおかきく"));
  const std::string odd = "x" + Sjis("あいうえおかきく");  // 17 bytes: the 16th is a lead byte
  AddStaff(t, 2, odd);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "x" + Sjis("あいうえおかき")) << "no half character";
  AddStaff(t, 3, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "ABCDEFGHIJKLMNOP");
  // Half-width katakana are single bytes.
  const std::string kana = Sjis("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁ");
  AddStaff(t, 4, kana);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), kana.substr(0, 16));
  t.Close();
  // On disk the field holds exactly those bytes.
  std::string db = ReadFileBytes(dir_ / "TANTOU.DB");
  EXPECT_NE(db.find(Sjis("あいうえおかきく")), std::string::npos);
  EXPECT_EQ(db.find(nine), std::string::npos);
}

TEST_F(TableTest, EditOnAnEmptyTableStartsABlankRecordThatAppendDrops) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  t.Edit();
  EXPECT_EQ(t.State(), dsInsert);
  EXPECT_FALSE(t.Modified());
  t.Append();  // nothing was written: dropped
  t.FieldByName("TANTOU_ID").SetAsInteger(1);
  t.Append();  // written: posted
  EXPECT_EQ(t.RecordCount(), 1);
  t.Append();
  t.FieldByName("TANTOU_ID").SetAsInteger(2);
  t.Close();  // pending record dropped
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("TANTOU_ID").AsInteger(), 1);
  // Edit on a table with records edits the current one.
  t.Edit();
  EXPECT_EQ(t.State(), dsEdit);
  t.FieldByName("NAME").SetAsString("EDITED");
  t.Next();  // moving posts a modified record
  EXPECT_EQ(t.State(), dsBrowse);
  t.Close();
  EXPECT_EQ(Names("TANTOU"), Strings{"EDITED"});
}

// The copy loop of a table rebuild: Edit, then N + 1 passes of Append-copy-Next, then Close.
TEST_F(TableTest, CopyLoopWithOneExtraPassGivesExactlyTheSourceRecords) {
  for (int n : {1, 2, 7}) {
    SCOPED_TRACE(n);
    CreateStaff("SRC");
    CreateStaff("DST");
    {
      TTable src;
      Prepare(src, "SRC");
      src.Open();
      for (int i = 1; i <= n; ++i) AddStaff(src, i, "N" + std::to_string(i), 35000 + i, i * 10);
    }
    TTable src, dst;
    Prepare(src, "SRC");
    Prepare(dst, "DST", false);
    dst.Open();
    src.Open();
    dst.Edit();
    src.First();
    int count = src.RecordCount();
    ASSERT_EQ(count, n);
    for (int pass = 0; pass < count + 1; ++pass) {
      dst.Append();
      dst.FieldByName("TANTOU_ID").SetAsInteger(src.FieldByName("TANTOU_ID").AsInteger());
      dst.FieldByName("NAME").SetAsString(src.FieldByName("NAME").AsString());
      dst.FieldByName("BIRTHDAY").SetAsDateTime(src.FieldByName("BIRTHDAY").AsDateTime());
      dst.FieldByName("SIYOU_ID").SetAsInteger(src.FieldByName("SIYOU_ID").AsInteger());
      src.Next();
    }
    src.Close();
    dst.Close();
    Strings expected;
    for (int i = 1; i <= n; ++i) expected.push_back("N" + std::to_string(i));
    EXPECT_EQ(Names("DST"), expected);
    TTable check;
    Prepare(check, "DST");
    check.Open();
    check.First();
    for (int i = 1; i <= n; ++i, check.Next()) {
      EXPECT_EQ(check.FieldByName("BIRTHDAY").AsDateTime(), 35000 + i);
      EXPECT_EQ(check.FieldByName("SIYOU_ID").AsInteger(), i * 10);
    }
  }
}

// A table copy moves text field to field with AssignText: it must store exactly what
// SetAsString(AsString()) stores, cut at a whole character where the new field is narrower,
// emptied where the old one is empty, and through the text where either side is not alpha.
TEST_F(TableTest, AssignTextStoresWhatSettingTheTextStores) {
  CreateStaff();
  const Strings names = {"SATO", Sjis("山田太郎"), Sjis("ｶﾅ") + "xy" + Sjis("漢"), "", "0123456789ABCDEF", Sjis("鈴")};
  {
    TTable t;
    Prepare(t, "TANTOU.DB");
    t.Open();
    for (std::size_t i = 0; i < names.size(); ++i) {
      AddStaff(t, static_cast<int>(i) + 1, names[i]);
      t.Edit();
      t.FieldByName("MEMO").SetAsString(i % 2 ? std::string(100 + i, 'm') : std::string());
      t.Post();
    }
  }
  for (const char* copy : {"VIATEXT.DB", "ASSIGNED.DB"}) {
    TTable t;
    Prepare(t, copy);
    t.FieldDefs().Clear();
    t.FieldDefs().Add("TANTOU_ID", ftSmallint, 0, true);
    t.FieldDefs().Add("NAME", ftString, 5, false);
    t.FieldDefs().Add("MEMO", ftMemo, 20, false);
    t.FieldDefs().Add("SIYOU", ftString, 16, false);
    t.IndexDefs().Clear();
    t.IndexDefs().Add("", "TANTOU_ID", ixPrimary | ixUnique);
    t.CreateTable();
  }
  TTable source, viaText, assigned;
  Prepare(source, "TANTOU.DB");
  Prepare(viaText, "VIATEXT.DB");
  Prepare(assigned, "ASSIGNED.DB");
  source.Open();
  viaText.Open();
  assigned.Open();
  for (source.First(); !source.Eof(); source.Next()) {
    for (TTable* t : {&viaText, &assigned}) {
      t->Append();
      // A value the record held before must not survive an empty one.
      t->FieldByName("NAME").SetAsString("stale");
      t->FieldByName("TANTOU_ID").SetAsInteger(source.FieldByName("TANTOU_ID").AsInteger());
    }
    for (const auto& [to, from] : {std::pair{"NAME", "NAME"}, {"MEMO", "MEMO"}, {"SIYOU", "SIYOU_ID"}}) {
      viaText.FieldByName(to).SetAsString(source.FieldByName(from).AsString());
      assigned.FieldByName(to).AssignText(source.FieldByName(from));
    }
    viaText.Post();
    assigned.Post();
  }
  source.Close();
  viaText.Close();
  assigned.Close();
  for (const char* field : {"NAME", "MEMO", "SIYOU"}) EXPECT_EQ(Names("ASSIGNED.DB", field), Names("VIATEXT.DB", field)) << field;
  EXPECT_EQ(Names("ASSIGNED.DB"), (Strings{"SATO", Sjis("山田"), Sjis("ｶﾅ") + "xy", "", "01234", Sjis("鈴")}));
}

TEST_F(TableTest, DuplicatePrimaryKeyFailsAndChangesNothing) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  AddStaff(t, 1, "ONE");
  AddStaff(t, 2, "TWO");
  AddStaff(t, 3, "THREE");
  t.Close();
  // The open table is not shared, even for reading.
  std::string before = ReadFileBytes(dir_ / "TANTOU.DB");
  t.Open();
  t.Append();
  t.FieldByName("TANTOU_ID").SetAsInteger(2);
  t.FieldByName("NAME").SetAsString("IMPOSTOR");
  try {
    t.Post();
    FAIL() << "duplicate key stored";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kKeyViolation);
    EXPECT_NE(std::string(e.what()).find("Key violation"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.State(), dsInsert) << "the record stays pending";
  EXPECT_EQ(t.RecordCount(), 3);
  // Settling the pending record by Append meets the same refusal.
  EXPECT_THROW(t.Append(), EDBEngineError);
  // Changing an existing record's key onto another's is refused too.
  t.Cancel();
  t.First();
  t.Edit();
  t.FieldByName("TANTOU_ID").SetAsInteger(3);
  EXPECT_THROW(t.Post(), EDBEngineError);
  t.Close();
  EXPECT_EQ(ReadFileBytes(dir_ / "TANTOU.DB"), before);
  EXPECT_EQ(Names("TANTOU"), (Strings{"ONE", "TWO", "THREE"}));
}

// A load in random key order that meets repeated keys: each repeat is refused and cancelled,
// and the load goes on staged (the table does not place what it holds to find the record
// before the cancelled one). Afterwards every first record of a key is there with its own
// values, and no repeat.
TEST_F(TableTest, ALoadGoesOnStagedPastRefusedKeys) {
  CreateStaff();
  std::vector<int> ids(300);
  for (int i = 0; i < 300; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
  std::shuffle(ids.begin(), ids.end(), std::mt19937(77));
  for (std::size_t i = 15; i < ids.size(); i += 20) ids[i] = ids[i - 7];
  std::map<int, std::string> firstName;
  int refused = 0;
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::string name = "N" + std::to_string(ids[i]) + "-" + std::to_string(i);
    const std::size_t stagedBefore = t.Handle()->StagedCount();
    try {
      AddStaff(t, ids[i], name);
      firstName.emplace(ids[i], name);
    } catch (const EDBEngineError& e) {
      ASSERT_EQ(e.Code(), EngineErrorCode::kKeyViolation);
      ASSERT_TRUE(firstName.count(ids[i])) << "refused a new key " << ids[i];
      ++refused;
      t.Cancel();
      EXPECT_EQ(t.State(), dsBrowse);
      EXPECT_EQ(t.Handle()->StagedCount(), stagedBefore) << "the cancel placed the load, at " << i;
      EXPECT_EQ(t.FieldByName("TANTOU_ID").AsInteger(), ids[i - 1]) << "not back on the record posted before";
      EXPECT_EQ(t.RecordCount(), static_cast<int>(firstName.size()));
    }
  }
  ASSERT_GT(t.Handle()->StagedCount(), 100u) << "the load was not staged";
  EXPECT_EQ(refused, 15);
  t.Close();
  Strings want;
  for (const auto& [id, name] : firstName) want.push_back(name);
  EXPECT_EQ(Names("TANTOU"), want);
}

// The engine keeps no validity-check file, so the required flags are those of the definitions
// the object was created with.
TEST_F(TableTest, RequiredFieldsAreEnforcedAtPost) {
  TTable t;
  Prepare(t, "G_RIDER.DB");
  t.FieldDefs().Add("G_NO", ftString, 10, true);
  t.FieldDefs().Add("SYARYOU_NO", ftString, 20, false);
  t.FieldDefs().Add("TANTOU_ID", ftSmallint, 0, true);
  t.IndexDefs().Add("", "G_NO", ixPrimary | ixUnique);
  t.CreateTable();
  t.Open();
  EXPECT_TRUE(t.FieldByName("G_NO").Required());
  EXPECT_FALSE(t.FieldByName("SYARYOU_NO").Required());
  EXPECT_TRUE(t.FieldByName("TANTOU_ID").Required());
  t.Append();
  t.FieldByName("G_NO").SetAsString("G1");
  t.FieldByName("SYARYOU_NO").SetAsString("NO ID");
  try {
    t.Post();
    FAIL() << "stored without its required field";
  } catch (const EDBEngineError&) {
    FAIL() << "a missing value is the caller's error, not the engine's";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("TANTOU_ID"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.State(), dsInsert);
  t.FieldByName("TANTOU_ID").SetAsInteger(0);  // zero is a value
  t.Post();
  EXPECT_EQ(t.RecordCount(), 1);
  // Writing the empty string empties a required field too; posting it is refused.
  t.Edit();
  t.FieldByName("G_NO").SetAsString("");
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();
  EXPECT_EQ(t.FieldByName("G_NO").AsString(), "G1");
}

TEST_F(TableTest, ValuesAcrossTypes) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  t.Open();
  t.Append();
  t.FieldByName("TANTOU_ID").SetAsString(" 42 ");
  t.FieldByName("SIYOU_ID").SetAsString("-2147483647");
  t.FieldByName("NAME").SetAsInteger(12345);
  t.Post();
  EXPECT_EQ(t.FieldByName("TANTOU_ID").AsInteger(), 42);
  EXPECT_EQ(t.FieldByName("TANTOU_ID").AsString(), "42");
  EXPECT_EQ(t.FieldByName("SIYOU_ID").AsInteger(), -2147483647);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "12345");
  EXPECT_EQ(t.FieldByName("NAME").AsInteger(), 12345);
  t.Edit();
  EXPECT_THROW(t.FieldByName("SIYOU_ID").SetAsString("12x"), EDatabaseError);
  EXPECT_THROW(t.FieldByName("SIYOU_ID").SetAsString("99999999999"), EDatabaseError);
  // The lowest long is the stored form of an empty field.
  EXPECT_THROW(t.FieldByName("SIYOU_ID").SetAsString("-2147483648"), EDatabaseError);
  EXPECT_THROW(t.FieldByName("TANTOU_ID").SetAsInteger(40000), EDatabaseError);
  EXPECT_THROW(t.FieldByName("BIRTHDAY").SetAsInteger(1), EDatabaseError);
  EXPECT_THROW(t.FieldByName("SIYOU_ID").SetAsDateTime(1), EDatabaseError);
  t.FieldByName("NAME").Clear();
  EXPECT_TRUE(t.FieldByName("NAME").IsNull());
  t.FieldByName("SIYOU_ID").SetAsString("");
  EXPECT_TRUE(t.FieldByName("SIYOU_ID").IsNull());
  t.Post();
  EXPECT_EQ(t.FieldByName("SIYOU_ID").AsInteger(), 0);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "");
}

TEST_F(TableTest, MisuseIsADatabaseError) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  EXPECT_THROW(t.RecordCount(), EDatabaseError);
  EXPECT_THROW(t.First(), EDatabaseError);
  EXPECT_EQ(t.FindField("NAME"), nullptr);
  t.Open();
  EXPECT_THROW(t.SetTableName("OTHER"), EDatabaseError);
  EXPECT_THROW(t.SetDatabaseName("C:\\"), EDatabaseError);
  EXPECT_THROW(t.CreateTable(), EDatabaseError);
  EXPECT_THROW(t.DeleteTable(), EDatabaseError);
  EXPECT_THROW(t.RenameTable("X"), EDatabaseError);
  EXPECT_THROW(t.FieldByName("NAME").SetAsString("x"), EDatabaseError) << "not in edit state";
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_THROW(t.Fields(5), EDatabaseError);
  try {
    t.FieldByName("SINKOSYA");
    FAIL();
  } catch (const EDBEngineError&) {
    FAIL() << "a missing field is not an engine error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'SINKOSYA' not found");
  }
  EXPECT_EQ(t.FindField("SINKOSYA"), nullptr);
  ASSERT_NE(t.FindField("name"), nullptr);
  EXPECT_EQ(t.FindField("name"), &t.FieldByName("NAME"));
  t.Open();  // opening an open table does nothing
  EXPECT_TRUE(t.Active());
  t.Close();
  t.Close();  // closing a closed table does nothing
  EXPECT_FALSE(t.Active());
}

TEST_F(TableTest, EngineFailuresAreEngineErrors) {
  TTable t;
  Prepare(t, "kokyaku.db");
  EXPECT_FALSE(t.Exists());
  try {
    t.Open();
    FAIL();
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kFileNotFound);
  }
  EXPECT_FALSE(t.Active());
  // A damaged data file.
  CreateStaff("kokyaku.db");
  {
    TTable fill;
    Prepare(fill, "kokyaku");
    fill.Open();
    AddStaff(fill, 1, "A");
  }
  std::string db = ReadFileBytes(dir_ / "kokyaku.db");
  testing_support::WriteFileBytes(dir_ / "kokyaku.db", db.substr(0, db.size() - 100));
  try {
    t.Open();
    FAIL();
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile) << e.what();
  }
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.Handle(), nullptr);
}

TEST_F(TableTest, CreateReplacesDeleteRemovesRenameMovesTheFamily) {
  CreateStaff("NewTovo");
  {
    TTable t;
    Prepare(t, "NewTovo");
    t.Open();
    t.Append();
    t.FieldByName("TANTOU_ID").SetAsInteger(1);
    t.FieldByName("MEMO").SetAsString(std::string(500, 'z'));
    t.Post();
  }
  testing_support::WriteFileBytes(dir_ / "NewTovo.txt", "not a family member");
  EXPECT_EQ(FilesIn(dir_), (std::set<std::string>{"NewTovo.DB", "NewTovo.PX", "NewTovo.MB", "NewTovo.txt"}));

  TTable t;
  Prepare(t, "NewTovo");
  t.RenameTable("TOVO");
  EXPECT_EQ(t.TableName(), "TOVO");
  EXPECT_EQ(FilesIn(dir_), (std::set<std::string>{"TOVO.DB", "TOVO.PX", "TOVO.MB", "NewTovo.txt"}));
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("MEMO").AsString(), std::string(500, 'z'));
  t.Close();

  // Creating over it replaces the whole family with an empty table of the new structure.
  t.FieldDefs().Clear();
  t.FieldDefs().Add("CODE", ftString, 10, true);
  t.IndexDefs().Clear();
  t.CreateTable();
  EXPECT_EQ(FilesIn(dir_), (std::set<std::string>{"TOVO.DB", "NewTovo.txt"})) << "unkeyed, no memo";
  t.Open();
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.FieldCount(), 1);
  t.Close();

  t.DeleteTable();
  EXPECT_FALSE(t.Exists());
  EXPECT_EQ(FilesIn(dir_), (std::set<std::string>{"NewTovo.txt"}));
  EXPECT_THROW(t.DeleteTable(), EDBEngineError);
}

TEST_F(TableTest, BadDefinitionsFailBeforeAnExistingTableIsTouched) {
  CreateStaff("TOVO_SEIBI.DB");
  std::string before = ReadFileBytes(dir_ / "TOVO_SEIBI.DB");
  auto attempt = [&](auto define) {
    TTable t;
    Prepare(t, "TOVO_SEIBI.DB");
    t.FieldDefs().Clear();
    t.FieldDefs().Add("SYATAI_NO", ftString, 20, true);
    t.FieldDefs().Add("SEIBI_NO", ftInteger, 0, false);
    t.IndexDefs().Clear();
    define(t);
    EXPECT_THROW(t.CreateTable(), EDBEngineError);
    EXPECT_EQ(ReadFileBytes(dir_ / "TOVO_SEIBI.DB"), before);
  };
  attempt([](TTable& t) { t.IndexDefs().Add("", "SEIBI_NO", ixPrimary | ixUnique); });    // not leading
  attempt([](TTable& t) { t.IndexDefs().Add("", "SYATAI_NO; NOPE", ixPrimary | ixUnique); });
  attempt([](TTable& t) { t.FieldDefs().Add("TOO_LONG", ftString, 256, false); });
  attempt([](TTable& t) { t.FieldDefs().Add("SYATAI_NO", ftInteger, 0, false); });       // twice
  attempt([](TTable& t) { t.FieldDefs().Add("M", ftMemo, 0, false); });
  attempt([](TTable& t) { t.FieldDefs().Clear(); });
  attempt([](TTable& t) {
    t.IndexDefs().Add("", "SYATAI_NO", ixPrimary | ixUnique);
    t.IndexDefs().Add("", "SYATAI_NO", ixPrimary | ixUnique);
  });
}

TEST_F(TableTest, PrimaryIndexFieldListsIgnoreBlanks) {
  TTable t;
  Prepare(t, "TOVO_SEIBI.DB");
  t.FieldDefs().Add("SYATAI_NO", ftString, 20, true);
  t.FieldDefs().Add("SEIBI_NO", ftInteger, 0, false);
  t.FieldDefs().Add("SYARYOU_NO", ftString, 20, false);
  t.IndexDefs().Add("", "SYATAI_NO ;SEIBI_NO", ixPrimary | ixUnique);
  t.CreateTable();
  std::string db = ReadFileBytes(dir_ / "TOVO_SEIBI.DB");
  EXPECT_EQ(U16At(db, 0x23), 2u) << "two key fields";
  EXPECT_EQ(db[0x04], 0) << "keyed data file";
  EXPECT_TRUE(std::filesystem::exists(dir_ / "TOVO_SEIBI.PX"));
  t.Open();
  // Same SYATAI_NO with two SEIBI_NO values are two keys; the same pair twice is one.
  auto add = [&](const char* syatai, int seibi) {
    t.Append();
    t.FieldByName("SYATAI_NO").SetAsString(syatai);
    t.FieldByName("SEIBI_NO").SetAsInteger(seibi);
    t.Post();
  };
  add("B", 2);
  add("B", 1);
  add("A", 9);
  EXPECT_THROW(add("B", 1), EDBEngineError);
  t.Cancel();
  Strings order;
  for (t.First(); !t.Eof(); t.Next())
    order.push_back(t.FieldByName("SYATAI_NO").AsString() + t.FieldByName("SEIBI_NO").AsString());
  EXPECT_EQ(order, (Strings{"A9", "B1", "B2"}));
}

TEST_F(TableTest, NewTablesTakeTheConfiguredLanguageDriver) {
  CreateStaff("JP");
  std::string jp = ReadFileBytes(dir_ / "JP.DB");
  EXPECT_EQ(U16At(jp, 0x6A), 932u);
  EXPECT_NE(jp.find(std::string("japan\0", 6)), std::string::npos);

  paradox::EngineConfig config;
  config.SetParadoxLangDriver("DBWINUS0");
  config.Save(dir_ / "IDAPI32.CFG");
  Session().SetConfigFile(dir_ / "IDAPI32.CFG");
  CreateStaff("US");
  std::string us = ReadFileBytes(dir_ / "US.DB");
  EXPECT_EQ(U16At(us, 0x6A), 1252u);
  EXPECT_NE(us.find(std::string("DBWINUS0\0", 9)), std::string::npos);
  // A single-byte driver cuts strings at the byte.
  TTable t;
  Prepare(t, "US");
  t.Open();
  AddStaff(t, 1, "x" + Sjis("あいうえおかきく"));
  EXPECT_EQ(t.FieldByName("NAME").AsString().size(), 16u);
}

TEST_F(TableTest, CursorHandleIsTheOpenEngineTable) {
  CreateStaff();
  TTable t;
  Prepare(t, "TANTOU");
  EXPECT_EQ(t.Handle(), nullptr);
  t.Open();
  ASSERT_NE(t.Handle(), nullptr);
  EXPECT_EQ(t.Handle()->Mode(), paradox::OpenMode::kExclusive);
  EXPECT_EQ(t.Handle()->Schema().FieldCount(), 5u);
  EXPECT_EQ(std::filesystem::canonical(t.DataFile()), std::filesystem::canonical(dir_ / "TANTOU.DB"));
  t.Close();
  EXPECT_EQ(t.Handle(), nullptr);
}

TEST_F(TableTest, SharedOpenWritesOnceNoOneElseHoldsTheTable) {
  CreateStaff();
  TTable writer, reader;
  Prepare(writer, "TANTOU", false);
  Prepare(reader, "TANTOU", false);
  writer.Open();
  reader.Open();
  EXPECT_EQ(writer.Handle()->Mode(), paradox::OpenMode::kShared);
  try {
    writer.Append();
    FAIL() << "wrote under another reader";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked);
  }
  EXPECT_TRUE(writer.Active()) << "still open for reading";
  EXPECT_EQ(writer.State(), dsBrowse);
  reader.Close();
  AddStaff(writer, 7, "SEVEN");
  EXPECT_EQ(writer.RecordCount(), 1);
  // An exclusive open is refused while the writer has it.
  TTable exclusive;
  Prepare(exclusive, "TANTOU", true);
  EXPECT_THROW(exclusive.Open(), EDBEngineError);
  writer.Close();
  exclusive.Open();
  EXPECT_EQ(exclusive.FieldByName("NAME").AsString(), "SEVEN");
}

// Opening a table, shared or exclusive, reading it and closing it writes nothing: no byte, no
// file made or removed, not even where secondary indexes get a maintainer or an interrupted
// swap names the table (settling is a step of its own).
TEST_F(TableTest, OpeningAndClosingWithoutChangesWritesNothing) {
  {
    TTable t;
    Prepare(t, "TANTOU");
    t.FieldDefs().Add("TANTOU_ID", ftSmallint, 0, true);
    t.FieldDefs().Add("NAME", ftString, 16, false);
    t.FieldDefs().Add("MEMO", ftMemo, 10, false);
    t.IndexDefs().Add("", "TANTOU_ID", ixPrimary | ixUnique);
    t.IndexDefs().Add("IX_NAME", "NAME", ixCaseInsensitive);
    t.CreateTable();
    t.Open();
    AddStaff(t, 1, "ONE");
    t.Append();
    t.FieldByName("TANTOU_ID").SetAsInteger(2);
    t.FieldByName("MEMO").SetAsString(std::string(200, 'm'));
    t.Post();
    t.Close();
  }
  CreateStaff("NEWTANTOU.DB");
  testing_support::WriteFileBytes(dir_ / "TANTOU~RB.JNL", "new NEWTANTOU\nold TANTOU\n");
  std::map<std::string, std::string> before;
  for (const std::string& name : FilesIn(dir_)) before[name] = ReadFileBytes(dir_ / name);
  ASSERT_GE(before.size(), 7u) << "data, primary index, memo, secondary index files of both tables";
  for (bool exclusive : {false, true}) {
    TTable t;
    Prepare(t, "TANTOU", exclusive);
    t.Open();
    for (t.First(); !t.Eof(); t.Next()) t.FieldByName("MEMO").AsString();
    t.Close();
  }
  std::map<std::string, std::string> after;
  for (const std::string& name : FilesIn(dir_)) after[name] = ReadFileBytes(dir_ / name);
  EXPECT_EQ(after, before);
}

}  // namespace
