#include "support/TestPaths.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace testing_support {
namespace {

std::filesystem::path FromBuildPath(const char* unixPath) {
#ifdef _WIN32
  std::string p = std::string("Z:") + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return std::filesystem::path(p);
#else
  return std::filesystem::path(unixPath);
#endif
}

}  // namespace

std::filesystem::path SourceDir() { return FromBuildPath(NORVEX_SOURCE_DIR); }
std::filesystem::path BinaryDir() { return FromBuildPath(NORVEX_BINARY_DIR); }

std::optional<std::filesystem::path> FixturesDir() {
  std::filesystem::path p = SourceDir().parent_path() / "shared" / "fixtures";
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return p;
  return std::nullopt;
}

std::filesystem::path FreshTempDir(const std::string& name) {
  // The name is UTF-8; a plain std::string would be read in the ANSI code page on Windows.
  std::filesystem::path p = BinaryDir() / "test-tmp" / std::filesystem::path(std::u8string(name.begin(), name.end()));
  std::error_code ec;
  std::filesystem::remove_all(p, ec);
  std::filesystem::create_directories(p);
  return p;
}

std::string ReadFileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + p.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

CommandResult RunCommand(const std::string& command) {
#ifdef _WIN32
  FILE* pipe = _popen(command.c_str(), "r");
#else
  FILE* pipe = popen(command.c_str(), "r");
#endif
  CommandResult result;
  if (!pipe) return result;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
#ifdef _WIN32
  result.status = _pclose(pipe);
#else
  result.status = pclose(pipe);
#endif
  return result;
}

}  // namespace testing_support
