#pragma once
// The two error classes of the database layers.
//   EDatabaseError  misuse of the table layer (a field that does not exist, an operation that
//                   needs a closed table on an open one, ...).
//   EDBEngineError  a failure the engine reports: a damaged or missing file, a key violation, a
//                   table locked by another program. Its message is the engine's own text; the
//                   file and the byte offset (when there is one) say where.
// As in the class library the program was designed against, an engine error is a database
// error, so a handler for EDatabaseError also sees engine errors.
//
// Engine errors are raised through RaiseEngineError only, misuse through RaiseDatabaseError; the engine's own texts, each with its
// code, are the EngineMessage table in EngineError.cpp.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Engine error codes, in the engine's own numbering where the program relies on one.
enum class EngineErrorCode : std::uint16_t {
  kGeneral = 0,
  kFileNotFound = 0x2401,     // table or family file missing
  kFileLocked = 0x2901,       // another program holds the table
  kCorruptFile = 0x2109,      // header, block chain, memo pointer or index damaged
  kKeyViolation = 0x2601,     // a record with the same primary key exists
  kInvalidParameter = 0x2702, // a definition the engine cannot build
  kReadOnly = 0x2A04,         // the table cannot be written as it is (e.g. unsupported indexes)
  kUnknownAlias = 0x2B01,     // alias not in the configuration
  kIoError = 0x2A01,          // the operating system refused a read or write
  kNotSupported = 0x2C01,
};

class EDBEngineError : public EDatabaseError {
 public:
  EDBEngineError(EngineErrorCode code, const std::string& message, std::string file = {},
                 std::optional<std::uint64_t> offset = std::nullopt)
      : EDatabaseError(Compose(message, file, offset)), code_(code), file_(std::move(file)), offset_(offset) {}

  EngineErrorCode Code() const { return code_; }
  const std::string& File() const { return file_; }
  std::optional<std::uint64_t> Offset() const { return offset_; }

 private:
  static std::string Compose(const std::string& message, const std::string& file,
                             std::optional<std::uint64_t> offset) {
    std::string s = message;
    if (!file.empty()) s += "\nTable: " + file;
    if (offset) s += " (offset " + std::to_string(*offset) + ")";
    return s;
  }

  EngineErrorCode code_;
  std::string file_;
  std::optional<std::uint64_t> offset_;
};

// The engine's messages. Each has one code and one text; a detail follows the text on a line of
// its own (after a space where the text ends in a colon).
enum class EngineMessage : std::uint8_t {
  kTableNotFound,        // Table does not exist.
  kMemoNotFound,         // Memo file not found.
  kConfigNotFound,       // Cannot open the configuration file
  kTableBusy,            // Table is busy.
  kKeyViolation,         // Key violation.
  kTableFull,            // Table is full.
  kMemoFull,             // Memo file is full.
  kIndexFull,            // Index is full.
  kCorruptHeader,        // Corrupt table/index header.
  kCorruptData,          // Corrupt file - other than header.
  kCorruptIndex,         // Corrupt index.
  kCorruptMemo,          // Corrupt memo/BLOB file.
  kCorruptConfig,        // Corrupt configuration file:
  kTableDamaged,         // Table is damaged.
  kInvalidField,         // Invalid field descriptor.
  kInvalidFieldType,     // Invalid field type.
  kInvalidParameter,     // Invalid parameter.
  kInvalidHandle,        // Invalid handle to the function.
  kTableExists,          // Table already exists.
  kRecordTooBig,         // Record size too big for table.
  kRecordExceedsBlock,   // Record does not fit a block.
  kIndexWithoutFields,   // Index has no fields.
  kIndexFieldOutOfRange, // Index field out of range.
  kIndexOnBlob,          // Cannot index a blob field:
  kIndexHeaderTooLong,   // Index header too long.
  kTwoIndexesOnField,    // Two secondary indexes on field:
  kReadOnly,             // Table is read only.
  kUnknownAlias,         // Unknown database. Alias:
  kIoError,              // I/O error.
  kCannotOpen,           // Cannot open file.
  kCannotLock,           // Cannot lock file.
  kCannotRename,         // Cannot rename file.
  kCannotDelete,         // Cannot delete file.
  kCannotReadConfig,     // Cannot read the configuration file
  kChangeUnfinished,     // A change to the table stopped halfway; it stays marked as unfinished.
  kEncrypted,            // Table is encrypted.
  kTooManyIndexes,       // Too many secondary indexes.
  kDescendingIndex,      // Descending secondary indexes are not supported.
  kIndexesBelowLevel4,   // Secondary indexes of tables below level 4.0.
  kIndexBelowLevel4,     // Secondary index of a level below 4.0.
  kNotSupported,         // Capability not supported.
  kCannotList,           // Cannot list the folder.
  kReplacementPending,   // An interrupted table replacement is pending for the table.
  kFamilyChanged,        // The table's files changed after they were listed; nothing was replaced.
  kRecordCountDiffers,   // The new table does not hold as many records as the old one.
  kGeneral,              // General error.
};

EngineErrorCode EngineMessageCode(EngineMessage message);
// The message's text with its detail, as the error shows it.
std::string EngineMessageText(EngineMessage message, const std::string& detail = {});

// The one place engine errors are raised: `file` names the file concerned, `offset` the byte.
[[noreturn]] void RaiseEngineError(EngineMessage message, const std::string& detail = {}, const std::string& file = {},
                                   std::optional<std::uint64_t> offset = std::nullopt);
// Misuse of the table layer (EDatabaseError, not an engine error: the caller's mistake, which
// handlers above tell apart from a failing engine). The one place the engine throws one.
[[noreturn]] void RaiseDatabaseError(const std::string& text);
// For the layers above the engine that report through it with texts of their own tables, and
// for result codes handed back by the engine's call interface.
[[noreturn]] void RaiseEngineError(EngineErrorCode code, const std::string& text, const std::string& file = {},
                                   std::optional<std::uint64_t> offset = std::nullopt);
