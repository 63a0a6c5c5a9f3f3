#include "paradox/IndexRebuild.h"

#include <ctime>

#include "paradox/BinaryFile.h"
#include "paradox/BlockIndex.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/ParadoxFormat.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/TableFamily.h"

namespace paradox {

namespace fs = std::filesystem;

IndexFileStamps FreshStamps(const ParadoxTable& table, std::string storedBase) {
  IndexFileStamps s;
  s.storedBase = std::move(storedBase);
  s.dbStamp = table.Header().indexStamp;
  s.pxStamp = table.Header().structureChanges;
  s.ownStamp = s.pxStamp;
  s.writeTime = static_cast<std::uint32_t>(std::time(nullptr));
  s.changeCount = static_cast<std::uint16_t>(table.Header().changeCount + 2);
  s.counter = 0;
  return s;
}

std::string BuildPrimaryIndexFile(const ParadoxTable& table, std::uint8_t blockSizeKiB) {
  const TableSchema& schema = table.Schema();
  BlockIndexLayout layout;
  layout.fileType = format::kFilePrimaryIndex;
  layout.blockSizeKiB = blockSizeKiB;
  for (std::size_t k = 0; k < schema.KeyFieldCount(); ++k)
    layout.keyFields.emplace_back(static_cast<std::uint8_t>(schema.Field(k).type), schema.Field(k).size);
  layout.keySize = schema.KeySize();
  layout.sortOrder = schema.Definition().driver.sortOrder;
  layout.level = table.Header().level;
  // The engine stores the extension in upper case whatever the data file's ("fk4.db", "fk4.PX").
  const std::string& stored = table.StoredName();
  layout.storedName = stored.substr(0, stored.rfind('.')) + ".PX";
  layout.stamp = table.Header().structureChanges;
  layout.changeCount = static_cast<std::uint16_t>(table.Header().changeCount + 1);
  layout.counter = 1;
  std::vector<BlockIndexEntry> leaves;
  for (const auto& e : table.PrimaryIndexEntries()) leaves.push_back({e.key, e.block, e.count});
  return BuildBlockIndexFile(layout, leaves);
}

std::uint8_t ExistingBlockSize(const fs::path& indexFile) {
  std::error_code ec;
  if (!fs::exists(indexFile, ec)) return 2;
  auto f = BinaryFile::Open(indexFile, FileAccess::kReadShared);
  if (f->Size() < format::kHeaderBlockSize) return 2;
  try {
    return FileHeader::Decode(f->Read(0, format::kVariablePartShort), PathText(indexFile)).blockSizeKiB;
  } catch (const EDBEngineError&) {
    return 2;  // a damaged index is rebuilt at the usual size
  }
}

std::vector<fs::path> RebuildIndexes(const fs::path& dataFile, const fs::path& outDir) {
  auto table = ParadoxTable::Open(dataFile, OpenMode::kShared);
  std::vector<fs::path> written;
  auto target = [&](const fs::path& besideTable) { return outDir / besideTable.filename(); };

  if (table->Schema().KeyFieldCount() > 0) {
    fs::path px = target(FamilyMemberPath(dataFile, ".PX"));
    WriteFileDurably(px, BuildPrimaryIndexFile(*table, ExistingBlockSize(FamilyMemberPath(dataFile, ".PX"))));
    written.push_back(px);
  }
  for (const auto& index : ReadSecondaryIndexes(*table)) {
    IndexEntries entries = CollectEntries(*table, index.def);
    IndexFileStamps stamps = FreshStamps(*table, index.storedBase);
    stamps.yBlockSizeKiB = ExistingBlockSize(index.yPath);
    // The counters of .X and .Y differ by one in the samples written together.
    IndexFilePair files = BuildIndexFiles(table->Schema(), table->Header(), index.def, entries, index.extension, stamps);
    FileHeader yHeader = FileHeader::Decode(files.y, PathText(index.yPath));
    yHeader.changeCount = static_cast<std::uint16_t>(stamps.changeCount + 1);
    yHeader.autoIncrement = 1;
    yHeader.Encode(files.y);
    fs::path x = target(index.xPath), y = target(index.yPath);
    WriteFileDurably(x, files.x);
    WriteFileDurably(y, files.y);
    written.push_back(x);
    written.push_back(y);
  }
  return written;
}

}  // namespace paradox
