// Tables this engine creates and fills: read back by the engine and by pxlib, checked, with
// headers laid out as the real engine lays them out; key violations; locking between processes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>

#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;

namespace {

// The shape of the moped table the migration builds: a three-part text key, a long, dates,
// text and a memo.
TableDefinition VehicleTable() {
  TableDefinition d;
  d.fields = {FieldDef::Alpha("SYARYOU_NO", 20), FieldDef::Alpha("SYATAI_NO", 20), FieldDef::Alpha("SYASEKI_NO", 20),
              FieldDef::Long("ID"),            FieldDef::Date("TOUROKU_DATE"),   FieldDef::Alpha("MAKER", 20),
              FieldDef::Short("HAIKIRYO"),     FieldDef::Memo("MEMO", 40)};
  d.keyFieldCount = 3;
  return d;
}

struct Row {
  std::string a, b, c;
  std::optional<std::int32_t> id, date;
  std::string maker;
  std::optional<std::int32_t> cc;
  std::string memo;
};

// Shift-JIS: 品川 あ 12-34 and ヤマハ.
const std::string kShinagawa = "\x95\x69\x90\xEC \x82\xA0 12-34";
const std::string kYamaha = "\x83\x84\x83\x7D\x83\x6E";

std::vector<Row> MakeRows(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Row> rows;
  for (std::size_t i = 0; i < n; ++i) {
    Row r;
    r.a = (i % 7 == 0) ? "" : kShinagawa + std::to_string(i % 97);
    r.b = "F" + std::to_string(100000 + i);
    r.c = (i % 3 == 0) ? "" : std::to_string(i % 5);
    if (i % 11 != 0) r.id = static_cast<std::int32_t>(i) - 500;
    if (i % 13 != 0) r.date = DayNumberFromCivil({1990 + static_cast<int>(i % 30), 1 + static_cast<unsigned>(i % 12), 1 + static_cast<unsigned>(i % 28)});
    r.maker = (i % 5 == 0) ? "" : kYamaha;
    if (i % 4 != 0) r.cc = static_cast<std::int32_t>(i % 32767) - 16000;
    switch (i % 6) {
      case 0: break;                                       // empty
      case 1: r.memo = "short " + std::to_string(i); break;  // in the leader
      case 2: r.memo = std::string(300 + i % 500, 'm') + kShinagawa; break;  // small-blob slot
      case 3: r.memo = std::string(2100 + i % 3000, 'L') + "\r\n" + kYamaha; break;  // a block of its own
      default: r.memo = std::string(40, 'x'); break;       // exactly the leader
    }
    rows.push_back(r);
  }
  std::shuffle(rows.begin(), rows.end(), rng);
  return rows;
}

Record ToRecord(const ParadoxTable& t, const Row& r) {
  Record rec = t.NewRecord();
  rec.SetAlpha(0, r.a);
  rec.SetAlpha(1, r.b);
  rec.SetAlpha(2, r.c);
  if (r.id) rec.SetInteger(3, *r.id);
  if (r.date) rec.SetDate(4, *r.date);
  rec.SetAlpha(5, r.maker);
  if (r.cc) rec.SetInteger(6, *r.cc);
  rec.SetBlob(7, r.memo);
  return rec;
}

std::string KeyOf(const Row& r) {
  auto pad = [](std::string s) {
    s.resize(20, '\0');
    return s;
  };
  return pad(r.a) + pad(r.b) + pad(r.c);
}

void ExpectRow(const Record& rec, const Row& r) {
  EXPECT_EQ(rec.GetAlpha(0), r.a);
  EXPECT_EQ(rec.GetAlpha(1), r.b);
  EXPECT_EQ(rec.GetAlpha(2), r.c);
  EXPECT_EQ(rec.GetInteger(3), r.id);
  EXPECT_EQ(rec.GetDate(4), r.date);
  EXPECT_EQ(rec.GetAlpha(5), r.maker);
  EXPECT_EQ(rec.GetInteger(6), r.cc);
  EXPECT_EQ(rec.GetBlob(7), r.memo);
}

// Name, size and a hash of every family file: equal when nothing was written.
std::map<std::string, std::pair<std::size_t, std::size_t>> FamilyBytes(const fs::path& dataFile) {
  std::map<std::string, std::pair<std::size_t, std::size_t>> m;
  for (const auto& p : FindFamilyFiles(dataFile)) {
    std::string b = ReadFileBytes(p);
    m[p.filename().string()] = {b.size(), std::hash<std::string>{}(b)};
  }
  return m;
}

fs::path FilledTable(const std::string& name, std::size_t n, std::vector<Row>* rowsOut = nullptr) {
  fs::path dir = FreshTempDir(name);
  fs::path db = DataFilePath(dir, "NewTovo");
  ParadoxTable::Create(db, VehicleTable());
  auto rows = MakeRows(n, 7);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    for (const auto& r : rows) t->Insert(ToRecord(*t, r));
    t->Close();
  }
  if (rowsOut) *rowsOut = rows;
  return db;
}

}  // namespace

