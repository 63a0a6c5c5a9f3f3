#pragma once
// What the migration does, as data: the widening rows, the three rebuilt tables (their new
// fields, indexes and copy rules) and the six tables created when missing. The driver
// (MigrateTables.cpp) and the passes read only these tables.

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/DbTypes.h"

namespace migration {

// One field of a table the migration creates. `size` counts bytes (ftString) or the memo
// leader (ftMemo); other types have 0.
struct FieldLayout {
  std::string_view name;
  TFieldType type;
  int size;
  bool required;
};

// One index; an empty name is the primary index. `fields` is the engine's field list, blanks
// around the names included as the definitions have them.
struct IndexLayout {
  std::string_view name;
  std::string_view fields;
  TIndexOptions options;
};

// How a new field is filled from the source field of the same name.
enum class CopyKind {
  kText,      // read and stored as text; a date field to a date field keeps its value
  kInteger,   // read and stored as integer; empty gives 0
  kDate,      // read and stored as a date; empty stays empty
  kZeroDate,  // as kDate, and the date value 0 (1899/12/30) becomes empty too
};

struct CopyRule {
  std::string_view field;
  CopyKind kind;
  bool onlyWhenSourceHasIt;  // otherwise a source without the field is an error (EDatabaseError)
};

enum class CopyLoop { kOnlyWithRecords, kAlways };

// Which failure line a rebuild shows before the engine's text.
enum class RebuildFailure { kTovo, kKokyaku, kBigTovo };

struct RebuildPlan {
  std::string_view source;         // the old table, "tovo.db"
  std::string_view newTable;       // built beside it, "NewTovo"
  std::string_view backupPattern;  // files of the live folder copied to the backup, "TOVO.DB"
  std::string_view finalName;      // the new table's name once the old one is gone, "TOVO"
  RebuildFailure failure;
  CopyLoop loop;
  std::span<const FieldLayout> fields;
  std::span<const IndexLayout> indexes;
  std::span<const CopyRule> rules;
};

// One field widened in place. The name is 32 bytes, zero-padded, as TFieldChange takes it.
struct WideningRow {
  std::string_view table;
  char field[32];
  std::uint16_t newLength;
};

struct CreatedTable {
  std::string_view name;
  std::span<const FieldLayout> fields;
  std::span<const IndexLayout> indexes;
};

// In the order they run; each for the live folder, then the demo folder.
std::span<const WideningRow> WideningRows();
std::span<const RebuildPlan> Rebuilds();
std::span<const CreatedTable> CreatedTables();

// The engine's field type of a character field, and its subtype, as a widening row sets them.
constexpr std::uint16_t kCharacterFieldType = 1;
constexpr std::uint16_t kNoSubtype = 0;

// Progress: the bar's maximum and the steps (their sum is larger; the bar stops when full).
constexpr int kProgressMax = 10;
constexpr int kProgressAfterWidening = 2;
constexpr int kProgressAfterCreate = 1;
constexpr int kProgressAfterRebuild = 3;

// The alias names whose paths hold the tables.
constexpr std::string_view kLiveAlias = "Tovo";
constexpr std::string_view kDemoAlias = "TovoDemo";
// The live folder's backup, below the live path.
constexpr std::string_view kBackupFolderName = "TempData";

}  // namespace migration
