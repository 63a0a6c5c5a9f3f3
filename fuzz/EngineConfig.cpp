// libFuzzer target: the engine configuration file (IDAPI32.CFG), which the program reads from
// wherever the engine's registry entry points. The input is the file. Parsing either refuses
// the bytes with an engine error or gives a tree that serializes back to exactly those bytes
// and answers every alias question.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "paradox/EngineConfig.h"
#include "paradox/EngineError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  paradox::EngineConfig config;
  try {
    config = paradox::EngineConfig::Parse(bytes, "IDAPI32.CFG");
  } catch (const EDatabaseError&) {
    return 0;
  }
  if (config.Serialize() != bytes) std::abort();
  for (const std::string& alias : config.AliasNames()) (void)config.AliasParams(alias);
  (void)config.ParadoxLangDriver();
  (void)config.ParadoxBlockSize();
  (void)config.FindSectionPath("DRIVERS\\PARADOX\\INIT");
  // What the update does to a configuration it has read.
  config.SetStandardAlias("Tovo", "C:\\Program Files\\Tovo\\Data");
  const std::string updated = config.Serialize();
  const paradox::EngineConfig reread = paradox::EngineConfig::Parse(updated, "IDAPI32.CFG");
  if (reread.Serialize() != updated) std::abort();
  return 0;
}