TEST(TableWrite, ThousandsOfRecordsInRandomOrderReadBackInKeyOrder) {
  std::vector<Row> rows;
  fs::path db = FilledTable("write-many", 3000, &rows);
  EXPECT_EQ(db.filename(), "NewTovo.DB");
  std::sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) { return KeyOf(x) < KeyOf(y); });
  auto t = ParadoxTable::Open(db, OpenMode::kShared);
  ASSERT_EQ(t->RecordCount(), rows.size());
  std::size_t i = 0;
  t->ForEachRecord([&](const Record& rec) {
    SCOPED_TRACE("record " + std::to_string(i));
    ExpectRow(rec, rows[i++]);
    return !HasFailure();
  });
  EXPECT_EQ(i, rows.size());
  // Random access and the key search agree with the order.
  ExpectRow(t->ReadRecord(1234), rows[1234]);
  Record probe = ToRecord(*t, rows[2222]);
  EXPECT_EQ(t->FindKey(probe), 2222u);
  probe.SetAlpha(1, "no such frame");
  EXPECT_FALSE(t->FindKey(probe).has_value());
  EXPECT_EQ(CheckTable(db), std::nullopt);
  // More blocks than one .PX block can list: the index has two levels.
  PrimaryIndexContents px = ReadPrimaryIndexFile(FamilyMemberPath(db, ".PX"), t->Schema().KeySize());
  EXPECT_EQ(px.levels, 2);
  EXPECT_EQ(px.lowest.size(), t->PrimaryIndexEntries().size());
}

TEST(TableWrite, DuplicateKeyIsRefusedAndChangesNothing) {
  std::vector<Row> rows;
  fs::path db = FilledTable("write-dup", 200, &rows);
  auto before = FamilyBytes(db);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    Row dup = rows[57];
    dup.memo = std::string(5000, 'z');  // would need .MB space: none may be taken
    dup.maker = "other";
    try {
      t->Insert(ToRecord(*t, dup));
      FAIL() << "duplicate key stored";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kKeyViolation);
      EXPECT_EQ(std::string(e.what()).substr(0, 14), "Key violation.");
      EXPECT_NE(e.File().find("NewTovo.DB"), std::string::npos);
    }
    EXPECT_EQ(t->RecordCount(), 200u);
    t->Close();
  }
  EXPECT_EQ(FamilyBytes(db), before);
}

