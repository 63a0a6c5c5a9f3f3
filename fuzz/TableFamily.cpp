// libFuzzer target: a Paradox table family read from the disk, the way the program meets a
// shop's tables. The input holds the family's files:
// | Offset | Size | Meaning                                                              |
// |--------|------|----------------------------------------------------------------------|
// | 0      | 1    | secondary index: 0 = .XG0/.YG0, n = .Xnn/.Ynn (nn = n in hex)        |
// | 1      | 4+n  | .DB: u32 length, then the bytes                                       |
// | ...    | 4+n  | .PX, .MB, .X??, .Y?? in turn, each the same way                       |
// A length beyond the input takes the rest; a file the input ends before is not written.
// The table is opened, every record read field by field, its secondary indexes read, and the
// checks of `pdx check` run. A family the checks find sound is then written as the migration
// writes tables (a record stored and one removed, indexes kept), and must still be sound.
// An engine error is the expected answer to damaged files; any other exception, a crash, a
// hang, a sanitizer report or a sound family left unsound is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include <unistd.h>

#include "fuzz/FuzzInput.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"

namespace fs = std::filesystem;

namespace {

// One folder per fuzzing process, emptied before every input.
const fs::path& WorkFolder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "norvex-fuzz-table-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    std::atexit([] { std::error_code ec; fs::remove_all(WorkFolder(), ec); });
    return fs::path(pattern);
  }();
  return folder;
}

void WriteFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

std::string IndexExtension(char letter, std::uint8_t selector) {
  char ext[8];
  if (selector == 0)
    std::snprintf(ext, sizeof ext, ".%cG0", letter);
  else
    std::snprintf(ext, sizeof ext, ".%c%02X", letter, selector);
  return ext;
}

fs::path LayOutFamily(fuzz::FuzzInput& in) {
  const fs::path& dir = WorkFolder();
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove(entry.path());
  const std::uint8_t selector = in.TakeU8();
  const std::string extensions[] = {".DB", ".PX", ".MB", IndexExtension('X', selector),
                                    IndexExtension('Y', selector)};
  for (const std::string& ext : extensions) {
    if (in.Empty()) break;
    WriteFile(dir / ("FUZZ" + ext), in.TakePart());
  }
  return dir / "FUZZ.DB";
}

// Every typed accessor a caller would use on the field, so each decoding meets the bytes.
void ReadField(const paradox::Record& record, std::size_t i) {
  using paradox::FieldType;
  (void)record.IsNull(i);
  (void)record.Raw(i);
  switch (record.Schema().Field(i).type) {
    case FieldType::kAlpha: (void)record.GetAlpha(i); break;
    case FieldType::kDate: (void)record.GetDate(i); break;
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: (void)record.GetInteger(i); break;
    case FieldType::kMoney:
    case FieldType::kNumber: (void)record.GetNumber(i); break;
    case FieldType::kLogical: (void)record.GetLogical(i); break;
    case FieldType::kTime: (void)record.GetTime(i); break;
    case FieldType::kTimestamp: (void)record.GetTimestamp(i); break;
    case FieldType::kBcd: (void)record.GetBcd(i); break;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kFormattedMemo:
    case FieldType::kOle:
    case FieldType::kGraphic: (void)record.GetBlob(i); break;
    case FieldType::kBytes: break;
  }
}

void ReadTable(const fs::path& dataFile) {
  auto table = paradox::ParadoxTable::Open(dataFile, paradox::OpenMode::kShared);
  table->ForEachRecord([](const paradox::Record& record) {
    for (std::size_t i = 0; i < record.Schema().FieldCount(); ++i) ReadField(record, i);
    return true;
  });
  if (table->Schema().KeyFieldCount() > 0) (void)table->PrimaryIndexEntries();
  (void)paradox::ReadSecondaryIndexes(*table);
}

std::optional<std::string> Check(const fs::path& dataFile) {
  if (auto fault = paradox::CheckTable(dataFile)) return fault;
  return paradox::CheckSecondaryIndexes(dataFile);
}

void WriteTable(const fs::path& dataFile) {
  auto table = paradox::ParadoxTable::Open(dataFile, paradox::OpenMode::kExclusive);
  // Destroyed first, it detaches itself; the table is closed before that on success.
  const std::unique_ptr<paradox::SecondaryIndexSet> indexes = paradox::SecondaryIndexSet::Attach(*table);
  if (table->WriteRefusal()) return;
  // A write cut short by an error leaves the table marked as unfinished on purpose, so only a
  // family whose writes all succeeded is checked again.
  if (table->RecordCount() == 0) {
    table->Insert(table->NewRecord());
  } else {
    const std::uint32_t middle = table->RecordCount() / 2;
    const paradox::Record record = table->ReadRecord(middle);
    table->Delete(middle);
    table->Insert(record);
  }
  table->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const fs::path dataFile = LayOutFamily(in);
  try {
    ReadTable(dataFile);
  } catch (const EDatabaseError&) {
  }
  try {
    if (Check(dataFile)) return 0;
  } catch (const EDatabaseError&) {
    return 0;
  }
  try {
    WriteTable(dataFile);
  } catch (const EDatabaseError&) {
    return 0;
  }
  if (auto fault = Check(dataFile)) {
    std::fprintf(stderr, "a sound table family written once is no longer sound: %s\n", fault->c_str());
    std::abort();
  }
  return 0;
}
