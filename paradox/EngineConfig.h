#pragma once
// The engine configuration file (IDAPI32.CFG / IDAPI.CFG): the aliases and the driver settings
// that the administrator tool of the engine writes. We read it where the engine itself looks for
// it, so an installation keeps the aliases it already has.
//
// The file has no header. It is a stream of unaligned 16-bit little-endian codes with
// NUL-terminated byte strings between them:
//
//   Offset  Size  Meaning
//   +0      2     kItemCode (03 00): an item follows
//   +2      2     kSectionKind (00 00) or kParamKind (01 00)
//   section:
//   +4      n+1   section name, NUL-terminated
//   +5+n    2     kSectionBody (01 00); then the section's items, closed by kEndCode (02 00)
//   parameter:
//   +4      n+1   parameter name, NUL-terminated
//   +5+n    2     kValueCode (04 00)
//   +7+n    m+1   value, NUL-terminated (may be empty)
//
// Top-level sections seen: SYSTEM (INIT, FORMATS), DRIVERS (<driver>\INIT, TABLE CREATE, ...),
// DATABASES (<alias>\DB INFO with TYPE, PATH, ... and for SQL aliases <alias>\DB OPEN). Names and
// values are bytes in the ANSI code page of the machine that wrote the file; this class keeps
// them as bytes. Names are matched without regard to ASCII letter case, as the engine does.
// Files nest three sections deep at most; a file nesting deeper than kMaxConfigDepth is refused
// as damaged, since the tree is walked recursively and a hostile file could exhaust the stack.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

constexpr std::uint16_t kConfigItemCode = 0x0003;
constexpr std::uint16_t kConfigSectionKind = 0x0000;
constexpr std::uint16_t kConfigParamKind = 0x0001;
constexpr std::uint16_t kConfigSectionBody = 0x0001;
constexpr std::uint16_t kConfigValueCode = 0x0004;
constexpr std::uint16_t kConfigEndCode = 0x0002;
constexpr std::size_t kMaxConfigDepth = 32;

// One item of the file: a section with its children in file order, or a parameter.
struct ConfigNode {
  std::string name;
  bool isSection = false;
  std::string value;                 // parameters only
  std::vector<ConfigNode> children;  // sections only

  // The child section or parameter of that name (ASCII case ignored); nullptr when absent.
  const ConfigNode* FindSection(std::string_view childName) const;
  const ConfigNode* FindParam(std::string_view childName) const;
  ConfigNode* FindSection(std::string_view childName);
  ConfigNode* FindParam(std::string_view childName);

  // The child section of that name, appended when absent.
  ConfigNode& Section(std::string_view childName);
  // Sets the parameter's value, appending the parameter when absent.
  void SetParam(std::string_view paramName, std::string_view paramValue);
};

class EngineConfig {
 public:
  EngineConfig() = default;

  // Parses a whole file. A damaged file raises EDBEngineError (kCorruptFile) naming `fileName`
  // and the byte offset where the stream stops making sense.
  static EngineConfig Parse(std::string_view bytes, const std::string& fileName = {});
  // Reads and parses a file; a file that cannot be read raises EDBEngineError too.
  static EngineConfig Load(const std::filesystem::path& file);

  // The file's bytes; Parse(Serialize()) gives the same tree, and a parsed file serializes to
  // its original bytes.
  std::string Serialize() const;
  void Save(const std::filesystem::path& file) const;

  // The top-level items in file order.
  const std::vector<ConfigNode>& Items() const { return root_.children; }
  ConfigNode& Root() { return root_; }
  const ConfigNode& Root() const { return root_; }

  // The node at a path of section names separated by '\' ("DRIVERS\PARADOX\INIT"), or nullptr.
  const ConfigNode* FindSectionPath(std::string_view path) const;
  ConfigNode& SectionPath(std::string_view path);  // creates what is missing

  // Names of the aliases, in file order.
  std::vector<std::string> AliasNames() const;

  // The parameters of an alias as "NAME=VALUE" lines, the way the engine hands them out: for a
  // standard alias (DB INFO TYPE STANDARD or no TYPE) PATH first, then the other DB INFO
  // parameters but TYPE; for a driver alias its DB OPEN parameters. std::nullopt when the alias
  // is not configured.
  std::optional<std::vector<std::string>> AliasParams(std::string_view alias) const;

  // Adds or replaces a standard alias for Paradox tables in `path`.
  void SetStandardAlias(std::string_view alias, std::string_view path);

  // The language driver the Paradox driver gives new tables (DRIVERS\PARADOX\INIT\LANGDRIVER);
  // std::nullopt when it is absent or empty.
  std::optional<std::string> ParadoxLangDriver() const;
  void SetParadoxLangDriver(std::string_view name);
  // The block size in bytes the Paradox driver gives new tables
  // (DRIVERS\PARADOX\TABLE CREATE\BLOCK SIZE); std::nullopt when absent or not a number.
  std::optional<unsigned> ParadoxBlockSize() const;

 private:
  ConfigNode root_{{}, true, {}, {}};
};

// Where the engine finds its configuration: on Windows the registry value CONFIGFILE01 of
// HKLM\SOFTWARE\Borland\Database Engine (32-bit view), else IDAPI.CFG in the program's folder;
// natively IDAPI.CFG in the program's folder. The path is UTF-8.
std::filesystem::path LocateEngineConfigFile();

// The registry value alone (Windows); std::nullopt natively or when it is absent or empty.
std::optional<std::filesystem::path> RegisteredEngineConfigFile();
// The program's own folder.
std::filesystem::path ProgramFolder();

}  // namespace paradox
