#include "tools/sample/SampleInstallation.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "engine/ShortDate.h"
#include "engine/Table.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

// A small deterministic generator, so that a seed always gives the same installation.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
  template <std::size_t N>
  const char* Pick(const std::array<const char*, N>& items) { return items[static_cast<std::size_t>(Below(N))]; }

 private:
  std::uint32_t state_;
};

constexpr std::array<const char*, 12> kSurnames = {"山田", "佐藤", "鈴木", "高橋", "田中", "渡辺",
                                                   "伊藤", "中村", "小林", "加藤", "長谷川", "五十嵐"};
constexpr std::array<const char*, 12> kSurnameKana = {"ヤマダ", "サトウ", "スズキ", "タカハシ", "タナカ", "ワタナベ",
                                                      "イトウ", "ナカムラ", "コバヤシ", "カトウ", "ハセガワ", "イガラシ"};
constexpr std::array<const char*, 8> kGiven = {"太郎", "花子", "一郎", "美咲", "健太", "由美", "翔", "直樹"};
constexpr std::array<const char*, 8> kGivenKana = {"タロウ", "ハナコ", "イチロウ", "ミサキ", "ケンタ", "ユミ", "ショウ", "ナオキ"};
constexpr std::array<const char*, 6> kTowns = {"東京都世田谷区桜新町", "大阪府大阪市北区梅田", "愛知県名古屋市中区栄",
                                               "福岡県福岡市博多区祇園町", "北海道札幌市中央区北一条西", "静岡県浜松市中区砂山町"};
constexpr std::array<const char*, 5> kMakers = {"ホンダ", "ヤマハ", "スズキ", "カワサキ", "ＢＭＷ"};
constexpr std::array<const char*, 6> kModels = {"スーパーカブ", "ジョグ", "アドレスＶ１２５", "ＣＢ４００ＳＦ", "ニンジャ２５０", "ＳＲ４００"};
constexpr std::array<const char*, 5> kColors = {"赤", "黒", "白", "シルバー", "青"};
constexpr std::array<const char*, 3> kCompanies = {"株式会社トヴォ商会", "有限会社山田モータース", "浜松二輪販売株式会社"};
// 20 bytes in Shift-JIS: the old NAME field exactly full.
constexpr const char* kFullName = "長谷川五十嵐左衛門丸";
constexpr const char* kFullKana = "ハセガワイガラシサエ";

std::string Sjis(std::string_view utf8) { return text::FromUtf8(utf8).value(); }

TDateTime Day(int y, int m, int d) { return engine::CivilToDateTime({y, m, d}); }

struct TableWriter {
  explicit TableWriter(const std::string& folder, std::string_view name) {
    table.SetDatabaseName(folder);
    table.SetTableName(std::string(name));
    table.SetTableType(ttParadox);
    table.SetExclusive(true);
  }
  void Field(const char* name, TFieldType type, int size = 0) { table.FieldDefs().Add(name, type, size, false); }
  void Key(const char* fields) { table.IndexDefs().Add("", fields, ixPrimary | ixUnique); }
  void Secondary(const char* name, const char* fields) { table.IndexDefs().Add(name, fields, ixCaseInsensitive); }
  // `records`: how many the table will hold, so that it gets blocks large enough for them.
  void Create(int records = 0) {
    table.SetExpectedRecordCount(static_cast<std::uint32_t>(std::max(records, 0)));
    table.CreateTable();
    table.Open();
  }
  void Text(const char* name, const std::string& utf8) {
    if (TField* f = table.FindField(name)) f->SetAsString(Sjis(utf8));
  }
  void Int(const char* name, int v) { table.FieldByName(name).SetAsInteger(v); }
  void Date(const char* name, std::optional<TDateTime> v) {
    if (v) table.FieldByName(name).SetAsDateTime(*v);
  }
  // Stores the last record, if there is one.
  void Finish() {
    if (table.State() == dsInsert) table.Post();
  }
  TTable table;
};

