#pragma once
// One record of a table: the record's bytes as the data file holds them, plus the whole
// value of each blob field (memo, formatted memo, binary, OLE, graphic) that is not empty.
// Typed accessors decode and encode the field codings of ParadoxFormat.h; any field can
// also be read and written raw, which is how a rewrite carries types it does not interpret.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/TableSchema.h"

namespace paradox {

class Record {
 public:
  explicit Record(std::shared_ptr<const TableSchema> schema);

  const TableSchema& Schema() const { return *schema_; }
  const std::shared_ptr<const TableSchema>& SchemaPtr() const { return schema_; }

  bool IsNull(std::size_t field) const;
  void Clear(std::size_t field);
  void ClearAll();

  // Alpha: the bytes up to the first NUL. Set cuts at the field's size in bytes (a caller that
  // must not split a double-byte character cuts first with text::CutShiftJis).
  std::string GetAlpha(std::size_t field) const;
  void SetAlpha(std::size_t field, std::string_view bytes);

  // Short, long, autoincrement. Set of a short outside -32767..32767 or of any other type:
  // EDatabaseError.
  std::optional<std::int32_t> GetInteger(std::size_t field) const;
  void SetInteger(std::size_t field, std::int32_t value);

  // Date as a Paradox day number (0001-01-01 = 1).
  std::optional<std::int32_t> GetDate(std::size_t field) const;
  void SetDate(std::size_t field, std::int32_t dayNumber);

  // Number and money.
  std::optional<double> GetNumber(std::size_t field) const;
  void SetNumber(std::size_t field, double value);

  std::optional<bool> GetLogical(std::size_t field) const;
  void SetLogical(std::size_t field, bool value);

  // Time: milliseconds since midnight. Timestamp: milliseconds since 0001-01-01 00:00
  // counting that day as day 1.
  std::optional<std::int32_t> GetTime(std::size_t field) const;
  std::optional<double> GetTimestamp(std::size_t field) const;
  // BCD as decimal text ("-12.50"), std::nullopt when NULL.
  std::optional<std::string> GetBcd(std::size_t field) const;

  // Blob fields: the whole value (empty string = NULL), as stored: a graphic blob keeps the
  // engine's 8-byte prefix (01 00 00 01, u32 picture size) before the picture. Setting a blob keeps it in the
  // record; the table writes it to the .MB (or the leader) when the record is stored.
  std::string GetBlob(std::size_t field) const;
  // The same without a copy; valid until the record changes.
  const std::string& BlobBytes(std::size_t field) const;
  void SetBlob(std::size_t field, std::string_view bytes);

  // The field's bytes in the record (for blobs: leader and tail as read).
  std::string_view Raw(std::size_t field) const;
  void SetRaw(std::size_t field, std::string_view bytes);  // exact field size, else EDatabaseError

  // The whole record's bytes; the primary key is the first Schema().KeySize() bytes.
  const std::string& Bytes() const { return bytes_; }
  std::string_view Key() const { return std::string_view(bytes_).substr(0, schema_->KeySize()); }

  // The engine's internals: blobs are attached after the record bytes were read or before
  // they are written.
  void AttachBlob(std::size_t field, std::string bytes);
  void AttachBlob(std::size_t field, std::string_view bytes);
  void SetBytes(std::string_view bytes);
  // The bytes as the table stored them (blob pointers filled in); the attached blobs stay.
  void SetStoredBytes(std::string_view bytes);

 private:
  void CheckType(std::size_t field, std::initializer_list<FieldType> allowed) const;
  std::string& BlobSlot(std::size_t field);
  void DropBlobs();

  std::shared_ptr<const TableSchema> schema_;
  std::string bytes_;
  // By field number, once a blob was attached; empty = none. A record reused for every record
  // of a table keeps these buffers, so a pass over a table with memos allocates nothing per record.
  std::vector<std::string> blobs_;
};

}  // namespace paradox
