#pragma once
// Where tests find the project's files, the build's outputs and the real-engine samples.
// Under Wine the Linux paths are reached through drive Z:.

#include <filesystem>
#include <optional>
#include <string>

namespace testing_support {

std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();

// ../shared/fixtures beside the project, or std::nullopt when it is absent.
std::optional<std::filesystem::path> FixturesDir();

// A fresh, empty directory for one test (name in UTF-8); removed by the next call with the
// same name.
std::filesystem::path FreshTempDir(const std::string& name);

// What a shell command wrote to standard output, and pclose's status (0 when it succeeded).
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command);

std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);

}  // namespace testing_support

// Skips the current test, saying why, when the real-engine samples are not there.
#define NORVEX_REQUIRE_FIXTURES(var)                                                      \
  auto var##Opt = ::testing_support::FixturesDir();                                       \
  if (!var##Opt) GTEST_SKIP() << "../shared/fixtures is absent; real-engine samples skipped"; \
  const std::filesystem::path var = *var##Opt
