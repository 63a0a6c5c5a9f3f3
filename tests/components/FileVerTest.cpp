// TVersionInfo on real program files: the stand-in Tovo.EXE in both versions (Windows build),
// copies of a system library whose fixed record carries chosen numbers (both builds), files
// without a version block, missing files, and the component in form data.
#include "components/FileVer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text: on Windows std::filesystem would read narrow text in the ANSI code page.
fs::path P(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(text::Widen(utf8));
#else
  return fs::path(utf8);
#endif
}

std::string U8(const fs::path& p) {
#ifdef _WIN32
  return text::Narrow(p.wstring());
#else
  return p.string();
#endif
}

fs::path SystemVersionDll() {
#ifdef _WIN32
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  return fs::path(system) / L"version.dll";
#else
  return "/usr/lib/i386-linux-gnu/wine/i386-windows/version.dll";
#endif
}

struct Versions {
  std::uint32_t fileMs, fileLs, productMs, productLs;
};

// A copy of the system's version.dll whose VS_FIXEDFILEINFO holds `v`. The record is found by
// its signature right after the "VS_VERSION_INFO" key, without the reader under test.
fs::path VersionedCopy(const std::string& name, Versions v, const fs::path& dir) {
  std::string bytes = testing_support::ReadFileBytes(SystemVersionDll());
  const std::u16string key = u"VS_VERSION_INFO";
  const std::string keyBytes(reinterpret_cast<const char*>(key.data()), key.size() * 2);
  const std::size_t at = bytes.find(keyBytes);
  EXPECT_NE(at, std::string::npos);
  const std::size_t record = bytes.find("\xBD\x04\xEF\xFE", at);
  EXPECT_NE(record, std::string::npos);
  auto put = [&](std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[record + offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(8, v.fileMs);
  put(12, v.fileLs);
  put(16, v.productMs);
  put(20, v.productLs);
  const fs::path out = dir / name;
  testing_support::WriteFileBytes(out, bytes);
  return out;
}

std::string Numbers(const TVersionInfo& v) {
  return std::to_string(v.FIleMajor()) + "." + std::to_string(v.FIleMinor()) + "." +
         std::to_string(v.FIleRelease()) + "." + std::to_string(v.FIleBuild()) + " / " +
         std::to_string(v.ProductMajor()) + "." + std::to_string(v.ProductMinor()) + "." +
         std::to_string(v.ProductRelease()) + "." + std::to_string(v.ProductBuild());
}

// The update run's version gate: the four file numbers written one after another.
std::string GateText(const TVersionInfo& v) {
  return std::to_string(v.FIleMajor()) + std::to_string(v.FIleMinor()) + std::to_string(v.FIleRelease()) +
         std::to_string(v.FIleBuild());
}

class VersionInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(SystemVersionDll())) GTEST_SKIP() << SystemVersionDll() << " is not installed here";
    dir_ = testing_support::FreshTempDir("filever") / P("テスト 用");
    fs::create_directory(dir_);
  }
  // Tovo.EXE of version a.b.c.d: the stand-in built with it where the build has one, else a
  // system library carrying the same numbers.
  fs::path Tovo(const char* standinFolder, Versions v) {
    const fs::path built = testing_support::BinaryDir() / "standin" / standinFolder / "Tovo.EXE";
#ifdef _WIN32
    EXPECT_TRUE(fs::exists(built)) << built;
    return built;
#else
    (void)built;
    fs::create_directories(dir_ / standinFolder);
    return VersionedCopy("Tovo.EXE", v, dir_ / standinFolder);
#endif
  }
  fs::path NewTovo() { return Tovo("bin", {0x00010009, 0x00040024, 0x00010009, 0x00000000}); }
  fs::path OldTovo() { return Tovo("old", {0x00010009, 0x00020016, 0x00010009, 0x00000000}); }
  fs::path Versionless() {
    const fs::path p = dir_ / "readme.txt";
    testing_support::WriteFileBytes(p, "MZ no version block here");
    return p;
  }
  TComponent owner_{nullptr};
  fs::path dir_;
};

