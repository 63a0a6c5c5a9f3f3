#pragma once
// The table layer: TTable and its fields over our Paradox engine.
//
// A TTable names a table by DatabaseName (a directory, not an alias) and TableName (with or
// without ".db"). Open reads the table's structure into Fields; records are visited with
// First/Next and changed through a record buffer: Edit or Append put the table into edit or
// insert state, field writes go to the buffer, Post stores it. Moving (First, Next, Append)
// settles a pending record first: posted when a field was written, dropped otherwise. Close
// drops a pending record.
//
// Field values are read and written as string, integer and date-time. Text stays bytes in the
// table's code page; a string longer than an alpha field is cut to the field's size in bytes,
// never inside a double-byte character. Dates as strings use the user's short date format.
//
// Required fields are checked at Post. The engine keeps no validity-check (.VAL) file, so the
// flags are those of the FieldDefs this object was given before it opened the table (as after
// CreateTable); a table opened by a fresh object has no required fields.
//
// Errors: misuse (a missing field, an operation that needs a closed table, writing outside
// edit state, an empty required field) raises EDatabaseError; failures the engine reports
// (missing or damaged file, table held by another program, key violation) raise EDBEngineError.
//
// Concurrency: an exclusive open keeps every other program out. A non-exclusive open reads
// shared and takes the table exclusively at its first Edit or Append, since the engine has no
// record locks; that fails with the engine's "busy" error while another program has it open.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/DbTypes.h"
#include "engine/FieldDefs.h"

namespace paradox {
class IndexMaintainer;
class ParadoxTable;
class Record;
}  // namespace paradox

class TTable;

class TField {
 public:
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return def_.name; }  // UTF-8
  TFieldType DataType() const { return def_.dataType; }
  int Size() const { return def_.size; }
  bool Required() const { return def_.required; }
  int Index() const { return static_cast<int>(position_); }  // position in the table, from 0
  TTable& DataSet() const { return *table_; }

  bool IsNull() const;
  void Clear();

  // Empty for an empty field. Text fields give the table's bytes; numbers in decimal; dates in
  // the user's short date format.
  std::string AsString() const;
  // The empty string clears the field. Alpha: cut to Size() bytes (whole characters); numbers
  // and dates are parsed (EDatabaseError when the text is not one).
  void SetAsString(const std::string& value);
  // What SetAsString(source.AsString()) stores; text into text moves the bytes without a copy
  // of its own (a table copy does this for every field of every record).
  void AssignText(const TField& source);
  // 0 for an empty field.
  int AsInteger() const;
  void SetAsInteger(int value);
  // 0 (1899-12-30) for an empty field.
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);

 private:
  friend class TTable;
  TField(TTable& table, std::size_t position, TFieldDef def) : table_(&table), position_(position), def_(std::move(def)) {}
  const paradox::Record* ReadBuffer() const;
  paradox::Record& WriteBuffer();
  void SetAlphaText(paradox::Record& r, std::string_view value);
  [[noreturn]] void BadAccess(const char* asType) const;

  TTable* table_;
  std::size_t position_;
  TFieldDef def_;
};

class TTable {
 public:
  TTable();
  ~TTable();  // closes; a pending record is dropped
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;

  // These four need a closed table (EDatabaseError otherwise).
  void SetDatabaseName(const std::string& directory);
  const std::string& DatabaseName() const { return databaseName_; }
  void SetTableName(const std::string& name);
  const std::string& TableName() const { return tableName_; }
  void SetTableType(TTableType type);
  TTableType TableType() const { return tableType_; }
  void SetExclusive(bool exclusive);
  bool Exclusive() const { return exclusive_; }

  void Open();
  void Close();  // nothing when closed; writes every posted change to the disk
  // Writes every posted change to the disk, as Close does, and keeps the table open; a
  // pending record stays pending.
  void Flush();
  bool Active() const { return table_ != nullptr; }
  void SetActive(bool active) { active ? Open() : Close(); }

  // The table's data file is in the directory.
  bool Exists() const;
  // Builds the table from FieldDefs and IndexDefs, replacing a table of that name. Its blocks
  // have the configured BLOCK SIZE, or a larger one when the expected record count needs it.
  void CreateTable();
  // How many records the next CreateTable must make room for (0: no more than usual).
  void SetExpectedRecordCount(std::uint32_t records) { expectedRecords_ = records; }
  // Removes the table with its index and companion files.
  void DeleteTable();
  // The table and its companion files take `newName`; TableName becomes `newName`.
  void RenameTable(const std::string& newName);

  TFieldDefs& FieldDefs() { return fieldDefs_; }
  TIndexDefs& IndexDefs() { return indexDefs_; }

  // By name without regard to ASCII case. FieldByName: EDatabaseError "Field 'X' not found".
  TField& FieldByName(const std::string& name);
  TField* FindField(const std::string& name);
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int i);

  void First();
  void Next();  // at the last record the position stays and Eof becomes true
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  int RecordCount() const;  // stored records; a pending one is not counted
  bool IsEmpty() const;
  int RecNo() const;  // 1-based position, 0 without a current record

  void Edit();    // on a table without records: Append
  void Append();  // settles a pending record, then starts a blank one
  void Post();
  void Cancel();
  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }

  // The cursor handle: the open engine table (nullptr when closed). Operations below the table
  // layer work on it; they close the TTable before they change the files.
  paradox::ParadoxTable* Handle() const { return table_.get(); }
  // The data file of the open table.
  std::filesystem::path DataFile() const;

 private:
  friend class TField;
  void CheckInactive() const;
  void CheckActive() const;
  std::filesystem::path Directory() const;
  void Settle();
  void LoadCurrent();
  void MakeWritable();
  void ResolvePosition() const;
  void BuildFields();

  std::string databaseName_;
  std::string tableName_;
  TTableType tableType_ = ttDefault;
  bool exclusive_ = false;
  std::uint32_t expectedRecords_ = 0;
  TFieldDefs fieldDefs_;
  TIndexDefs indexDefs_;

  std::unique_ptr<paradox::IndexMaintainer> maintainer_;  // destroyed after table_
  std::unique_ptr<paradox::ParadoxTable> table_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::unique_ptr<paradox::Record> current_;  // the current record, or the pending one
  std::unique_ptr<paradox::Record> readSpare_;  // buffers for the next record read
  mutable std::uint32_t position_ = 0;
  mutable bool positionKnown_ = true;  // false after a staged append, until it is asked for
  // The record staged last, put aside by Append while its place is unknown: a cancelled append
  // returns to it without asking the table where it lies, which would place the whole load.
  std::unique_ptr<paradox::Record> beforeAppend_;
  bool restoresOnCancel_ = false;
  bool eof_ = true;
  bool bof_ = true;
  bool hasCurrent_ = false;
  TDataSetState state_ = dsInactive;
  bool modified_ = false;
};
