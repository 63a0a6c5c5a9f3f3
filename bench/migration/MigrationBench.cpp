// The whole table migration of a sample older installation: N customers in the live folder
// (N/2 mopeds, N/4 motorcycles, N/4 bicycles), 20 in the demo folder. Writing the sample is not
// timed. Counters: `bytes` is what the migration writes: each widening rewrites its table
// (the customer table three times, the bicycle table twice), each rebuild writes its new table,
// and the live folder's old tables are copied to the backup (scripts/bench-migration times
// writing as many bytes with dd, the I/O floor); `peak_rss_mib` is the process's peak resident
// memory so far (one size per process); `read_calls` and `write_calls` are the read-like and
// write-like system calls the migration made (the kernel's count in /proc/self/io: read, pread,
// sendfile and their kin; Linux only), `read_ops` and `write_ops` the reads and writes that
// passed the engine's fault gate (os::FileOperationCount: answered from memory or not).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Session.h"
#include "migration/MigrateTables.h"
#include "os/FaultInjection.h"
#include "paradox/TableSwap.h"
#include "tools/sample/SampleInstallation.h"

namespace fs = std::filesystem;

namespace {

class QuietUi : public migration::MigrationUi {
 public:
  void CreateProgress() override {}
  void SetProgressMax(int) override {}
  void ShowProgress() override {}
  void StepProgress(int) override {}
  void CloseProgress() override {}
  void SetBusyCursor(bool) override {}
  unsigned ShowMessage(const std::string&, migration::MessageKind, unsigned buttons) override { return buttons; }
};

std::uintmax_t FamilyBytes(const fs::path& dir, const std::string& base) {
  std::uintmax_t total = 0;
  for (const fs::path& p : paradox::FamilyFilesByBase(dir, base)) total += fs::file_size(p);
  return total;
}

// Bytes the migration writes in one folder, from the sizes before and after.
std::uintmax_t WrittenBytes(const fs::path& dir, std::uintmax_t kokyaku, std::uintmax_t bicycle, std::uintmax_t tovo,
                            std::uintmax_t bigtovo, bool live) {
  const std::uintmax_t widened = 3 * kokyaku + 2 * bicycle + tovo + bigtovo;
  const std::uintmax_t rebuilt = FamilyBytes(dir, "TOVO") + FamilyBytes(dir, "KOKYAKU") + FamilyBytes(dir, "BIGTOVO");
  const std::uintmax_t backup = live ? kokyaku + tovo + bigtovo : 0;
  return widened + rebuilt + backup;
}

// The kernel's counts of read-like and write-like system calls of this process so far.
struct SystemCalls {
  double reads = 0, writes = 0;
};
SystemCalls CountSystemCalls() {
  SystemCalls c;
  std::ifstream io("/proc/self/io");
  std::string name;
  double value = 0;
  while (io >> name >> value) {
    if (name == "syscr:") c.reads = value;
    if (name == "syscw:") c.writes = value;
  }
  return c;
}

double PeakRssMiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_Migrate(benchmark::State& state) {
  const char* base = std::getenv("NORVEX_BENCH_DIR");
  const fs::path root = fs::path(base ? base : fs::temp_directory_path().string()) / "norvex-bench-migration";
  Session().SetConfigFile(root / "NO-IDAPI32.CFG");
  double bytes = 0, readCalls = 0, writeCalls = 0, readOps = 0, writeOps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(root);
    sample::SampleOptions o;
    o.liveFolder = (root / "Data").string();
    o.demoFolder = (root / "Demo").string();
    o.customers = static_cast<int>(state.range(0));
    sample::WriteSampleInstallation(o);
    const fs::path live = o.liveFolder, demo = o.demoFolder;
    const auto lk = FamilyBytes(live, "kokyaku"), lb = FamilyBytes(live, "bicycle"), lt = FamilyBytes(live, "tovo"),
               lg = FamilyBytes(live, "bigtovo");
    const auto dk = FamilyBytes(demo, "kokyaku"), db = FamilyBytes(demo, "bicycle"), dt = FamilyBytes(demo, "tovo"),
               dg = FamilyBytes(demo, "bigtovo");
    const SystemCalls before = CountSystemCalls();
    os::ResetFileOperationCounts();
    state.ResumeTiming();

    QuietUi ui;
    if (!migration::MigrateTables(ui, migration::AliasFolders(o.liveFolder, o.demoFolder)))
      state.SkipWithError("the migration returned false");

    state.PauseTiming();
    const SystemCalls after = CountSystemCalls();
    readCalls = after.reads - before.reads;
    writeCalls = after.writes - before.writes;
    readOps = static_cast<double>(os::FileOperationCount(os::FileOperation::kRead));
    writeOps = static_cast<double>(os::FileOperationCount(os::FileOperation::kWrite));
    bytes = static_cast<double>(WrittenBytes(live, lk, lb, lt, lg, true) + WrittenBytes(demo, dk, db, dt, dg, false));
    state.ResumeTiming();
  }
  state.counters["bytes"] = bytes;
  state.counters["peak_rss_mib"] = PeakRssMiB();
  state.counters["read_calls"] = readCalls;
  state.counters["write_calls"] = writeCalls;
  state.counters["read_ops"] = readOps;
  state.counters["write_ops"] = writeOps;
  if (!std::getenv("NORVEX_BENCH_KEEP")) fs::remove_all(root);
}
BENCHMARK(BM_Migrate)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
