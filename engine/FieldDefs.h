#pragma once
// Field and index definitions of a table, as given before CreateTable or read from an open table.

#include <string>
#include <vector>

#include "engine/DbTypes.h"

struct TFieldDef {
  std::string name;  // UTF-8
  TFieldType dataType = ftUnknown;
  int size = 0;  // bytes for ftString; the leader bytes for ftMemo; 0 otherwise
  bool required = false;
};

class TFieldDefs {
 public:
  void Clear() { items_.clear(); }
  void Add(const std::string& name, TFieldType dataType, int size = 0, bool required = false) {
    items_.push_back(TFieldDef{name, dataType, size, required});
  }
  int Count() const { return static_cast<int>(items_.size()); }
  const TFieldDef& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
  const std::vector<TFieldDef>& Items() const { return items_; }
  std::vector<TFieldDef>& Items() { return items_; }

 private:
  std::vector<TFieldDef> items_;
};

struct TIndexDef {
  std::string name;    // empty: the primary index
  std::string fields;  // names separated by ";", blanks around them ignored
  TIndexOptions options;

  bool IsPrimary() const { return name.empty() || options.Contains(ixPrimary); }
  // The field names of `fields`, trimmed, empty entries dropped.
  std::vector<std::string> FieldNames() const;
};

class TIndexDefs {
 public:
  void Clear() { items_.clear(); }
  void Add(const std::string& name, const std::string& fields, TIndexOptions options) {
    items_.push_back(TIndexDef{name, fields, options});
  }
  int Count() const { return static_cast<int>(items_.size()); }
  const TIndexDef& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
  const std::vector<TIndexDef>& Items() const { return items_; }

 private:
  std::vector<TIndexDef> items_;
};
