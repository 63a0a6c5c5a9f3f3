#include "SampleInstallation.h"

#include "SetupProcess.h"

#include <stdexcept>
#include <vector>

#include "os/WinHandles.h"
#include "paradox/EngineConfig.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"
#include "tools/sample/SampleInstallation.h"

namespace e2e {
namespace {

constexpr wchar_t kTovoKey[] = L"Software\\Tovo";
constexpr wchar_t kConfigurationKey[] = L"Software\\Tovo\\Configuration";
constexpr wchar_t kInPath[] = L"InPath";
constexpr wchar_t kEngineKey[] = L"SOFTWARE\\Borland\\Database Engine";
constexpr wchar_t kEngineValue[] = L"CONFIGFILE01";

// The engine is a 32-bit program and keeps its key in the 32-bit view of the registry, which
// a 64-bit build of the tests must name; for the user's own keys the view makes no difference.
constexpr REGSAM kEngineView = KEY_WOW64_32KEY;

std::optional<std::wstring> ReadString(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = 0) {
  win32::UniqueKey k;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, k.Receive()) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buf[1024];
  DWORD size = sizeof buf, type = 0;
  const LSTATUS got = RegGetValueW(k.Get(), nullptr, name, RRF_RT_REG_SZ, &type, buf, &size);
  if (got != ERROR_SUCCESS) return std::nullopt;
  return std::wstring(buf);
}

void WriteString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value, REGSAM view = 0) {
  win32::UniqueKey k;
  if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, k.Receive(), nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create a registry key");
  RegSetValueExW(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Not fs::copy: the MinGW library compares the (always zero) inode numbers that _wstat gives
// and so takes any two folders on one drive for the same one ("File exists").
void CopyTree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.is_directory()) CopyTree(entry.path(), to / entry.path().filename());
    else fs::copy_file(entry.path(), to / entry.path().filename());
  }
}

fs::path BuiltLibrary() { return testing_support::BinaryDir() / "unlha32" / "UNLHA32.dll"; }

}  // namespace

fs::path SystemLibraryPath() {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("no system directory");
  return fs::path(std::wstring(folder, n)) / "UNLHA32.DLL";
}

void SetSystemLibrary(bool present) {
  const fs::path installed = SystemLibraryPath();
  if (present ? !CopyFileW(BuiltLibrary().wstring().c_str(), installed.wstring().c_str(), FALSE)
              : !DeleteFileW(installed.wstring().c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    throw std::runtime_error("cannot " + std::string(present ? "install " : "remove ") + installed.string() +
                             ": error " + std::to_string(GetLastError()));
}

void PlantSystemLibrary() {
  const fs::path planted = testing_support::BinaryDir() / "tests" / "app" / "planted" / "UNLHA32.DLL";
  if (!CopyFileW(planted.wstring().c_str(), SystemLibraryPath().wstring().c_str(), FALSE))
    throw std::runtime_error("cannot plant " + SystemLibraryPath().string() + ": error " + std::to_string(GetLastError()));
}

const fs::path& TemplateTables(const std::string& duplicateKeysIn) {
  static std::map<std::string, fs::path> made;
  auto it = made.find(duplicateKeysIn);
  if (it != made.end()) return it->second;
  fs::path d = testing_support::FreshTempDir("e2e-template-tables" + (duplicateKeysIn.empty() ? "" : "-" + duplicateKeysIn));
  sample::SampleOptions options;
  options.liveFolder = text::PathToUtf8(d / "live");
  options.demoFolder = text::PathToUtf8(d / "demo");
  options.customers = 40;
  options.demoCustomers = 10;
  if (!duplicateKeysIn.empty()) options.duplicateKeys = {duplicateKeysIn};
  sample::WriteSampleInstallation(options);
  return made.emplace(duplicateKeysIn, d).first->second;
}

SampleInstallation::SampleInstallation(const std::string& name, const SampleOptions& options)
    : root_(testing_support::FreshTempDir("e2e-" + name)) {
  fs::create_directories(root_ / "setup");
  fs::copy_file(SetupExePath(), SetupExe());
  SetSystemLibrary(options.withUnlha);
  const fs::path beside = root_ / "setup" / "UNLHA32.DLL";
  switch (options.besideSetup) {
    case BesideSetup::kNothing: break;
    case BesideSetup::kPlanted:
      fs::copy_file(testing_support::BinaryDir() / "tests" / "app" / "planted" / "UNLHA32.DLL", beside);
      break;
    case BesideSetup::kDamaged:
      testing_support::WriteFileBytes(beside, "MZ" + std::string(4096, '\x5A'));
      break;
    case BesideSetup::kLibrary: fs::copy_file(BuiltLibrary(), beside); break;
  }
  SetEnvironmentVariableW(L"NORVEX_PLANTED_MARKER", MarkerFile().wstring().c_str());
  fs::create_directories(Installed());
  if (!options.tovoExe.empty()) fs::copy_file(options.tovoExe, Installed() / "Tovo.EXE");
  CopyTree(TemplateTables(options.duplicateKeysIn), root_ / "data");

  paradox::EngineConfig config;
  config.SetStandardAlias("Tovo", text::PathToUtf8(Live()));
  if (options.demoAlias) config.SetStandardAlias("TovoDemo", text::PathToUtf8(Demo()));
  config.Save(ConfigFile());
  RegistryState::RegisterEngineConfig(ConfigFile());
}

std::map<std::string, std::string> SampleInstallation::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root_))
    if (entry.is_regular_file())
      files[text::PathToUtf8(fs::relative(entry.path(), root_))] = testing_support::ReadFileBytes(entry.path());
  return files;
}