// Mostly a real date; one in ten empty and one in twenty the zero date.
std::optional<TDateTime> SomeDate(Random& r, int fromYear, int years) {
  int k = r.Below(20);
  if (k < 2) return std::nullopt;
  if (k == 2) return 0.0;
  return Day(fromYear + r.Below(years), 1 + r.Below(12), 1 + r.Below(28));
}

std::string Phone(Random& r, const char* prefix) {
  return std::string(prefix) + "-" + std::to_string(1000 + r.Below(9000)) + "-" + std::to_string(1000 + r.Below(9000));
}

void WriteCustomers(const std::string& folder, const SampleOptions& o, int count, Random& r) {
  TableWriter w(folder, "kokyaku.db");
  w.Field("ID", ftInteger);
  w.Field("NAME", ftString, 20);
  w.Field("KANA", ftString, 20);
  w.Field("BIRTHDAY", ftDate);
  w.Field("POST_CODE", ftString, 8);
  w.Field("ADDRESS1", ftString, 60);
  w.Field("ADDRESS2", ftString, 40);
  w.Field("TEL", ftString, 12);
  w.Field("FAX", ftString, 12);
  w.Field("CARRY_TEL", ftString, 12);
  if (o.mailAddress) w.Field("MAIL_ADDRESS", ftString, 50);
  w.Field("COMPANY", ftString, 30);
  w.Field("COMP_POST_CODE", ftString, 8);
  w.Field("COMPANY_ADDRESS", ftString, 50);
  w.Field("COMPANY_TEL", ftString, 12);
  w.Field("RGIST_DATE", ftDate);
  w.Field("MEMO", ftMemo, 60);
  const bool duplicates = o.Duplicates("kokyaku.db");
  if (!duplicates) w.Key("ID");
  w.Create(count);
  for (int i = 1; i <= count; ++i) {
    w.table.Append();
    // With duplicate keys, the middle customer's ID is given twice.
    w.Int("ID", duplicates && i == count / 2 + 1 ? i - 1 : i);
    const int s = r.Below(12), g = r.Below(8);
    const bool full = i % 7 == 0;
    w.Text("NAME", full ? kFullName : std::string(kSurnames[s]) + " " + kGiven[g]);
    w.Text("KANA", full ? kFullKana : std::string(kSurnameKana[s]) + " " + kGivenKana[g]);
    w.Date("BIRTHDAY", SomeDate(r, 1935, 60));
    w.Text("POST_CODE", std::to_string(100 + r.Below(900)) + "-" + std::to_string(1000 + r.Below(9000)));
    w.Text("ADDRESS1", std::string(r.Pick(kTowns)) + std::to_string(1 + r.Below(9)) + "丁目" + std::to_string(1 + r.Below(30)) + "番地");
    if (r.Below(3) == 0) w.Text("ADDRESS2", "コーポ" + std::string(r.Pick(kSurnames)) + std::to_string(101 + r.Below(400)) + "号室");
    w.Text("TEL", Phone(r, "03").substr(0, 12));
    if (r.Below(4) == 0) w.Text("FAX", Phone(r, "06").substr(0, 12));
    w.Text("CARRY_TEL", i % 5 == 0 ? "090-1234-567" : Phone(r, "090").substr(0, 12));
    if (r.Below(2) == 0) w.Text("MAIL_ADDRESS", "customer" + std::to_string(i) + "@example.jp");
    if (r.Below(5) == 0) {
      w.Text("COMPANY", r.Pick(kCompanies));
      w.Text("COMP_POST_CODE", "430-0901");
      w.Text("COMPANY_ADDRESS", "静岡県浜松市中区曳馬" + std::to_string(1 + r.Below(6)) + "丁目");
      w.Text("COMPANY_TEL", Phone(r, "053").substr(0, 12));
    }
    w.Date("RGIST_DATE", r.Below(10) == 0 ? std::nullopt : std::optional<TDateTime>(Day(1995 + r.Below(12), 1 + r.Below(12), 1 + r.Below(28))));
    if (r.Below(3) == 0)
      w.Text("MEMO", "点検時に連絡希望。\r\n" + std::string(r.Pick(kModels)) + "の部品を取り寄せ中。\r\n担当: " + r.Pick(kSurnames));
  }
  w.Finish();
}

