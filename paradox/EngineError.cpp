#include "paradox/EngineError.h"

#include <array>
#include <string_view>

namespace {

struct MessageRow {
  EngineMessage message;
  EngineErrorCode code;
  std::string_view text;
};

using C = EngineErrorCode;
using M = EngineMessage;

constexpr std::array kMessages = {
    MessageRow{M::kTableNotFound, C::kFileNotFound, "Table does not exist."},
    MessageRow{M::kMemoNotFound, C::kFileNotFound, "Memo file not found."},
    MessageRow{M::kConfigNotFound, C::kFileNotFound, "Cannot open the configuration file"},
    MessageRow{M::kTableBusy, C::kFileLocked, "Table is busy."},
    MessageRow{M::kKeyViolation, C::kKeyViolation, "Key violation."},
    MessageRow{M::kTableFull, C::kIoError, "Table is full."},
    MessageRow{M::kMemoFull, C::kIoError, "Memo file is full."},
    MessageRow{M::kIndexFull, C::kIoError, "Index is full."},
    MessageRow{M::kCorruptHeader, C::kCorruptFile, "Corrupt table/index header."},
    MessageRow{M::kCorruptData, C::kCorruptFile, "Corrupt file - other than header."},
    MessageRow{M::kCorruptIndex, C::kCorruptFile, "Corrupt index."},
    MessageRow{M::kCorruptMemo, C::kCorruptFile, "Corrupt memo/BLOB file."},
    MessageRow{M::kCorruptConfig, C::kCorruptFile, "Corrupt configuration file:"},
    MessageRow{M::kTableDamaged, C::kCorruptFile, "Table is damaged."},
    MessageRow{M::kInvalidField, C::kInvalidParameter, "Invalid field descriptor."},
    MessageRow{M::kInvalidFieldType, C::kInvalidParameter, "Invalid field type."},
    MessageRow{M::kInvalidParameter, C::kInvalidParameter, "Invalid parameter."},
    MessageRow{M::kInvalidHandle, C::kInvalidParameter, "Invalid handle to the function."},
    MessageRow{M::kTableExists, C::kInvalidParameter, "Table already exists."},
    MessageRow{M::kRecordTooBig, C::kInvalidParameter, "Record size too big for table."},
    MessageRow{M::kRecordExceedsBlock, C::kInvalidParameter, "Record does not fit a block."},
    MessageRow{M::kIndexWithoutFields, C::kInvalidParameter, "Index has no fields."},
    MessageRow{M::kIndexFieldOutOfRange, C::kInvalidParameter, "Index field out of range."},
    MessageRow{M::kIndexOnBlob, C::kInvalidParameter, "Cannot index a blob field:"},
    MessageRow{M::kIndexHeaderTooLong, C::kInvalidParameter, "Index header too long."},
    MessageRow{M::kTwoIndexesOnField, C::kInvalidParameter, "Two secondary indexes on field:"},
    MessageRow{M::kReadOnly, C::kReadOnly, "Table is read only."},
    MessageRow{M::kUnknownAlias, C::kUnknownAlias, "Unknown database. Alias:"},
    MessageRow{M::kIoError, C::kIoError, "I/O error."},
    MessageRow{M::kCannotOpen, C::kIoError, "Cannot open file."},
    MessageRow{M::kCannotLock, C::kIoError, "Cannot lock file."},
    MessageRow{M::kCannotRename, C::kIoError, "Cannot rename file."},
    MessageRow{M::kCannotDelete, C::kIoError, "Cannot delete file."},
    MessageRow{M::kCannotReadConfig, C::kIoError, "Cannot read the configuration file"},
    MessageRow{M::kChangeUnfinished, C::kIoError, "A change to the table stopped halfway; it stays marked as unfinished."},
    MessageRow{M::kEncrypted, C::kNotSupported, "Table is encrypted."},
    MessageRow{M::kTooManyIndexes, C::kNotSupported, "Too many secondary indexes."},
    MessageRow{M::kDescendingIndex, C::kNotSupported, "Descending secondary indexes are not supported."},
    MessageRow{M::kIndexesBelowLevel4, C::kNotSupported, "Secondary indexes of tables below level 4.0."},
    MessageRow{M::kIndexBelowLevel4, C::kNotSupported, "Secondary index of a level below 4.0."},
    MessageRow{M::kNotSupported, C::kNotSupported, "Capability not supported."},
    MessageRow{M::kCannotList, C::kIoError, "Cannot list the folder."},
    MessageRow{M::kReplacementPending, C::kInvalidParameter, "An interrupted table replacement is pending for the table."},
    MessageRow{M::kFamilyChanged, C::kIoError, "The table's files changed after they were listed; nothing was replaced."},
    MessageRow{M::kRecordCountDiffers, C::kIoError, "The new table does not hold as many records as the old one."},
    MessageRow{M::kGeneral, C::kGeneral, "General error."},
};

constexpr bool RowsInEnumOrder() {
  for (std::size_t i = 0; i < kMessages.size(); ++i)
    if (static_cast<std::size_t>(kMessages[i].message) != i) return false;
  return static_cast<std::size_t>(M::kGeneral) + 1 == kMessages.size();
}
static_assert(RowsInEnumOrder(), "one row per message, in the enum's order");

const MessageRow& Row(EngineMessage message) { return kMessages[static_cast<std::size_t>(message)]; }

}  // namespace

EngineErrorCode EngineMessageCode(EngineMessage message) { return Row(message).code; }

std::string EngineMessageText(EngineMessage message, const std::string& detail) {
  std::string text(Row(message).text);
  if (!detail.empty()) text += (text.back() == ':' ? " " : "\n") + detail;
  return text;
}

void RaiseEngineError(EngineMessage message, const std::string& detail, const std::string& file,
                      std::optional<std::uint64_t> offset) {
  throw EDBEngineError(EngineMessageCode(message), EngineMessageText(message, detail), file, offset);
}

void RaiseEngineError(EngineErrorCode code, const std::string& text, const std::string& file,
                      std::optional<std::uint64_t> offset) {
  throw EDBEngineError(code, text, file, offset);
}

void RaiseDatabaseError(const std::string& text) { throw EDatabaseError(text); }
