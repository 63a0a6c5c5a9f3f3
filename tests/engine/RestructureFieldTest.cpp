// RestructureField on real tables (a real-engine sample and one of ours), and its use of the
// five engine calls, observed through a recording set of calls.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/RestructureField.h"
#include "engine/Table.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Dump(const fs::path& data) {
  auto t = paradox::ParadoxTable::Open(data, paradox::OpenMode::kShared);
  std::vector<std::string> out;
  t->ForEachRecord([&](const paradox::Record& r) {
    std::string line;
    for (std::size_t f = 0; f < r.Schema().FieldCount(); ++f) {
      const auto type = r.Schema().Field(f).type;
      if (type == paradox::FieldType::kAlpha) line += r.GetAlpha(f);
      else if (paradox::IsBlobType(type)) line += r.GetBlob(f);
      else line += std::string(r.Raw(f));
      line += '\x1F';
    }
    out.push_back(line);
    return true;
  });
  return out;
}

TFieldChange Change(const std::string& name, std::uint16_t type, std::uint16_t length, std::uint8_t precision = 0) {
  TFieldChange c;
  std::memset(&c, 0, sizeof c);
  std::memcpy(c.name, name.data(), std::min<std::size_t>(name.size(), 31));
  c.type = type;
  c.subtype = 0;
  c.length = length;
  c.precision = precision;
  return c;
}

void OpenExclusive(TTable& t, const fs::path& dir, const std::string& name, bool exclusive = true) {
  t.SetDatabaseName(dir.string());
  t.SetTableName(name);
  t.SetTableType(ttParadox);
  t.SetExclusive(exclusive);
  t.Open();
}

// --- recording calls ---------------------------------------------------------------------
struct Recorded {
  std::vector<std::string> calls;
  std::string tableType = "PARADOX";
  paradox::EngineResult failRestructure = 0;
  paradox::EngineResult failDescriptors = 0;
  std::vector<paradox::FieldDescriptor> descriptors;
  std::vector<std::uint32_t> operations;
  std::string requestName, requestType;
  std::vector<std::uint8_t> requestBytes;
  bool namesAbsent = false, carriedOut = false;
};
Recorded rec;

paradox::EngineResult RecSetProperty(paradox::CursorHandle c, std::uint32_t p, std::uint32_t v) {
  rec.calls.push_back("set " + std::to_string(p) + "=" + std::to_string(v));
  return paradox::EngineSetCursorProperty(c, p, v);
}
paradox::EngineResult RecProperties(paradox::CursorHandle c, paradox::CursorProperties* p) {
  rec.calls.push_back("properties");
  auto r = paradox::EngineGetCursorProperties(c, p);
  std::memset(p->tableType, 0, sizeof p->tableType);
  std::memcpy(p->tableType, rec.tableType.data(), rec.tableType.size());
  return r;
}
paradox::EngineResult RecDescriptors(paradox::CursorHandle c, paradox::FieldDescriptor* d) {
  rec.calls.push_back("descriptors");
  if (rec.failDescriptors) return rec.failDescriptors;
  return paradox::EngineGetFieldDescriptors(c, d);
}
paradox::EngineResult RecOwner(paradox::CursorHandle c, std::uint32_t kind, paradox::DatabaseHandle* db) {
  rec.calls.push_back("owner " + std::to_string(kind));
  return paradox::EngineGetOwnerObject(c, kind, db);
}
paradox::EngineResult RecRestructure(paradox::DatabaseHandle db, std::uint16_t count, const paradox::RestructureDescriptor* r,
                                     const char* a, const char* b, const char* c, bool analyze) {
  rec.calls.push_back("restructure " + std::to_string(count));
  rec.descriptors.assign(r->fields, r->fields + r->fieldCount);
  rec.operations.assign(r->fieldOperations, r->fieldOperations + r->fieldCount);
  rec.requestName = r->tableName;
  rec.requestType = r->tableType;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(r);
  rec.requestBytes.assign(bytes, bytes + sizeof *r);
  rec.namesAbsent = !a && !b && !c;
  rec.carriedOut = !analyze;
  (void)db;
  return rec.failRestructure;
}
[[noreturn]] void RecRaise(paradox::EngineResult r) {
  throw EDBEngineError(static_cast<EngineErrorCode>(r), "Recorded failure " + std::to_string(r) + ".");
}
const RestructureEngineCalls kRecording{RecSetProperty, RecProperties, RecDescriptors, RecOwner, RecRestructure, RecRaise};

