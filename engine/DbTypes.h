#pragma once
// The small types of the table layer.

#include <cstdint>

// Days since 1899-12-30, with the time of day as the fraction; 0 is also what an empty date reads.
using TDateTime = double;

enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftAutoInc,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftBoolean,
  ftDate,
  ftTime,
  ftDateTime,
  ftMemo,
  ftFmtMemo,
  ftBlob,
  ftGraphic,
  ftOle,
  ftBytes,
};
using enum TFieldType;

enum class TTableType { ttDefault, ttParadox };
using enum TTableType;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
using enum TDataSetState;

enum class TIndexOption : unsigned {
  ixPrimary = 1u << 0,
  ixUnique = 1u << 1,
  ixDescending = 1u << 2,
  ixCaseInsensitive = 1u << 3,
};
using enum TIndexOption;

// A set of index options: {ixPrimary, ixUnique} is written ixPrimary | ixUnique.
class TIndexOptions {
 public:
  constexpr TIndexOptions() = default;
  constexpr TIndexOptions(TIndexOption o) : bits_(static_cast<unsigned>(o)) {}
  constexpr bool Contains(TIndexOption o) const { return (bits_ & static_cast<unsigned>(o)) != 0; }
  constexpr TIndexOptions operator|(TIndexOptions other) const { return FromBits(bits_ | other.bits_); }
  constexpr bool operator==(const TIndexOptions&) const = default;

 private:
  static constexpr TIndexOptions FromBits(unsigned bits) {
    TIndexOptions o;
    o.bits_ = bits;
    return o;
  }
  unsigned bits_ = 0;
};

constexpr TIndexOptions operator|(TIndexOption a, TIndexOption b) { return TIndexOptions(a) | TIndexOptions(b); }