TEST_F(VersionInfo, FreshComponentReadsZero) {
  TVersionInfo v(&owner_);
  EXPECT_EQ(Numbers(v), "0.0.0.0 / 0.0.0.0");
  EXPECT_EQ(v.FileName(), "");
  EXPECT_EQ(v.Owner(), &owner_);
}

TEST_F(VersionInfo, StandInOfTheUpdate) {
  TVersionInfo v(&owner_);
  v.SetFileName(U8(NewTovo()));
  EXPECT_EQ(Numbers(v), "1.9.4.36 / 1.9.0.0");
  EXPECT_EQ(GateText(v), "19436");
  EXPECT_EQ(v.FileName(), U8(NewTovo()));
}

TEST_F(VersionInfo, StandInOfAnOlderInstallation) {
  TVersionInfo v(&owner_);
  v.SetFileName(U8(OldTovo()));
  EXPECT_EQ(Numbers(v), "1.9.2.22 / 1.9.0.0");
  EXPECT_EQ(GateText(v), "19222");
}

TEST_F(VersionInfo, HalvesOf0xFFFFRead65535) {
  const fs::path f = VersionedCopy("ffff.dll", {0xFFFF0001, 0x0002FFFF, 0xFFFFFFFF, 0x0000FFFF}, dir_);
  TVersionInfo v(&owner_);
  v.SetFileName(U8(f));
  EXPECT_EQ(Numbers(v), "65535.1.2.65535 / 65535.65535.0.65535");
}

TEST_F(VersionInfo, PathWithJapaneseFolderAndBlanks) {
  const fs::path folder = dir_ / "Program Files" / P("トヴォ 顧客管理");
  fs::create_directories(folder);
  fs::copy_file(NewTovo(), folder / "Tovo.EXE");
  TVersionInfo v(&owner_);
  v.SetFileName(U8(folder / "Tovo.EXE"));
  EXPECT_EQ(Numbers(v), "1.9.4.36 / 1.9.0.0");
}

TEST_F(VersionInfo, MissingFileOnAFreshComponentKeepsZeros) {
  TVersionInfo v(&owner_);
  const std::string missing = U8(dir_ / "none" / "Tovo.EXE");
  v.SetFileName(missing);
  EXPECT_EQ(Numbers(v), "0.0.0.0 / 0.0.0.0");
  EXPECT_EQ(v.FileName(), missing);
  v.SetFileName(U8(Versionless()));
  EXPECT_EQ(Numbers(v), "0.0.0.0 / 0.0.0.0");
}

TEST_F(VersionInfo, EmptyNameAfterAReadReleasesTheBlock) {
  TVersionInfo v(&owner_);
  v.SetFileName(U8(NewTovo()));
  ASSERT_EQ(GateText(v), "19436");
  v.SetFileName("");
  EXPECT_EQ(Numbers(v), "0.0.0.0 / 0.0.0.0");
  EXPECT_EQ(v.FileName(), "");
}

TEST_F(VersionInfo, UnreadableFileAfterAReadKeepsTheEarlierNumbers) {
  TVersionInfo v(&owner_);
  v.SetFileName(U8(OldTovo()));
  ASSERT_EQ(GateText(v), "19222");
  v.SetFileName(U8(Versionless()));
  EXPECT_EQ(GateText(v), "19222");
  EXPECT_EQ(v.FileName(), U8(Versionless()));
  v.SetFileName(U8(dir_ / "missing.exe"));
  EXPECT_EQ(Numbers(v), "1.9.2.22 / 1.9.0.0");
  // A readable block replaces them again.
  v.SetFileName(U8(NewTovo()));
  EXPECT_EQ(GateText(v), "19436");
}

TEST_F(VersionInfo, NumberWritersDoNothing) {
  TVersionInfo v(&owner_);
  v.SetFIleMajor(7);
  v.SetProductBuild(7);
  EXPECT_EQ(Numbers(v), "0.0.0.0 / 0.0.0.0");
  v.SetFileName(U8(NewTovo()));
  v.SetFIleMajor(7);
  v.SetFIleMinor(7);
  v.SetFIleRelease(7);
  v.SetFIleBuild(7);
  v.SetProductMajor(7);
  v.SetProductMinor(7);
  v.SetProductRelease(7);
  v.SetProductBuild(7);
  EXPECT_EQ(Numbers(v), "1.9.4.36 / 1.9.0.0");
}

