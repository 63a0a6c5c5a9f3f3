#pragma once
// RestructureField: changes the definition of one field of an open, exclusively opened
// Paradox or dBASE table in place (width, type, subtype, precision or name) and keeps its data.
// It works below the table layer: it reads the table's field descriptors from the engine,
// marks the one field for modification and hands the engine a restructure request for the
// whole table. On success the table is closed on return.

#include <cstddef>
#include <cstdint>

#include "paradox/RestructureRequest.h"

class TTable;
class TField;

#pragma pack(push, 1)
// The caller's change record, passed by value: members in order, without gaps.
struct TFieldChange {
  char name[32];            // up to 31 characters and a terminating zero; always applied
  std::uint16_t type;       // engine field type; applied when nonzero
  std::uint16_t subtype;    // engine field subtype; applied when nonzero
  std::uint16_t length;     // units 1 (size in bytes of a character field); applied when nonzero
  std::uint8_t precision;   // units 2 (decimal places); applied when nonzero
};
#pragma pack(pop)
static_assert(sizeof(TFieldChange) == 39);
static_assert(offsetof(TFieldChange, type) == 32);
static_assert(offsetof(TFieldChange, subtype) == 34);
static_assert(offsetof(TFieldChange, length) == 36);
static_assert(offsetof(TFieldChange, precision) == 38);

// The five engine calls, replaceable so that their use can be observed.
struct RestructureEngineCalls {
  paradox::EngineResult (*setCursorProperty)(paradox::CursorHandle, std::uint32_t, std::uint32_t);
  paradox::EngineResult (*getCursorProperties)(paradox::CursorHandle, paradox::CursorProperties*);
  paradox::EngineResult (*getFieldDescriptors)(paradox::CursorHandle, paradox::FieldDescriptor*);
  paradox::EngineResult (*getOwnerObject)(paradox::CursorHandle, std::uint32_t, paradox::DatabaseHandle*);
  paradox::EngineResult (*restructure)(paradox::DatabaseHandle, std::uint16_t, const paradox::RestructureDescriptor*,
                                       const char*, const char*, const char*, bool);
  void (*raise)(paradox::EngineResult);  // throws: a pointer cannot carry [[noreturn]]
};

// Our engine's calls.
const RestructureEngineCalls& EngineRestructureCalls();

// `table`: open, opened with Exclusive set. `field`: one of its fields (only its position is
// used). Failures: EDatabaseError "Table must be opened to restructure", "Table must be opened
// exclusivelyto restructure", "Field altering can only occur on Paradox or dBASE tables";
// EDBEngineError with the engine's message when an engine call fails.
void RestructureField(TTable& table, const TField& field, TFieldChange change);
void RestructureField(TTable& table, const TField& field, TFieldChange change, const RestructureEngineCalls& calls);