TEST(TableWrite, UpdateAndDeleteKeepOrderAndIndex) {
  std::vector<Row> rows;
  fs::path db = FilledTable("write-upd", 400, &rows);
  std::sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) { return KeyOf(x) < KeyOf(y); });
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    for (int k = 0; k < 120; ++k) t->Delete(static_cast<std::uint32_t>(k * 2 % t->RecordCount()));
    for (int k = 0; k < 30; ++k) t->Delete(0);  // empties whole blocks
    EXPECT_NE(t->Header().firstFreeBlock, 0);
    Row changed = rows.back();
    changed.b = "A-moved-to-front";
    changed.a = "";
    changed.c = "";
    changed.memo = std::string(3000, 'u');
    std::uint32_t last = t->RecordCount() - 1;
    Record orig = t->ReadRecord(last);
    std::uint32_t pos = t->Update(last, ToRecord(*t, changed));
    EXPECT_EQ(pos, 0u);
    ExpectRow(t->ReadRecord(0), changed);
    // Moving a record onto an existing key is a key violation that leaves it where it was.
    Record clash = t->ReadRecord(5);
    EXPECT_THROW(t->Update(0, clash), EDBEngineError);
    ExpectRow(t->ReadRecord(0), changed);
    EXPECT_EQ(t->RecordCount(), 250u);
    t->Close();
  }
  EXPECT_EQ(CheckTable(db), std::nullopt);
  // Freed blocks are found again after reopening and taken before the file grows.
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  const std::uint16_t blocks = t->Header().fileBlocks;
  const std::uint16_t firstFree = t->Header().firstFreeBlock;
  ASSERT_NE(firstFree, 0);
  for (int k = 0; k < 100 && t->Header().fileBlocks == blocks; ++k) {
    Row r = rows[static_cast<std::size_t>(k)];
    r.b = "again" + std::to_string(k);
    t->Insert(ToRecord(*t, r));
    if (t->Header().firstFreeBlock != firstFree) break;
  }
  EXPECT_NE(t->Header().firstFreeBlock, firstFree);
  EXPECT_EQ(t->Header().fileBlocks, blocks);
  t->Close();
  EXPECT_EQ(CheckTable(db), std::nullopt);
}

TEST(TableWrite, UnkeyedTableAppendsAndAutoIncrements) {
  fs::path dir = FreshTempDir("write-unkeyed");
  fs::path db = DataFilePath(dir, "log.db");
  EXPECT_EQ(db.filename(), "log.db");
  TableDefinition d;
  d.fields = {FieldDef::Of("N", FieldType::kAutoIncrement, 4), FieldDef::Alpha("TEXT", 10)};
  ParadoxTable::Create(db, d);
  EXPECT_FALSE(fs::exists(dir / "log.px"));
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  for (const char* s : {"c", "a", "b"}) {
    Record r = t->NewRecord();
    r.SetAlpha(1, s);
    t->Insert(r);
  }
  EXPECT_EQ(t->ReadRecord(0).GetAlpha(1), "c");
  EXPECT_EQ(t->ReadRecord(2).GetAlpha(1), "a" == std::string("a") ? "b" : "");
  EXPECT_EQ(t->ReadRecord(2).GetInteger(0), 3);
  EXPECT_EQ(t->Header().autoIncrement, 3u);
  t->Close();
  EXPECT_EQ(CheckTable(db), std::nullopt);
}