std::string FrameNumber(const char* prefix, int i) { return std::string(prefix) + "-" + std::to_string(100000 + i); }

void WriteTovo(const std::string& folder, const SampleOptions& o, int count, int customers, Random& r) {
  TableWriter w(folder, "tovo.db");
  w.Field("SYARYOU_NO", ftString, 20);
  w.Field("SYATAI_NO", ftString, 20);
  w.Field("SYASEKI_NO", ftString, 14);
  w.Field("ID", ftInteger);
  w.Field("TOUROKU_DATE", ftDate);
  w.Field("MAKER", ftString, 20);
  w.Field("SHAMEI", ftString, 20);
  w.Field("COLOR", ftString, 10);
  if (o.tovoWithout != "SINKOSYA") w.Field("SINKOSYA", ftString, 4);
  w.Field("HAISYA_DATE", ftDate);
  if (o.tovoWithout != "SYASYUBETU") w.Field("SYASYUBETU", ftString, 8);
  const bool duplicates = o.Duplicates("tovo.db");
  if (!duplicates) w.Key("SYARYOU_NO; SYATAI_NO");
  w.Secondary("IX_SYATAI", "SYATAI_NO");
  w.Create(count);
  for (int i = 1; i <= count; ++i) {
    const int n = duplicates && i == count / 2 + 1 ? i - 1 : i;
    w.table.Append();
    w.Text("SYARYOU_NO", "浜松市" + std::string(1, static_cast<char>('a' + n % 26)) + std::to_string(n));
    w.Text("SYATAI_NO", FrameNumber("AF", n));
    w.Text("SYASEKI_NO", n % 6 == 0 ? "" : "静" + std::to_string(1000000000 + n));  // 12 bytes
    if (r.Below(30) != 0) w.Int("ID", 1 + r.Below(std::max(customers, 1)));
    w.Date("TOUROKU_DATE", SomeDate(r, 1990, 20));
    w.Text("MAKER", r.Pick(kMakers));
    w.Text("SHAMEI", r.Pick(kModels));
    w.Text("COLOR", r.Pick(kColors));
    w.Text("SINKOSYA", r.Below(2) ? "新車" : "中古");
    w.Date("HAISYA_DATE", r.Below(5) == 0 ? SomeDate(r, 2000, 8) : std::nullopt);
    w.Text("SYASYUBETU", r.Below(2) ? "原付一種" : "原付二種");
  }
  w.Finish();
}

void WriteBigTovo(const std::string& folder, const SampleOptions& o, int count, int customers, Random& r) {
  TableWriter w(folder, "bigtovo.db");
  w.Field("SYARYOU_NO", ftString, 20);
  w.Field("SYATAI_NO", ftString, 16);
  w.Field("ID", ftInteger);
  w.Field("TOUROKU_DATE", ftDate);
  w.Field("START_YEAR_MON", ftString, 9);
  w.Field("MAKER", ftString, 20);
  w.Field("SHAMEI", ftString, 20);
  w.Field("SYAKEN_DATE", ftDate);
  w.Field("HAISYA_DATE", ftDate);
  w.Field("E_KEISIKI", ftString, 12);
  if (o.bigTovoSinkosya) w.Field("SINKOSYA", ftString, 4);
  w.Key("SYARYOU_NO");
  w.Create(count);
  for (int i = 1; i <= count; ++i) {
    w.table.Append();
    w.Text("SYARYOU_NO", "浜松 ま " + std::to_string(1000 + i));
    // With duplicate keys two motorcycles share a frame number; the old key does not see it.
    w.Text("SYATAI_NO", FrameNumber("NC39", o.Duplicates("bigtovo.db") && i == count / 2 + 1 ? i - 1 : i));
    w.Int("ID", 1 + r.Below(std::max(customers, 1)));
    w.Date("TOUROKU_DATE", SomeDate(r, 1990, 20));
    w.Text("START_YEAR_MON", "H" + std::to_string(1 + r.Below(19)) + "年" + std::to_string(1 + r.Below(9)) + "月");
    w.Text("MAKER", r.Pick(kMakers));
    w.Text("SHAMEI", r.Pick(kModels));
    w.Date("SYAKEN_DATE", SomeDate(r, 2005, 4));
    w.Date("HAISYA_DATE", r.Below(6) == 0 ? SomeDate(r, 2001, 6) : std::nullopt);
    w.Text("E_KEISIKI", i % 4 == 0 ? "ＮＣ３９Ｅ－１" : "NC39E-" + std::to_string(i % 1000));
    w.Text("SINKOSYA", r.Below(2) ? "新車" : "中古");
  }
  w.Finish();
}