fs::path CurrentTovoExe() { return testing_support::BinaryDir() / "standin" / "bin" / "Tovo.EXE"; }
fs::path OldTovoExe() { return testing_support::BinaryDir() / "standin" / "old" / "Tovo.EXE"; }
fs::path TovoExeOfVersion(const std::string& version) {
  return testing_support::BinaryDir() / "tests" / "e2e" / ("tovo-" + version) / "Tovo.EXE";
}

RegistryState::RegistryState()
    : inPath_(ReadString(HKEY_CURRENT_USER, kConfigurationKey, kInPath)),
      engineConfig_(ReadString(HKEY_LOCAL_MACHINE, kEngineKey, kEngineValue, kEngineView)) {}

RegistryState::~RegistryState() {
  if (inPath_) WriteString(HKEY_CURRENT_USER, kConfigurationKey, kInPath, *inPath_);
  else SetInPath(std::nullopt);
  if (engineConfig_) {
    WriteString(HKEY_LOCAL_MACHINE, kEngineKey, kEngineValue, *engineConfig_, kEngineView);
  } else {
    win32::UniqueKey k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_SET_VALUE | kEngineView, k.Receive()) == ERROR_SUCCESS) {
      RegDeleteValueW(k.Get(), kEngineValue);
    }
  }
}

void RegistryState::SetInPath(const std::optional<std::string>& folder) {
  if (folder) {
    WriteString(HKEY_CURRENT_USER, kConfigurationKey, kInPath, text::Widen(*folder));
    return;
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kTovoKey);
}

void RegistryState::SetInPathDword(DWORD value) {
  win32::UniqueKey k;
  RegCreateKeyExW(HKEY_CURRENT_USER, kConfigurationKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Receive(), nullptr);
  RegSetValueExW(k.Get(), kInPath, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool RegistryState::TovoKeyExists() {
  win32::UniqueKey k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kTovoKey, 0, KEY_READ, k.Receive()) != ERROR_SUCCESS) return false;
  return true;
}

void RegistryState::RegisterEngineConfig(const fs::path& file) {
  WriteString(HKEY_LOCAL_MACHINE, kEngineKey, kEngineValue, file.wstring(), kEngineView);
}

}  // namespace e2e