// A root holding one version reader, as the update window does.
class TVersionForm : public TComponent {
  FW_CLASS(TVersionForm, TComponent)
  explicit TVersionForm(TComponent* owner) : TComponent(owner) {}
  TVersionInfo* VersionInfo1 = nullptr;
  void ReadFormData(const std::string& data) { TReader(data).ReadRootComponent(this); }
};

const TClassInfo& TVersionForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TVersionForm>("TVersionForm", &TComponent::StaticClass())
                                     .Field("VersionInfo1", &TVersionForm::VersionInfo1)
                                     .Build();
  return info;
}

std::unique_ptr<TVersionForm> MakeForm() {
  auto form = std::make_unique<TVersionForm>(nullptr);
  form->SetName("VersionForm");
  form->VersionInfo1 = new TVersionInfo(form.get());
  form->VersionInfo1->SetName("VersionInfo1");
  return form;
}

// Positions of the property names (ShortStrings) in the stream, in stream order.
std::vector<std::string> StoredNames(const std::string& stream) {
  std::vector<std::string> found;
  std::vector<std::pair<std::size_t, std::string>> hits;
  for (const char* name : {"FileName", "FIleMajor", "FIleMinor", "FIleRelease", "FIleBuild", "ProductMajor",
                           "ProductMinor", "ProductRelease", "ProductBuild"}) {
    const std::string key = std::string(1, static_cast<char>(std::strlen(name))) + name;
    for (std::size_t at = stream.find(key); at != std::string::npos; at = stream.find(key, at + 1))
      hits.push_back({at, name});
  }
  std::sort(hits.begin(), hits.end());
  for (const auto& h : hits) found.push_back(h.second);
  return found;
}

TEST_F(VersionInfo, FormDataStoresAllEightNumbersAndNoEmptyName) {
  auto form = MakeForm();
  const std::string stream = WriteComponentToBytes(form.get());
  EXPECT_EQ(StoredNames(stream), (std::vector<std::string>{"FIleMajor", "FIleMinor", "FIleRelease", "FIleBuild",
                                                           "ProductMajor", "ProductMinor", "ProductRelease",
                                                           "ProductBuild"}));
  // Each zero is stored as an 8-bit integer 0 (value type 02).
  EXPECT_NE(stream.find(std::string("\x09" "FIleMajor\x02\x00", 12)), std::string::npos);
}

TEST_F(VersionInfo, FormDataRoundTrip) {
  auto designed = MakeForm();
  designed->VersionInfo1->SetFileName(U8(OldTovo()));
  const std::string stream = WriteComponentToBytes(designed.get());
  EXPECT_EQ(StoredNames(stream).front(), "FileName");
  EXPECT_NE(stream.find(std::string("\x0B" "FIleRelease\x02\x02", 14)), std::string::npos);

  // Loading: the name is assigned (and read); the stored numbers go to the do-nothing writers.
  auto loaded = std::make_unique<TVersionForm>(nullptr);
  loaded->ReadFormData(stream);
  ASSERT_NE(loaded->VersionInfo1, nullptr);
  EXPECT_EQ(loaded->VersionInfo1->FileName(), U8(OldTovo()));
  EXPECT_EQ(Numbers(*loaded->VersionInfo1), "1.9.2.22 / 1.9.0.0");

  // Stored numbers of a file that is gone: the loaded component reads 0, not the stored values.
  const fs::path gone = dir_ / "gone.exe";
  fs::copy_file(NewTovo(), gone);
  auto withGone = MakeForm();
  withGone->VersionInfo1->SetFileName(U8(gone));
  ASSERT_EQ(GateText(*withGone->VersionInfo1), "19436");
  const std::string goneStream = WriteComponentToBytes(withGone.get());
  fs::remove(gone);
  auto reloaded = std::make_unique<TVersionForm>(nullptr);
  reloaded->ReadFormData(goneStream);
  EXPECT_EQ(Numbers(*reloaded->VersionInfo1), "0.0.0.0 / 0.0.0.0");
}

}  // namespace