void WriteBicycles(const std::string& folder, int count, int customers, Random& r) {
  TableWriter w(folder, "bicycle.db");
  w.Field("TOUROKU_NO", ftString, 14);
  w.Field("SYATAI_NO", ftString, 16);
  w.Field("ID", ftInteger);
  w.Field("MAKER", ftString, 20);
  w.Field("COLOR", ftString, 10);
  w.Field("TOUROKU_DATE", ftDate);
  w.Key("TOUROKU_NO");
  w.Create(count);
  for (int i = 1; i <= count; ++i) {
    w.table.Append();
    w.Text("TOUROKU_NO", "静" + std::to_string(100000000 + i));  // 11 bytes
    w.Text("SYATAI_NO", i % 9 == 0 ? "ＢＳ１２３４５６７" : FrameNumber("BS", i));  // 16 bytes when full
    w.Int("ID", 1 + r.Below(std::max(customers, 1)));
    w.Text("MAKER", r.Below(2) ? "ブリヂストン" : "パナソニック");
    w.Text("COLOR", r.Pick(kColors));
    w.Date("TOUROKU_DATE", SomeDate(r, 2000, 8));
  }
  w.Finish();
}

void WriteOlderGRider(const std::string& folder) {
  TableWriter w(folder, "G_RIDER.DB");
  w.Field("G_NO", ftString, 10);
  w.Field("SYARYOU_NO", ftString, 20);
  w.Field("SYATAI_NO", ftString, 20);
  w.Field("HAIKIRYO", ftSmallint);
  w.Field("COLOR", ftString, 10);
  w.Field("NINTEI_NO", ftString, 16);
  w.Field("SIYOU_ID", ftInteger);
  w.Field("SYOYU_ID", ftInteger);
  w.Field("TANTOU_ID", ftSmallint);
  w.Field("KANYU_DATE", ftDate);
  w.Field("SINKOSYA", ftString, 4);
  w.Field("SHAMEI", ftString, 20);
  w.Field("KEISIKI", ftString, 20);
  w.Key("G_NO");
  w.Create();
  for (int i = 1; i <= 3; ++i) {
    w.table.Append();
    w.Text("G_NO", "G" + std::to_string(2000 + i));
    w.Text("SYATAI_NO", FrameNumber("AF", i));
    w.Int("HAIKIRYO", 50);
    w.Text("SHAMEI", kModels[static_cast<std::size_t>(i)]);
  }
  w.Finish();
}

// One of the six new tables, as the new program would have created it, with one record.
void WriteNewTable(const std::string& folder, const std::string& name) {
  TableWriter w(folder, name);
  const std::string upper = [&] {
    std::string u = name;
    std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return u;
  }();
  if (upper == "TANTOU.DB") {
    w.Field("TANTOU_ID", ftSmallint);
    w.Field("NAME", ftString, 16);
    w.Field("KANA", ftString, 16);
    w.Key("TANTOU_ID");
    w.Create();
    w.table.Append();
    w.Int("TANTOU_ID", 1);
    w.Text("NAME", "鈴木 一郎");
  } else {
    // The others are keyed on a frame or registration number; one text field is enough to
    // recognise them by.
    const char* key = upper == "BICYCLE_SEIBI.DB" ? "TOUROKU_NO" : upper == "G_RIDER.DB" ? "G_NO" : "SYATAI_NO";
    w.Field(key, ftString, 20);
    w.Field("M_MEMO", ftString, 120);
    w.Key(key);
    w.Create();
    w.table.Append();
    w.Text(key, "KEEP-1");
    w.Text("M_MEMO", "既存のテーブル");
  }
  w.Finish();
}

