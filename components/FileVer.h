#pragma once
// TVersionInfo: a non-visual component that reads the version resource of a program file and
// offers its file and product versions as eight 16-bit numbers. It reports no errors: a file
// that cannot be read leaves the numbers as they were (0 before any successful read).
//
// The numbers come from the root fixed-information record (VS_FIXEDFILEINFO) of the version
// block; of it four little-endian words are used:
// | Offset | Word                                  | High half     | Low half      |
// |--------|---------------------------------------|---------------|---------------|
// | 8      | file version, most significant half   | FIleMajor     | FIleMinor     |
// | 12     | file version, least significant half  | FIleRelease   | FIleBuild     |
// | 16     | product version, most significant     | ProductMajor  | ProductMinor  |
// | 20     | product version, least significant    | ProductRelease| ProductBuild  |
// The four file-version names are spelt "FIle" with a capital I: form data stores them so.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/Classes.h"

class TVersionInfo : public TComponent {
  FW_CLASS(TVersionInfo, TComponent)
  explicit TVersionInfo(TComponent* owner);
  ~TVersionInfo() override;

  const std::string& FileName() const { return FFileName; }
  // Stores the name, then reads that file's version block (see FileVer.cpp).
  void SetFileName(const std::string& value);

  std::int32_t FIleMajor() const { return Half(kFileMs, true); }
  std::int32_t FIleMinor() const { return Half(kFileMs, false); }
  std::int32_t FIleRelease() const { return Half(kFileLs, true); }
  std::int32_t FIleBuild() const { return Half(kFileLs, false); }
  std::int32_t ProductMajor() const { return Half(kProductMs, true); }
  std::int32_t ProductMinor() const { return Half(kProductMs, false); }
  std::int32_t ProductRelease() const { return Half(kProductLs, true); }
  std::int32_t ProductBuild() const { return Half(kProductLs, false); }
  // The numbers' writers do nothing; they exist so that form data may hold the values.
  void SetFIleMajor(std::int32_t) {}
  void SetFIleMinor(std::int32_t) {}
  void SetFIleRelease(std::int32_t) {}
  void SetFIleBuild(std::int32_t) {}
  void SetProductMajor(std::int32_t) {}
  void SetProductMinor(std::int32_t) {}
  void SetProductRelease(std::int32_t) {}
  void SetProductBuild(std::int32_t) {}

 private:
  static constexpr std::size_t kFileMs = 8, kFileLs = 12, kProductMs = 16, kProductLs = 20;
  static constexpr std::size_t kFixedInfoUsed = 24;

  std::int32_t Half(std::size_t word, bool high) const;

  // The whole version information of the file last read; empty at construction.
  std::vector<char> FVersionBlock;
  // Position of the fixed-information record inside FVersionBlock; valid only while the
  // block is neither resized nor released.
  std::optional<std::size_t> FFixedFileInfo;
  std::string FFileName;
};
