#include "paradox/TableCheck.h"

#include <cstring>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/TableFamily.h"

namespace fs = std::filesystem;

namespace paradox {

namespace {

std::string Describe(const EDatabaseError& e) { return e.what(); }

}  // namespace

// The index's change counter is not compared: real tables carry .PX counters both above and
// below their .DB's and the engine accepts them.

std::optional<std::string> CheckTable(const fs::path& dataFile) {
  std::unique_ptr<ParadoxTable> table;
  try {
    table = ParadoxTable::Open(dataFile, OpenMode::kShared);
  } catch (const EDatabaseError& e) {
    return Describe(e);
  }
  const TableSchema& s = table->Schema();
  const bool keyed = s.KeyFieldCount() > 0;
  const bool ordered = table->Driver().bytewiseOrder ||
                       [&] {
                         for (unsigned i = 0; i < s.KeyFieldCount(); ++i)
                           if (s.Field(i).type == FieldType::kAlpha) return false;
                         return true;
                       }();
  // Records: every blob readable, keys strictly ascending.
  std::string previous;
  std::uint32_t position = 0;
  std::optional<std::string> fault;
  try {
    table->ForEachRecord([&](const Record& r) {
      if (keyed && ordered && position > 0) {
        std::string_view k = r.Key();
        int c = std::memcmp(previous.data(), k.data(), k.size());
        if (c == 0) {
          fault = "record " + std::to_string(position + 1) + " repeats the primary key of the record before it";
          return false;
        }
        if (c > 0) {
          fault = "record " + std::to_string(position + 1) + " is out of primary-key order";
          return false;
        }
      }
      previous = std::string(r.Key());
      ++position;
      return true;
    });
  } catch (const EDatabaseError& e) {
    return "record " + std::to_string(position + 1) + ": " + Describe(e);
  }
  if (fault) return PathText(dataFile) + ": " + *fault;
  if (!keyed) return std::nullopt;

  // The primary index against the chain.
  fs::path px = FamilyMemberPath(dataFile, ".PX");
  std::error_code ec;
  if (!fs::exists(px, ec)) return PathText(px) + ": the primary index is missing";
  PrimaryIndexContents idx;
  try {
    idx = ReadPrimaryIndexFile(px, s.KeySize());
  } catch (const EDatabaseError& e) {
    return Describe(e);
  }
  if (idx.chainFault) return PathText(px) + ": " + *idx.chainFault;
  auto expectedEntries = table->PrimaryIndexEntries();
  if (idx.lowest.size() != expectedEntries.size())
    return PathText(px) + ": the primary index has " + std::to_string(idx.lowest.size()) + " entries for " +
           std::to_string(expectedEntries.size()) + " data blocks";
  for (std::size_t i = 0; i < expectedEntries.size(); ++i) {
    const auto& a = idx.lowest[i];
    const auto& b = expectedEntries[i];
    if (a.block != b.block)
      return PathText(px) + ": index entry " + std::to_string(i + 1) + " names block " + std::to_string(a.block) +
             ", the chain has block " + std::to_string(b.block);
    if (a.count != b.count)
      return PathText(px) + ": index entry " + std::to_string(i + 1) + " counts " + std::to_string(a.count) +
             " records, block " + std::to_string(b.block) + " holds " + std::to_string(b.count);
    if (a.key != b.key)
      return PathText(px) + ": index entry " + std::to_string(i + 1) + " does not hold the first key of block " +
             std::to_string(b.block);
  }
  return std::nullopt;
}

}  // namespace paradox
