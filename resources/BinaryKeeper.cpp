#include "resources/BinaryKeeper.h"

#include <fstream>
#include <iterator>
#include <limits>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "os/LittleEndian.h"

namespace {

// The whole content of a file, or nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

RegisterClassOf<TbinaryKeeper> registerBinaryKeeper;

}  // namespace

const TClassInfo& TbinaryKeeper::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TbinaryKeeper>("TbinaryKeeper", &TComponent::StaticClass())
          .Creatable()
          // Read only, so never written; the bytes travel in "Data".
          .Property("stream", &TbinaryKeeper::stream).Stored(false)
          .Property("Size", &TbinaryKeeper::Size)
          .Property("Filename", &TbinaryKeeper::Filename, &TbinaryKeeper::SetFilename)
          .Build();
  return info;
}

TbinaryKeeper::TbinaryKeeper(TComponent* owner) : TComponent(owner) {}

TbinaryKeeper::~TbinaryKeeper() = default;

void TbinaryKeeper::SetFilename(const std::string& name) {
  if (ComponentState().Contains(csLoading)) {
    filename_ = name;
    return;
  }
  if (!ComponentState().Contains(csDesigning)) return;

  std::optional<std::string> bytes;
  if (!name.empty()) bytes = ReadWholeFile(ResolveDesignFile(name));
  if (!bytes || bytes->size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    data_.reset();
    size_ = 0;
    filename_.clear();
    return;
  }
  if (!data_) data_ = std::make_unique<TMemoryStream>();
  size_ = static_cast<std::int32_t>(bytes->size());
  *data_ = TMemoryStream(std::move(*bytes));
  filename_ = name;
}

void TbinaryKeeper::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, true);
}

void TbinaryKeeper::ReadData(TStream& block) {
  if (!data_) data_ = std::make_unique<TMemoryStream>();
  data_->Clear();
  size_ = 0;
  if (block.Size() - block.Position() == 0) return;

  unsigned char count[kKeeperCountSize];
  block.ReadBuffer(count, sizeof count);
  std::uint32_t n = le::Get32(count);
  // The count comes from the file: it must fit both the size field and what the block holds.
  std::uint64_t left = block.Size() - block.Position();
  if (n > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) || n > left)
    throw EReadError("binary keeper data: count " + std::to_string(n) + " exceeds the " +
                     std::to_string(left) + " bytes of its block");
  std::string bytes(n, '\0');
  block.ReadBuffer(bytes.data(), n);
  *data_ = TMemoryStream(std::move(bytes));
  size_ = static_cast<std::int32_t>(n);
}

void TbinaryKeeper::WriteData(TStream& block) {
  if (!data_) return;
  std::uint32_t n = static_cast<std::uint32_t>(size_);
  unsigned char count[kKeeperCountSize];
  le::Put32(count, n);
  block.WriteBuffer(count, sizeof count);
  block.WriteBuffer(data_->Memory(), static_cast<std::size_t>(size_));
}
