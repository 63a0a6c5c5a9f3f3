#pragma once
// Restructuring a table: its fields are given new definitions and the table is written anew
// with every record carried over, its primary index and every secondary index rebuilt.
//
// Safety: the new table is written beside the old one under a temporary name (NAME~RT.*) in
// the same folder, flushed to the disk, and only then put in the old one's place. The
// replacement is a sequence of renames recorded first in a journal (NAME~RS.JNL, not a family
// member):
//   1. every old member NAME.ext -> NAME~RO.ext, the data file first;
//   2. every new member NAME~RT.ext -> NAME.ext, the data file last;
//   3. the NAME~RO.* files and the journal are removed.
// The data file moving in step 2 is the point of no return: before it, NAME~RT.DB exists and
// recovery puts the old family back (the new members already moved are moved back first);
// after it, the new family is whole under NAME and recovery only removes what step 3 left. A
// failure reported while restructuring runs the same recovery at once, so the old table comes
// back byte for byte; after a crash, SettleRestructure (called by every restructure, and by the
// migration before it reads a table) finishes the job. Nothing of the old table is written to.
// Before the journal is written the new table's record count is compared with the old one's; a
// difference fails the restructure there (kRecordCountDiffers), the old table untouched.
// A lock file (NAME~RS.LCK, held open exclusively) covers the whole restructure: a second
// restructure of the table is refused as busy, and so is settling while one runs.
//
// Field changes the data cannot take are refused before anything is written (EDBEngineError
// kInvalidParameter): another type, an alpha or bytes field narrower than a stored value, a
// memo leader outside 1..240, a name that another field has, a record too long for a block.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/Record.h"
#include "paradox/Settled.h"
#include "paradox/TableSchema.h"

namespace paradox {

// Test points of a restructure, in the order they are passed.
enum class RestructureStep {
  kNewTableCreated,
  kRecordsCopied,
  kIndexesBuilt,
  kNewTableFlushed,
  kJournalWritten,
  kOldMemberMoved,   // once per old member
  kNewMemberMoved,   // once per new member; the last is the data file
  kCommitted,
};

// Called at each step; a throw there is a failure at that point.
using RestructureProbe = std::function<void(RestructureStep step, std::string_view file)>;

// Gives the fields of the table at `dataFile` the definitions `fields` (same count and order;
// an unchanged field keeps its definition). The table must not be open.
void RestructureTable(const std::filesystem::path& dataFile, const std::vector<FieldDef>& fields,
                      const RestructureProbe& probe = {});

// Completes or undoes a restructure of `tableName` in `dir` that was interrupted. kNothing only
// when none is pending; work files of one that never wrote its journal are removed (kUndone).
// A restructure that is running (its lock is held) is EDBEngineError kFileLocked; any other
// failure to settle raises too.
Settled SettleRestructure(const std::filesystem::path& dir, std::string_view tableName);

// Whether a restructure journal of `base` (any letter case) is pending in `dir`. Only reads.
bool RestructurePendingFor(const std::filesystem::path& dir, std::string_view base);

// Carries a field value over to a new definition; false when it cannot take the value.
bool ConvertField(const Record& from, std::size_t fromField, Record& to, std::size_t toField);
// ConvertField for every field of a record, field i into field i, with what can be decided once
// per table decided once: a field that keeps its type and does not narrow is copied as bytes.
// The result is the same as ConvertField's for each field (values the new definition cannot
// take are refused before a restructure copies, so no field is left unconverted).
class RecordConverter {
 public:
  RecordConverter(const TableSchema& from, const TableSchema& to);
  void Convert(const Record& from, Record& to);

 private:
  enum class Copy { kBytes, kAlpha, kByField };  // kBytes: copied, the rest of the new field zero
  struct Step {
    Copy copy;
    std::size_t field, fromOffset, fromSize, toOffset, toSize;
  };
  std::vector<Step> steps_;
  std::string bytes_;  // the new record's bytes being made
};

// True when ConvertField takes every value of field `from` into field `to` (same type, and no
// narrower where a value's length can matter): a restructure then need not look at the values
// before it begins.
bool TakesEveryValue(const FieldDef& from, const FieldDef& to);

}  // namespace paradox