fs::path OurTable(const std::string& name) {
  fs::path dir = testing_support::FreshTempDir(name);
  TTable t;
  t.SetDatabaseName(dir.string());
  t.SetTableName("NewTovo");
  t.SetTableType(ttParadox);
  t.FieldDefs().Clear();
  t.FieldDefs().Add("SYARYOU_NO", ftString, 20);
  t.FieldDefs().Add("SYATAI_NO", ftString, 20);
  t.FieldDefs().Add("ID", ftInteger, 0, true);
  t.FieldDefs().Add("TOUROKU_DATE", ftDate);
  t.FieldDefs().Add("SYASYUBETU", ftString, 8);
  t.IndexDefs().Clear();
  t.IndexDefs().Add("", "SYARYOU_NO; SYATAI_NO", ixPrimary | ixUnique);
  t.IndexDefs().Add("IX_SYATAI", "SYATAI_NO", ixCaseInsensitive);
  t.IndexDefs().Add("Kokyaku_ID", "ID", ixCaseInsensitive);
  t.CreateTable();
  t.SetExclusive(true);
  t.Open();
  for (int i = 0; i < 300; ++i) {
    t.Append();
    t.FieldByName("SYARYOU_NO").SetAsString("s" + std::to_string(i % 37) + "x");
    t.FieldByName("SYATAI_NO").SetAsString("frame" + std::to_string(i));
    t.FieldByName("ID").SetAsInteger(i * 7 % 101);
    if (i % 3) t.FieldByName("TOUROKU_DATE").SetAsDateTime(30000 + i);
    t.FieldByName("SYASYUBETU").SetAsString(i % 5 ? "abcdefgh" : "");
  }
  t.Post();
  t.Close();
  return dir;
}

}  // namespace

TEST(RestructureField, WidensAFieldOfARealEngineTableWithItsMemoAndIndex) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path dir = testing_support::FreshTempDir("restructure_field_customer");
  const fs::path src = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  for (const char* f : {"CUSTOMER.DB", "CUSTOMER.MB", "CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06"}) {
    fs::copy_file(src / f, dir / f);
    fs::permissions(dir / f, fs::perms::owner_read | fs::perms::owner_write);
  }
  const auto before = Dump(dir / "CUSTOMER.DB");
  TTable t;
  OpenExclusive(t, dir, "CUSTOMER.DB");
  std::vector<int> sizes;
  for (int i = 0; i < t.FieldCount(); ++i) sizes.push_back(t.Fields(i).Size());
  // Field 6, the one the secondary index covers.
  RestructureField(t, t.FieldByName("City"), Change("City", 1, 30));
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(Dump(dir / "CUSTOMER.DB"), before);
  EXPECT_EQ(paradox::CheckTable(dir / "CUSTOMER.DB"), std::nullopt);
  EXPECT_EQ(paradox::CheckSecondaryIndexes(dir / "CUSTOMER.DB"), std::nullopt);
  t.Open();
  EXPECT_EQ(t.FieldByName("City").Size(), 30);
  for (int i = 0; i < t.FieldCount(); ++i)
    if (t.Fields(i).FieldName() != "City") EXPECT_EQ(t.Fields(i).Size(), sizes[static_cast<std::size_t>(i)]) << t.Fields(i).FieldName();
  t.Close();
}

TEST(RestructureField, TheFirstAndTheLastFieldOfOurTableAreWidened) {
  fs::path dir = OurTable("restructure_field_ours");
  const auto before = Dump(dir / "NewTovo.DB");
  TTable t;
  OpenExclusive(t, dir, "NewTovo");
  RestructureField(t, t.FieldByName("SYARYOU_NO"), Change("SYARYOU_NO", 1, 24));
  t.Close();  // as the caller's clean-up does: closing a closed table does nothing
  OpenExclusive(t, dir, "NewTovo");
  RestructureField(t, t.Fields(t.FieldCount() - 1), Change("SYASYUBETU", 1, 12));
  EXPECT_EQ(Dump(dir / "NewTovo.DB"), before);
  EXPECT_EQ(paradox::CheckTable(dir / "NewTovo.DB"), std::nullopt);
  EXPECT_EQ(paradox::CheckSecondaryIndexes(dir / "NewTovo.DB"), std::nullopt);
  t.Open();
  EXPECT_EQ(t.FieldByName("SYARYOU_NO").Size(), 24);
  EXPECT_EQ(t.FieldByName("SYATAI_NO").Size(), 20);
  EXPECT_EQ(t.FieldByName("SYASYUBETU").Size(), 12);
  // The same width again: restructured all the same, nothing changes.
  RestructureField(t, t.FieldByName("SYASYUBETU"), Change("SYASYUBETU", 1, 12));
  EXPECT_EQ(Dump(dir / "NewTovo.DB"), before);
}

