#include "paradox/PrimaryIndex.h"

#include "paradox/BinaryFile.h"
#include "paradox/BlockIndex.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"

namespace paradox {

namespace {

using namespace format;
// 2 KiB whatever the table's block size, as the engine writes them.
constexpr std::uint8_t kIndexBlockKiB = 2;

std::string PxName(const std::string& tableName) {
  std::string n = tableName;
  auto dot = n.rfind('.');
  if (dot != std::string::npos) {
    bool lower = dot + 1 < n.size() && n[dot + 1] >= 'a' && n[dot + 1] <= 'z';
    n = n.substr(0, dot) + (lower ? ".px" : ".PX");
  } else {
    n += ".PX";
  }
  return n;
}

}  // namespace

void WritePrimaryIndexFile(const std::filesystem::path& path, const PrimaryIndexInfo& info,
                           const std::vector<IndexEntry>& dataBlocks, bool sync) {
  BlockIndexLayout layout;
  layout.fileType = kFilePrimaryIndex;
  layout.blockSizeKiB = kIndexBlockKiB;
  for (const auto& f : info.keyFields) layout.keyFields.emplace_back(static_cast<std::uint8_t>(f.type), static_cast<std::uint8_t>(f.size));
  layout.keySize = info.keySize;
  layout.sortOrder = info.sortOrder;
  layout.level = info.level;
  layout.storedName = PxName(info.tableName);
  layout.stamp = info.tableStructureChanges;
  layout.changeCount = static_cast<std::uint16_t>(info.tableChangeCount + 1);
  layout.counter = 1;
  std::vector<BlockIndexEntry> leaves;
  leaves.reserve(dataBlocks.size());
  for (const auto& b : dataBlocks) leaves.push_back({b.key, b.block, b.count});
  const std::string all = BuildBlockIndexFile(layout, leaves, PathText(path));
  auto file = BinaryFile::Open(path, FileAccess::kCreateExclusive);
  file->Write(0, all);
  if (sync) file->Sync();
}

PrimaryIndexContents ReadPrimaryIndexFile(const std::filesystem::path& path, std::size_t keySize) {
  auto file = BinaryFile::Open(path, FileAccess::kReadShared);
  if (file->Size() >= kVariablePartShort &&
      FileHeader::Decode(file->Read(0, kVariablePartShort), PathText(path)).fileType != kFilePrimaryIndex)
    RaiseEngineError(EngineMessage::kCorruptIndex, "not a primary index (file type)", PathText(path),
                     FileHeader::OffsetOf(&FileHeader::fileType));
  BlockIndexContents read = ReadBlockIndexFile(*file, keySize);
  PrimaryIndexContents c;
  c.recordSize = read.entrySize;
  c.levels = read.levels;
  c.changeCount = read.changeCount;
  c.chainFault = std::move(read.chainFault);
  c.lowest.reserve(read.lowest.size());
  for (auto& e : read.lowest) c.lowest.push_back({std::move(e.key), e.block, e.records});
  return c;
}

}  // namespace paradox
