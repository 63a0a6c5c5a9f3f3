// Appending customer records through the table layer, and widening a field of a full table.
//
// The customer table has the shape the migration builds ("NewKokyaku": 18 fields, 454-byte
// records): a primary index on ID and two case-insensitive secondary indexes (KANA, NAME).
// Keys come in random order. Each figure covers opening the table, the appends and Close (which
// writes the data blocks, the indexes and the header, each flushed to the disk). Counters:
// `bytes` is what the table family holds afterwards (scripts/bench times writing as many bytes
// with dd, the I/O floor); `peak_rss_mib` is the process's peak resident memory so far (run one
// size per process to read it for that size alone).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/RestructureField.h"
#include "engine/Table.h"
#include "paradox/EngineError.h"
#include "paradox/TableFamily.h"

namespace fs = std::filesystem;

namespace {

fs::path BenchDir(const std::string& name) {
  const char* base = std::getenv("NORVEX_BENCH_DIR");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / ("norvex-bench-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void DefineCustomers(TTable& t) {
  t.FieldDefs().Clear();
  auto& f = t.FieldDefs();
  f.Add("ID", ftInteger, 0, true);
  f.Add("NAME", ftString, 32);
  f.Add("KANA", ftString, 32);
  f.Add("BIRTHDAY", ftDate);
  f.Add("POST_CODE", ftString, 8);
  f.Add("ADDRESS1", ftString, 60);
  f.Add("ADDRESS2", ftString, 40);
  f.Add("TEL", ftString, 12);
  f.Add("FAX", ftString, 12);
  f.Add("CARRY_TEL", ftString, 14);
  f.Add("MAIL_ADDRESS", ftString, 50);
  f.Add("COMPANY", ftString, 30);
  f.Add("COMP_POST_CODE", ftString, 8);
  f.Add("COMPANY_ADDRESS", ftString, 50);
  f.Add("COMPANY_TEL", ftString, 12);
  f.Add("RGIST_DATE", ftDate);
  f.Add("MEMO", ftMemo, 60);
  f.Add("SYOKUGYOU", ftString, 12);
  t.IndexDefs().Clear();
  t.IndexDefs().Add("", "ID", ixPrimary | ixUnique);
  t.IndexDefs().Add("IXKana", "KANA", TIndexOptions(ixCaseInsensitive));
  t.IndexDefs().Add("IXName", "NAME", TIndexOptions(ixCaseInsensitive));
}

std::vector<std::int32_t> RandomIds(std::size_t n) {
  std::vector<std::int32_t> ids(n);
  std::iota(ids.begin(), ids.end(), 1);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(20261208));
  return ids;
}

// `ids` with one in every 2,000 (0.05 %) replaced by an id that comes earlier in the list (and
// is itself no replacement, so that it is stored).
constexpr std::size_t kRepeatEvery = 2000;
std::vector<std::int32_t> WithDuplicates(std::vector<std::int32_t> ids) {
  for (std::size_t i = kRepeatEvery / 2; i < ids.size(); i += kRepeatEvery) ids[i] = ids[i / 2];
  return ids;
}

// Creates the table in `dir` and appends `ids` through the table layer, then closes it. A record
// the table refuses for its key is cancelled and the load goes on, as an import does; returns
// how many were refused.
std::size_t AppendCustomers(const fs::path& dir, const std::vector<std::int32_t>& ids) {
  TTable t;
  t.SetDatabaseName(dir.string());
  t.SetTableName("NewKokyaku");
  t.SetTableType(ttParadox);
  t.SetExclusive(true);
  t.Open();
  TField& id = t.FieldByName("ID");
  TField& name = t.FieldByName("NAME");
  TField& kana = t.FieldByName("KANA");
  TField& birthday = t.FieldByName("BIRTHDAY");
  TField& address = t.FieldByName("ADDRESS1");
  TField& tel = t.FieldByName("TEL");
  TField& mail = t.FieldByName("MAIL_ADDRESS");
  std::size_t refused = 0;
  for (std::int32_t v : ids) {
    t.Append();
    const std::string s = std::to_string(v);
    id.SetAsInteger(v);
    name.SetAsString((v % 3 ? "Suzuki " : "suzuki ") + s);
    kana.SetAsString("SUZUKI " + std::to_string(v % 977));
    birthday.SetAsDateTime(20000 + v % 15000);
    address.SetAsString("Hamamatsu-shi Naka-ku " + s + "-chome");
    tel.SetAsString("053-" + s);
    mail.SetAsString("customer" + s + "@example.jp");
    try {
      t.Post();
    } catch (const EDBEngineError& e) {
      if (e.Code() != EngineErrorCode::kKeyViolation) throw;
      t.Cancel();
      ++refused;
    }
  }
  t.Close();
  return refused;
}

void CreateCustomers(const fs::path& dir, std::size_t expected) {
  TTable t;
  t.SetDatabaseName(dir.string());
  t.SetTableName("NewKokyaku");
  t.SetTableType(ttParadox);
  DefineCustomers(t);
  t.SetExpectedRecordCount(static_cast<std::uint32_t>(expected));
  t.CreateTable();
}

std::uint64_t FamilyBytes(const fs::path& dir) {
  std::uint64_t total = 0;
  for (const auto& e : fs::directory_iterator(dir)) total += fs::file_size(e.path());
  return total;
}

double PeakRssMiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_Append(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<std::int32_t> ids = RandomIds(n);
  fs::path dir;
  for (auto _ : state) {
    state.PauseTiming();
    dir = BenchDir("append-" + std::to_string(n));
    CreateCustomers(dir, n);
    state.ResumeTiming();
    AppendCustomers(dir, ids);
  }
  state.counters["bytes"] = static_cast<double>(FamilyBytes(dir));
  state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_rss_mib"] = PeakRssMiB();
  // NORVEX_BENCH_KEEP leaves the last table for checking (pdx check, pdx reindex, pxlib).
  if (!std::getenv("NORVEX_BENCH_KEEP")) fs::remove_all(dir);
}

// The same load with 0.05 % of its keys repeated: each repeat is refused, the rest stored.
void BM_AppendDuplicates(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<std::int32_t> ids = WithDuplicates(RandomIds(n));
  const std::size_t repeats = (n + kRepeatEvery / 2 - 1) / kRepeatEvery;
  fs::path dir;
  for (auto _ : state) {
    state.PauseTiming();
    dir = BenchDir("append-duplicates-" + std::to_string(n));
    CreateCustomers(dir, n);
    state.ResumeTiming();
    if (AppendCustomers(dir, ids) != repeats) state.SkipWithError("not every repeated key was refused");
  }
  state.counters["bytes"] = static_cast<double>(FamilyBytes(dir));
  state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_rss_mib"] = PeakRssMiB();
  if (!std::getenv("NORVEX_BENCH_KEEP")) fs::remove_all(dir);
}

void BM_Restructure(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const fs::path dir = BenchDir("restructure-" + std::to_string(n));
  CreateCustomers(dir, n);
  AppendCustomers(dir, RandomIds(n));
  int width = 40;
  for (auto _ : state) {
    // Each round widens ADDRESS2 a little further: every round rewrites the whole table.
    TTable t;
    t.SetDatabaseName(dir.string());
    t.SetTableName("NewKokyaku");
    t.SetTableType(ttParadox);
    t.SetExclusive(true);
    t.Open();
    TFieldChange change{};
    std::snprintf(change.name, sizeof change.name, "%s", "ADDRESS2");
    change.type = 1;
    change.length = static_cast<std::uint16_t>(++width);
    RestructureField(t, t.FieldByName("ADDRESS2"), change);
  }
  state.counters["bytes"] = static_cast<double>(FamilyBytes(dir));
  state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_rss_mib"] = PeakRssMiB();
  if (!std::getenv("NORVEX_BENCH_KEEP")) fs::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_Append)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_AppendDuplicates)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Restructure)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