void WriteFolder(const std::string& folder, const SampleOptions& o, int customers, std::uint32_t seed, bool live) {
  fs::create_directories(text::PathFromUtf8(folder));
  Random r(seed);
  auto wanted = [&](std::string_view table) { return live || o.demoMissing != table; };
  if (wanted("kokyaku.db")) WriteCustomers(folder, o, customers, r);
  if (wanted("tovo.db")) WriteTovo(folder, o, std::max(customers / 2, o.Duplicates("tovo.db") ? 3 : 0), customers, r);
  if (wanted("bigtovo.db"))
    WriteBigTovo(folder, o, std::max(customers / 4, o.Duplicates("bigtovo.db") ? 3 : 0), customers, r);
  if (wanted("bicycle.db")) WriteBicycles(folder, customers / 4, customers, r);
  if (o.olderGRider) WriteOlderGRider(folder);
  for (const std::string& t : o.presentTables) WriteNewTable(folder, t);
  if (live && o.tovoNote) {
    std::ofstream note(text::PathFromUtf8(folder) / "TOVO.TXT", std::ios::binary);
    note << "Notes kept beside the tovo table.\r\n";
  }
}

void SplitList(const std::string& list, std::vector<std::string>& out) {
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) out.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace

void WriteSampleInstallation(const SampleOptions& o) {
  WriteFolder(o.liveFolder, o, o.customers, o.seed, true);
  WriteFolder(o.demoFolder, o, o.demoCustomers, o.seed + 1, false);
}

const char* const kSampleUsage =
    "usage: mksample --live DIR --demo DIR [--customers N] [--demo-customers N] [--seed N]\n"
    "                [--no-mail-address] [--no-sinkosya] [--tovo-without SINKOSYA|SYASYUBETU]\n"
    "                [--present TABLE[,TABLE...]] [--older-grider] [--duplicate-keys TABLE[,TABLE...]]\n"
    "                [--demo-missing TABLE] [--tovo-note]\n";

bool ParseSampleArguments(const std::vector<std::string>& args, SampleOptions& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    auto number = [&](int& out) {
      const std::string* v = value();
      if (!v) return false;
      try {
        out = std::stoi(*v);
      } catch (const std::exception&) {
        error = a + ": not a number: " + *v;
        return false;
      }
      if (out < 0) {
        error = a + ": must not be negative";
        return false;
      }
      return true;
    };
    int n = 0;
    if (a == "--live" || a == "--demo" || a == "--tovo-without" || a == "--demo-missing" || a == "--present" ||
        a == "--duplicate-keys") {
      const std::string* v = value();
      if (!v) return false;
      if (a == "--live") o.liveFolder = *v;
      else if (a == "--demo") o.demoFolder = *v;
      else if (a == "--tovo-without") o.tovoWithout = *v;
      else if (a == "--demo-missing") o.demoMissing = *v;
      else SplitList(*v, a == "--present" ? o.presentTables : o.duplicateKeys);
    } else if (a == "--customers") {
      if (!number(o.customers)) return false;
    } else if (a == "--demo-customers") {
      if (!number(o.demoCustomers)) return false;
    } else if (a == "--seed") {
      if (!number(n)) return false;
      o.seed = static_cast<std::uint32_t>(n);
    } else if (a == "--no-mail-address") {
      o.mailAddress = false;
    } else if (a == "--no-sinkosya") {
      o.bigTovoSinkosya = false;
    } else if (a == "--older-grider") {
      o.olderGRider = true;
    } else if (a == "--tovo-note") {
      o.tovoNote = true;
    } else {
      error = "unknown option: " + a;
      return false;
    }
  }
  if (o.liveFolder.empty() || o.demoFolder.empty()) {
    error = "--live and --demo are required";
    return false;
  }
  return true;
}

}  // namespace sample