TEST(TableWrite, HeaderLaidOutAsTheRealEngineDoes) {
  NORVEX_REQUIRE_FIXTURES(root);
  fs::path db = FilledTable("write-header", 30);
  const std::string ours = ReadFileBytes(db);
  const std::string real = ReadFileBytes(root / "paradox/leonhad-paradoxdriver/db/CUSTOMER.DB");
  auto u16 = [](const std::string& b, std::size_t at) { return GetU16(b, at); };
  // Constant bytes of every level-7 keyed table the engine wrote.
  for (std::size_t at : {0x02u, 0x04u, 0x05u, 0x25u, 0x26u, 0x27u, 0x28u, 0x39u, 0x3Eu, 0x3Fu, 0x56u, 0x58u, 0x59u,
                         0x5Au, 0x5Bu, 0x6Cu, 0x6Du})
    EXPECT_EQ(ours[at], real[at]) << "header byte 0x" << std::hex << at;
  // Derived fields follow the same rules: field count + 1, offsets of the field numbers and of
  // the sort-order name (from 0x58), bytes in use.
  auto check = [&](const std::string& b) {
    const unsigned nf = u16(b, 0x21);
    EXPECT_EQ(u16(b, 0x64), nf + 1);
    std::size_t at = 0x78 + 2 * nf + 4 + 4 * nf + 261;
    for (unsigned i = 0; i < nf; ++i) at = b.find('\0', at) + 1;
    EXPECT_EQ(u16(b, 0x66) + 0x58u, at);
    EXPECT_EQ(GetU16(b, at), 1);  // field number 1
    at += 2 * nf;
    EXPECT_EQ(u16(b, 0x6E) + 0x58u, at);
    EXPECT_EQ(u16(b, 0x51), at + b.substr(at).find('\0') + 1);
    EXPECT_EQ(u16(b, 0x3A), u16(b, 0x0C));  // blocks in the file, twice
  };
  check(real);
  check(ours);
  // What differs of necessity: the language driver (Japanese), the stored name.
  EXPECT_EQ(static_cast<unsigned char>(ours[0x29]), 0x0A);
  EXPECT_EQ(u16(ours, 0x6A), 932);
  const std::size_t nf = 8;
  EXPECT_EQ(ours.substr(0x78 + 2 * nf + 4 + 4 * nf, 11), std::string("NewTovo.DB\0", 11));

  // The .PX against CUSTOMER.PX.
  const std::string px = ReadFileBytes(FamilyMemberPath(db, ".PX"));
  const std::string realPx = ReadFileBytes(root / "paradox/leonhad-paradoxdriver/db/CUSTOMER.PX");
  for (std::size_t at : {0x02u, 0x04u, 0x05u, 0x1Eu, 0x39u})
    EXPECT_EQ(px[at], realPx[at]) << ".PX header byte 0x" << std::hex << at;
  EXPECT_EQ(u16(px, 0x00), 60 + 6);
  EXPECT_EQ(u16(px, 0x21), 3);
  EXPECT_EQ(u16(px, 0x12), u16(ours, 0x12) + 1);
  EXPECT_EQ(static_cast<unsigned char>(px[0x2C]), static_cast<unsigned char>(ours[0x2D]));
  EXPECT_EQ(u16(realPx, 0x51), 0x58 + 2 * 1 + 4 + 261);
  EXPECT_EQ(u16(px, 0x51), 0x58 + 2 * 3 + 4 + 261);
  // The .MB header's fixed part.
  const std::string mb = ReadFileBytes(FamilyMemberPath(db, ".MB")).substr(0, 0x38);
  const std::string realMb = ReadFileBytes(root / "paradox/leonhad-paradoxdriver/db/CUSTOMER.MB").substr(0, 0x38);
  EXPECT_EQ(mb.substr(5), realMb.substr(5));
  EXPECT_EQ(mb.substr(0, 3), realMb.substr(0, 3));
}

TEST(TableWrite, TableWithSecondaryIndexesIsReadOnly) {
  NORVEX_REQUIRE_FIXTURES(root);
  fs::path dir = FreshTempDir("write-secondary");
  for (const char* ext : {".DB", ".PX", ".MB", ".X06", ".Y06"}) {
    fs::copy_file(root / "paradox/leonhad-paradoxdriver/db" / (std::string("CUSTOMER") + ext), dir / (std::string("CUSTOMER") + ext));
    fs::permissions(dir / (std::string("CUSTOMER") + ext), fs::perms::owner_write, fs::perm_options::add);
  }
  fs::path db = dir / "CUSTOMER.DB";
  auto before = FamilyBytes(db);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    EXPECT_EQ(t->RecordCount(), 20u);  // reading works
    Record r = t->ReadRecord(3);
    r.SetInteger(0, 999);
    try {
      t->Insert(r);
      FAIL() << "stored into a table whose secondary index would go stale";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kReadOnly);
      EXPECT_NE(std::string(e.what()).find("CUSTOMER.X06"), std::string::npos);
    }
    EXPECT_THROW(t->Delete(0), EDBEngineError);
  }
  EXPECT_EQ(FamilyBytes(db), before);
}

