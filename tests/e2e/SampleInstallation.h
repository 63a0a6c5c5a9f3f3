#pragma once
// A sample installation of the older version, laid out afresh for each test from one template
// that the test program makes once:
//   <root>\setup   SETUP.EXE as the user starts it, with a file named UNLHA32.DLL beside it
//                  (optional), which must never be loaded
//   <root>\Tovo    the installed folder: Tovo.EXE of the chosen version
//   <root>\data\live, <root>\data\demo   the folders of the aliases Tovo and TovoDemo
//   <root>\IDAPI.CFG   the engine configuration naming both aliases, registered for the engine
// The registry values the update run reads ("InPath") and the engine's configuration value are
// saved by RegistryState and put back when it goes.

#include <windows.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace e2e {

namespace fs = std::filesystem;

// Tables of the older structure for both alias folders (written by the sample maker), made once
// per test program and variant: "" for a sound installation, or the name of a rebuilt table
// that holds two records with one new key, on which the migration stops.
const fs::path& TemplateTables(const std::string& duplicateKeysIn = "");

// What lies beside SETUP.EXE under the name UNLHA32.DLL.
enum class BesideSetup {
  kNothing,
  kPlanted,  // a library with the three entries whose loading leaves a mark (MarkerFile)
  kDamaged,  // bytes that are no library
  kLibrary,  // the real UNLHA32.DLL
};

struct SampleOptions {
  fs::path tovoExe;          // copied as <installed>\Tovo.EXE; empty: no Tovo.EXE at all
  bool withUnlha = true;     // UNLHA32.DLL in the system folder (see SetSystemLibrary)
  bool demoAlias = true;     // the configuration names TovoDemo
  std::string duplicateKeysIn;  // see TemplateTables
  BesideSetup besideSetup = BesideSetup::kNothing;
};

class SampleInstallation {
 public:
  SampleInstallation(const std::string& name, const SampleOptions& options);

  const fs::path& Root() const { return root_; }
  fs::path SetupExe() const { return root_ / "setup" / "SETUP.EXE"; }
  fs::path Installed() const { return root_ / "Tovo"; }
  fs::path Live() const { return root_ / "data" / "live"; }
  fs::path Demo() const { return root_ / "data" / "demo"; }
  fs::path ConfigFile() const { return root_ / "IDAPI.CFG"; }

  // Where the planted library notes each load of itself (it reads the name from the
  // environment variable NORVEX_PLANTED_MARKER, which the constructor sets for SETUP.EXE).
  fs::path MarkerFile() const { return root_ / "planted-loads.txt"; }

  // Every file under the root with its bytes, by path relative to the root.
  std::map<std::string, std::string> Snapshot() const;

 private:
  fs::path root_;
};

// UNLHA32.DLL in the system folder of the prefix, where the update run loads it from.
fs::path SystemLibraryPath();
// Puts the build's UNLHA32.DLL there, or removes it.
void SetSystemLibrary(bool present);
// Puts the planted library there instead: it reports success for every call and writes nothing.
void PlantSystemLibrary();

// The payload's Tovo.EXE (1.9.4.36) and the older one (1.9.2.22) this build made.
fs::path CurrentTovoExe();
fs::path OldTovoExe();
// A stand-in Tovo.EXE with another version, made by the test build ("1_10_0_0", ...).
fs::path TovoExeOfVersion(const std::string& version);

// "InPath" and the engine's configuration value while a test program runs.
class RegistryState {
 public:
  RegistryState();
  ~RegistryState();
  RegistryState(const RegistryState&) = delete;
  RegistryState& operator=(const RegistryState&) = delete;

  // std::nullopt removes the value, the subkey and the key \Software\Tovo.
  static void SetInPath(const std::optional<std::string>& folder);
  static void SetInPathDword(DWORD value);
  static bool TovoKeyExists();
  static void RegisterEngineConfig(const fs::path& file);

 private:
  std::optional<std::wstring> inPath_;
  std::optional<std::wstring> engineConfig_;
};

}  // namespace e2e
