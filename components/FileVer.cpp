#include "components/FileVer.h"

#include "components/FileVerPlatform.h"
#include "framework/ClassBuilder.h"
#include "os/LittleEndian.h"

namespace {

RegisterClassOf<TVersionInfo> registerVersionInfo;

}  // namespace

const TClassInfo& TVersionInfo::StaticClass() {
  using V = TVersionInfo;
  // The numbers declare no default, so form data always holds all eight.
  static const TClassInfo info = TClassBuilder<V>("TVersionInfo", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("FileName", &V::FileName, &V::SetFileName)
                                     .Property("FIleMajor", &V::FIleMajor, &V::SetFIleMajor)
                                     .Property("FIleMinor", &V::FIleMinor, &V::SetFIleMinor)
                                     .Property("FIleRelease", &V::FIleRelease, &V::SetFIleRelease)
                                     .Property("FIleBuild", &V::FIleBuild, &V::SetFIleBuild)
                                     .Property("ProductMajor", &V::ProductMajor, &V::SetProductMajor)
                                     .Property("ProductMinor", &V::ProductMinor, &V::SetProductMinor)
                                     .Property("ProductRelease", &V::ProductRelease, &V::SetProductRelease)
                                     .Property("ProductBuild", &V::ProductBuild, &V::SetProductBuild)
                                     .Build();
  return info;
}

TVersionInfo::TVersionInfo(TComponent* owner) : TComponent(owner) {}

TVersionInfo::~TVersionInfo() = default;

void TVersionInfo::SetFileName(const std::string& value) {
  FFileName = value;
  if (value.empty()) {
    FVersionBlock = std::vector<char>();
    FFixedFileInfo.reset();
    return;
  }
  std::uint32_t handle = 0;
  const std::uint32_t size = filever::VersionInfoSize(value, handle);
  // No version information: the earlier block, if any, and its numbers stay.
  if (size == 0) return;
  FVersionBlock.resize(size);
  if (!filever::ReadVersionInfo(value, handle, size, FVersionBlock.data())) {
    FFixedFileInfo.reset();
    return;
  }
  FFixedFileInfo = filever::RootRecord(FVersionBlock.data(), FVersionBlock.size());
}

std::int32_t TVersionInfo::Half(std::size_t word, bool high) const {
  if (!FFixedFileInfo || *FFixedFileInfo + kFixedInfoUsed > FVersionBlock.size()) return 0;
  const std::uint16_t half = le::Get16(FVersionBlock.data() + *FFixedFileInfo + word + (high ? 2 : 0));
  return half;  // 0 to 65535, never negative
}
