#pragma once
// The variable part of a .DB or .X header: what follows the fixed fields (FileHeader.h) and
// describes the fields. It starts at format::kVariablePartLong from level 5 on, at
// format::kVariablePartShort before. n is the field count (header 0x21); offsets count from the
// start of the variable part, and each piece follows the one before it.
// | Offset | Size | Meaning |
// |---|---|---|
// | 0 | 2 × n | per field: type byte, size byte |
// | 2n | 4 | table-name pointer (a value of the engine's memory) |
// | 2n + 4 | 4 × n | field-name pointers (values of the engine's memory) |
// | 6n + 4 | 261 (level 7), 79 | table name, zero padded |
// | ... | | field names, each NUL-terminated |
// | ... | 2 × n | field numbers (in a .DB 1, 2, ...; in a .X the table's) |
// | ... | | sort-order name, NUL-terminated |
// | ... | | .XGn: index name, NUL-terminated (found through header 0x68) |
// The pointers mean nothing on disk; the engine writes them as 0 and keeps those it reads, so
// that a header decoded and encoded unchanged is the same bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

namespace format {
constexpr std::size_t kVarFieldDescriptorSize = 2;  // type byte, size byte
constexpr std::size_t kVarPointerSize = 4;
constexpr std::size_t kVarFieldNumberSize = 2;
}  // namespace format

struct VariablePart {
  struct Field {
    std::uint8_t type = 0;
    std::uint8_t size = 0;          // the descriptor's size byte
    std::uint32_t namePointer = 0;  // 0 in what the engine writes
    std::string name;
    std::uint16_t number = 0;       // table field number, from 1
  };
  // Where the pieces lie, counted from the start of the variable part.
  struct Layout {
    std::size_t tableName = 0;
    std::size_t fieldNames = 0;
    std::size_t fieldNumbers = 0;
    std::size_t sortOrderName = 0;
    std::size_t indexName = 0;  // where it is or would be: after the sort-order name
    std::size_t size = 0;       // bytes in use, with the index name when there is one
  };

  std::vector<Field> fields;
  std::uint32_t tableNamePointer = 0;
  std::string tableName;  // cut to the name area less its terminating NUL by Encode
  std::string sortOrderName;
  std::optional<std::string> indexName;  // .XGn only

  // Where the variable part starts in a file of `level`.
  static std::size_t Start(std::uint8_t level);
  // The bytes of the table-name area at `level`.
  static std::size_t TableNameAreaSize(std::uint8_t level);
  // The fewest header bytes that hold the fixed header and the variable part's fixed-size pieces
  // (descriptors, pointers, table name) for `fieldCount` fields: a header shorter than this
  // cannot be one of a table with that many fields.
  static std::size_t MinimumHeaderSize(std::size_t fieldCount, std::uint8_t level);

  Layout LayoutAt(std::uint8_t level) const;
  // The variable part's bytes at `level` (Layout().size of them).
  std::string Encode(std::uint8_t level) const;
  // Reads the variable part of `fieldCount` fields from the header bytes `header` of `file`.
  // With `indexNameAt` (the absolute offset header 0x68 points to), the index name is read
  // there. A piece that runs past the bytes raises the engine's corrupt-header error naming
  // `file` and the piece's offset; the sort-order name may be missing when the bytes end with
  // the field numbers. Field types and numbers are not judged here: their meaning is the
  // caller's.
  static VariablePart Decode(std::string_view header, std::size_t fieldCount, std::uint8_t level,
                             const std::string& file, std::optional<std::size_t> indexNameAt = std::nullopt);
};

}  // namespace paradox
