#include "engine/Session.h"

#include <stdexcept>

#include "paradox/EngineError.h"
#include "text/CodePage.h"

namespace {

// The configuration is written in the machine's ANSI code page; this product's is 932.
std::string ConfigTextToUtf8(const std::string& bytes) { return text::ToUtf8(bytes, text::kShiftJis); }

}  // namespace

void TSession::SetConfigFile(std::filesystem::path file) {
  configFile_ = std::move(file);
  config_.reset();
}

const paradox::EngineConfig& TSession::Config() {
  if (!config_) {
    std::filesystem::path file = configFile_.empty() ? paradox::LocateEngineConfigFile() : configFile_;
    config_ = paradox::EngineConfig::Load(file);
  }
  return *config_;
}

void TSession::GetAliasParams(const std::string& alias, std::vector<std::string>& list) {
  list.clear();
  std::optional<std::string> name = text::FromUtf8(alias, text::kShiftJis);
  std::optional<std::vector<std::string>> params;
  if (name) params = Config().AliasParams(*name);
  if (!params) RaiseEngineError(EngineMessage::kUnknownAlias, alias);
  for (const std::string& line : *params) list.push_back(ConfigTextToUtf8(line));
}

std::vector<std::string> TSession::GetAliasNames() {
  std::vector<std::string> names;
  for (const std::string& n : Config().AliasNames()) names.push_back(ConfigTextToUtf8(n));
  return names;
}

std::optional<std::string> TSession::ParadoxLangDriver() {
  try {
    return Config().ParadoxLangDriver();
  } catch (const EDBEngineError&) {
    // Tables can be made without a configuration; they then get the default driver.
    return std::nullopt;
  }
}

std::optional<unsigned> TSession::ParadoxBlockSizeKiB() {
  try {
    std::optional<unsigned> bytes = Config().ParadoxBlockSize();
    if (!bytes) return std::nullopt;
    for (unsigned kib : {1u, 2u, 4u, 8u, 16u, 32u})
      if (*bytes == kib * 1024) return kib;
    return std::nullopt;
  } catch (const EDBEngineError&) {
    return std::nullopt;
  }
}

TSession& Session() {
  static TSession session;
  return session;
}

void GetAliasPath(const std::string& alias, std::string& path) {
  path = "False";
  std::vector<std::string> params;  // freed on every path by its destructor
  Session().GetAliasParams(alias, params);
  if (params.empty()) throw std::out_of_range("List index out of bounds (0)");
  const std::string& first = params.front();
  std::size_t eq = first.find('=');
  path = eq == std::string::npos ? first : first.substr(eq + 1);
}
