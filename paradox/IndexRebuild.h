#pragma once
// Rebuilding a table's indexes from its records: the .PX and every secondary index pair, as
// the engine writes them after a restructure (blocks filled completely, entries in key order).
//
// What a rebuild cannot derive from the records, and so takes from elsewhere:
//   the name stored in each file: the .PX's from the .DB's stored name, each .X/.Y's from the
//     existing .X (the name the table had when the index was made);
//   the definition of each secondary index (fields, options, name): from the existing .X;
//   the block size of the .PX and of each .Y: from the existing file (2 KiB when there is none).
// Counters, stamps and memory addresses of the header (listed in BlockIndex.h and
// SecondaryIndex.h) are written fresh: the .PX stamp is the .DB's byte 0x2D, each .X carries
// the .PX and .DB stamps it was built against.

#include <filesystem>
#include <string>
#include <vector>

#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"

namespace paradox {

// The .PX of a keyed table built from its block chain, in blocks of `blockSizeKiB`.
std::string BuildPrimaryIndexFile(const ParadoxTable& table, std::uint8_t blockSizeKiB = 2);

// The block size of an existing .PX or .Y (kept by a rebuild, since nothing in the data says
// which the engine chose), or 2 when there is none.
std::uint8_t ExistingBlockSize(const std::filesystem::path& indexFile);

// The stamps an index pair built now against `table` carries.
IndexFileStamps FreshStamps(const ParadoxTable& table, std::string storedBase);

// Rebuilds every index of the table at `dataFile` and writes the files into `outDir` under the
// names they have beside the table (outDir may be the table's own folder). Returns the paths
// written. An unkeyed table has no .PX; a secondary index that cannot be read: EDBEngineError.
std::vector<std::filesystem::path> RebuildIndexes(const std::filesystem::path& dataFile,
                                                  const std::filesystem::path& outDir);

}  // namespace paradox
