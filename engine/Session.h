#pragma once
// The session: what the table layer knows of the engine's configuration, above all the aliases.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "paradox/EngineConfig.h"

class TSession {
 public:
  // The configuration file; empty (the default) means the one the engine itself would use
  // (paradox::LocateEngineConfigFile). Setting it drops what was read before.
  void SetConfigFile(std::filesystem::path file);
  const std::filesystem::path& ConfigFile() const { return configFile_; }

  // The alias's parameters as "NAME=VALUE" lines (UTF-8), PATH first for a standard alias;
  // `list` is replaced. An alias that is not configured: EDBEngineError kUnknownAlias. A missing
  // or damaged configuration file: the engine error of reading it.
  void GetAliasParams(const std::string& alias, std::vector<std::string>& list);
  // Names of the configured aliases.
  std::vector<std::string> GetAliasNames();

  // The LANGDRIVER of the Paradox driver for new tables, or std::nullopt when the configuration
  // has none or cannot be read.
  std::optional<std::string> ParadoxLangDriver();
  // The block size in KiB the Paradox driver gives new tables (1, 2, 4, 8, 16 or 32), or
  // std::nullopt when the configuration has none, another value, or cannot be read.
  std::optional<unsigned> ParadoxBlockSizeKiB();

  // Reads the configuration again on next use.
  void Reload() { config_.reset(); }

 private:
  const paradox::EngineConfig& Config();

  std::filesystem::path configFile_;
  std::optional<paradox::EngineConfig> config_;
};

// The program's one session.
TSession& Session();

// Sets `path` to "False", then to the value of the alias's first parameter line (everything
// after its first "="; a line without one is taken whole), untrimmed. An unknown alias
// (EDBEngineError) or an alias without parameters (std::out_of_range) leaves "False" and the
// error passes on. UTF-8.
void GetAliasPath(const std::string& alias, std::string& path);