TEST(TableWrite, CreateReplacesTheWholeFamily) {
  fs::path db = FilledTable("write-replace", 20);
  fs::path dir = db.parent_path();
  testing_support::WriteFileBytes(dir / "newtovo.X02", "stale");
  testing_support::WriteFileBytes(dir / "NEWTOVO.val", "stale");
  testing_support::WriteFileBytes(dir / "NewTovo.txt", "not ours");
  TableDefinition d;
  d.fields = {FieldDef::Short("TANTOU_ID"), FieldDef::Alpha("NAME", 16)};
  d.keyFieldCount = 1;
  ParadoxTable::Create(DataFilePath(dir, "newtovo.db"), d);
  std::vector<std::string> names;
  for (const auto& p : FindFamilyFiles(DataFilePath(dir, "NEWTOVO"))) names.push_back(p.filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"NewTovo.DB", "NewTovo.PX"}));
  EXPECT_TRUE(fs::exists(dir / "NewTovo.txt"));
  auto t = ParadoxTable::Open(DataFilePath(dir, "NewTovo"), OpenMode::kShared);
  EXPECT_EQ(t->RecordCount(), 0u);
  EXPECT_EQ(t->Schema().FieldCount(), 2u);
}

TEST(TableFamilyOps, ExistsDeleteRenameIgnoreCase) {
  fs::path db = FilledTable("family-ops", 50);
  fs::path dir = db.parent_path();
  testing_support::WriteFileBytes(dir / "NewTovo.X02", "x");
  EXPECT_TRUE(TableExists(dir, "newtovo.db"));
  EXPECT_TRUE(TableExists(dir, "NEWTOVO"));
  EXPECT_FALSE(TableExists(dir, "TOVO"));
  RenameTable(dir, "newtovo", "TOVO");
  EXPECT_FALSE(TableExists(dir, "NewTovo"));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"TOVO.DB", "TOVO.MB", "TOVO.PX", "TOVO.X02"}));
  EXPECT_EQ(CheckTable(dir / "TOVO.DB"), std::nullopt);
  // Renaming onto an existing table is refused before anything moves.
  ParadoxTable::Create(dir / "Other.DB", VehicleTable());
  EXPECT_THROW(RenameTable(dir, "TOVO.DB", "other"), EDBEngineError);
  EXPECT_TRUE(fs::exists(dir / "TOVO.MB"));
  DeleteTable(dir, "tovo.db");
  EXPECT_FALSE(TableExists(dir, "TOVO"));
  EXPECT_FALSE(fs::exists(dir / "TOVO.X02"));
  EXPECT_FALSE(fs::exists(dir / "TOVO.MB"));
  EXPECT_TRUE(TableExists(dir, "OTHER"));
  try {
    DeleteTable(dir, "TOVO");
    FAIL();
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kFileNotFound);
  }
}

