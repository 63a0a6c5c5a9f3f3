#pragma once
// The two error classes of the database layers.
//   EDatabaseError  misuse of the table layer (a field that does not exist, an operation that
//                   needs a closed table on an open one, ...).
//   EDBEngineError  a failure the engine reports: a damaged or missing file, a key violation, a
//                   table locked by another program. Its message is the engine's own text; the
//                   file and the byte offset (when there is one) say where.
// As in the class library the program was designed against, an engine error is a database
// error, so a handler for EDatabaseError also sees engine errors.

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