TEST(RestructureField, TheRequestCarriesExactlyTheOneChange) {
  fs::path dir = OurTable("restructure_field_request");
  TTable t;
  OpenExclusive(t, dir, "NewTovo.db");
  rec = Recorded{};
  // A precision alone is applied, widened to 16 bits; type and length stay.
  RestructureField(t, t.FieldByName("TOUROKU_DATE"), Change("TOUROKU_DATE", 0, 0, 200), kRecording);
  EXPECT_FALSE(t.Active());
  const std::vector<std::string> order{"set 327685=0", "properties", "descriptors", "owner 4", "restructure 1"};
  EXPECT_EQ(rec.calls, order);
  ASSERT_EQ(rec.descriptors.size(), 5u);
  EXPECT_EQ(rec.operations, (std::vector<std::uint32_t>{0, 0, 0, 3, 0}));
  const auto& d = rec.descriptors[3];
  EXPECT_EQ(d.units2, 200);
  EXPECT_EQ(d.type, paradox::kEngineTypeDate);
  EXPECT_STREQ(d.name, "TOUROKU_DATE");
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(rec.descriptors[i].fieldNumber, i + 1);
  EXPECT_EQ(rec.descriptors[0].units1, 20);  // untouched fields as the engine reported them
  EXPECT_EQ(rec.requestName, "NewTovo.db");
  EXPECT_EQ(rec.requestType, "PARADOX");
  EXPECT_TRUE(rec.namesAbsent);
  EXPECT_TRUE(rec.carriedOut);
  // Every byte outside the members set is zero.
  const std::size_t pointers = offsetof(paradox::RestructureDescriptor, fieldOperations);
  for (std::size_t i = 0; i < rec.requestBytes.size(); ++i) {
    bool member = i < 261 + 32 || (i >= 622 && i < pointers + 2 * sizeof(void*));
    if (!member) EXPECT_EQ(rec.requestBytes[i], 0) << "byte " << i;
  }

  // The name always replaces the field's name; type, subtype and length only when nonzero.
  t.Open();
  rec = Recorded{};
  RestructureField(t, t.Fields(0), Change("RENAMED", 0, 22), kRecording);
  EXPECT_EQ(rec.operations, (std::vector<std::uint32_t>{3, 0, 0, 0, 0}));
  EXPECT_STREQ(rec.descriptors[0].name, "RENAMED");
  EXPECT_EQ(rec.descriptors[0].units1, 22);
  EXPECT_EQ(rec.descriptors[0].type, paradox::kEngineTypeString);
}

TEST(RestructureField, PreconditionsAreCheckedBeforeAnyEngineCall) {
  fs::path dir = OurTable("restructure_field_pre");
  TTable t;
  t.SetDatabaseName(dir.string());
  t.SetTableName("NewTovo");
  t.SetTableType(ttParadox);
  t.SetExclusive(false);
  t.Open();
  TField& field = t.FieldByName("ID");
  t.Close();
  rec = Recorded{};
  try {
    RestructureField(t, field, Change("ID", 1, 4), kRecording);
    FAIL() << "no error";
  } catch (const EDBEngineError&) {
    FAIL() << "an engine error instead of the table layer's";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table must be opened to restructure");
  }
  t.Open();
  try {
    RestructureField(t, t.FieldByName("ID"), Change("ID", 1, 4), kRecording);
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table must be opened exclusivelyto restructure");
  }
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_TRUE(t.Active());
  t.Close();

  // A table type other than "PARADOX" or "DBASE", letter case included, is refused after the
  // translate mode was set and the properties read, and nothing else.
  OpenExclusive(t, dir, "NewTovo");
  for (const char* type : {"Paradox", "ASCIIDRV", ""}) {
    rec = Recorded{};
    rec.tableType = type;
    try {
      RestructureField(t, t.FieldByName("ID"), Change("ID", 1, 4), kRecording);
      FAIL() << "no error for " << type;
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "Field altering can only occur on Paradox or dBASE tables");
    }
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"set 327685=0", "properties"}));
    EXPECT_TRUE(t.Active());
  }
  rec = Recorded{};
  rec.tableType = "DBASE";
  RestructureField(t, t.FieldByName("SYATAI_NO"), Change("SYATAI_NO", 1, 30), kRecording);
  EXPECT_EQ(rec.requestType, "DBASE");
}

TEST(RestructureField, EngineFailuresRaiseTheEnginesErrorAndLeaveTheTableAsSpecified) {
  fs::path dir = OurTable("restructure_field_fail");
  TTable t;
  OpenExclusive(t, dir, "NewTovo");
  // Before the table is closed: it stays open.
  rec = Recorded{};
  rec.failDescriptors = 0x2109;
  EXPECT_THROW(RestructureField(t, t.FieldByName("ID"), Change("ID", 1, 4), kRecording), EDBEngineError);
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(rec.calls.back(), "descriptors");
  // The restructure itself: the table is closed all the same.
  rec = Recorded{};
  rec.failRestructure = 0x2A01;
  EXPECT_THROW(RestructureField(t, t.FieldByName("ID"), Change("ID", 1, 4), kRecording), EDBEngineError);
  EXPECT_FALSE(t.Active());
  // Our engine refuses a change the data cannot take, with its own message, and the table is
  // unchanged.
  const auto before = Dump(dir / "NewTovo.DB");
  OpenExclusive(t, dir, "NewTovo");
  try {
    RestructureField(t, t.FieldByName("SYATAI_NO"), Change("SYATAI_NO", 1, 3));
    FAIL() << "narrowed below its values";
  } catch (const EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("SYATAI_NO"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(Dump(dir / "NewTovo.DB"), before);
  EXPECT_EQ(paradox::CheckSecondaryIndexes(dir / "NewTovo.DB"), std::nullopt);
}