namespace {

// Runs the lock probe as a second process; returns its exit code.
int Probe(const std::string& mode, const fs::path& table) {
#ifdef _WIN32
  fs::path exe = testing_support::BinaryDir() / "tests" / "paradox" / "paradox_lock_probe.exe";
  std::wstring cmd = L"\"" + exe.wstring() + L"\" " + std::wstring(mode.begin(), mode.end()) + L" \"" + table.wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return static_cast<int>(code);
#else
  fs::path exe = testing_support::BinaryDir() / "tests" / "paradox" / "paradox_lock_probe";
  pid_t pid = fork();
  if (pid == 0) {
    execl(exe.c_str(), exe.c_str(), mode.c_str(), table.c_str(), static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace

TEST(TableLocking, ExclusiveOpenKeepsOtherProcessesOut) {
  fs::path db = FilledTable("lock", 10);
  ASSERT_EQ(Probe("shared", db), 0);  // the probe itself works
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    EXPECT_EQ(Probe("shared", db), 3);
    EXPECT_EQ(Probe("exclusive", db), 3);
  }
  {
    auto reader = ParadoxTable::Open(db, OpenMode::kShared);
    EXPECT_EQ(Probe("shared", db), 0);
    EXPECT_EQ(Probe("exclusive", db), 3);
  }
  EXPECT_EQ(Probe("exclusive", db), 0);
}

TEST(TableLocking, CreateDoesNotReplaceAHeldTable) {
  fs::path db = FilledTable("lock-create", 10);
  auto before = FamilyBytes(db);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kShared);
    try {
      ParadoxTable::Create(db, VehicleTable());
      FAIL() << "replaced a table that is open";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked);
      EXPECT_EQ(std::string(e.what()).substr(0, 14), "Table is busy.");
    }
  }
  EXPECT_EQ(FamilyBytes(db), before);
}

#ifdef NORVEX_PXLIB_DUMP
TEST(TableWrite, PxlibReadsWhatWeWrite) {
  std::vector<Row> rows;
  fs::path db = FilledTable("write-pxlib", 1500, &rows);
  std::sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) { return KeyOf(x) < KeyOf(y); });
  std::string cmd = std::string(NORVEX_PXLIB_DUMP) + " '" + db.string() + "' 2>/dev/null";
  const testing_support::CommandResult pxlib = testing_support::RunCommand(cmd);
  ASSERT_EQ(pxlib.status, 0);
  const std::string& out = pxlib.output;
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  // Records, record size, fields, key fields, code page.
  EXPECT_EQ(line.substr(0, 18), "H 1500 " + std::to_string(20 * 3 + 4 + 4 + 20 + 2 + 50) + " 8 3 932");
  std::vector<std::string> fieldLines;
  for (int i = 0; i < 8; ++i) {
    std::getline(in, line);
    fieldLines.push_back(line);
  }
  EXPECT_EQ(fieldLines[0], "F SYARYOU_NO 1 20");
  EXPECT_EQ(fieldLines[3], "F ID 4 4");
  EXPECT_EQ(fieldLines[4], "F TOUROKU_DATE 2 4");
  EXPECT_EQ(fieldLines[6], "F HAIKIRYO 3 2");
  EXPECT_EQ(fieldLines[7], "F MEMO 12 50");
  auto hex = [](const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : s) {
      h += d[c >> 4];
      h += d[c & 15];
    }
    return h;
  };
  int row = -1, compared = 0;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "R") {
      ++row;
      continue;
    }
    int f;
    std::string kind, value;
    ls >> f >> kind;
    std::getline(ls >> std::ws, value);
    ASSERT_LT(row, 1500);
    const Row& r = rows[static_cast<std::size_t>(row)];
    SCOPED_TRACE("row " + std::to_string(row) + " field " + std::to_string(f));
    switch (f) {
      case 0: EXPECT_EQ(kind == "NULL" ? "" : value, hex(r.a)); break;
      case 1: EXPECT_EQ(value, hex(r.b)); break;
      case 3:
        if (r.id) EXPECT_EQ(value, std::to_string(*r.id));
        break;
      case 4:
        if (r.date) EXPECT_EQ(value, std::to_string(*r.date));
        break;
      case 5: EXPECT_EQ(kind == "NULL" ? "" : value, hex(r.maker)); break;
      case 6:
        if (r.cc) EXPECT_EQ(value, std::to_string(*r.cc));
        else EXPECT_EQ(kind, "NULL");
        break;
      default: continue;
    }
    ++compared;
  }
  EXPECT_EQ(row, 1499);
  EXPECT_GT(compared, 6000);
}
#endif
