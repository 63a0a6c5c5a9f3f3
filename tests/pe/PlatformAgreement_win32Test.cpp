// The portable version-resource reader against the platform's own (version.dll under Wine) on
// the stand-in program files and on system libraries: the same block, the same fixed-record
// position and numbers, the same strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "pe/VersionResource.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

namespace fs = std::filesystem;

struct PlatformBlock {
  std::vector<char> bytes;
  std::size_t fixedOffset = 0;
  VS_FIXEDFILEINFO fixed = {};
};

std::optional<PlatformBlock> ReadWithPlatform(const fs::path& file) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.wstring().c_str(), &handle);
  if (size == 0) return std::nullopt;
  PlatformBlock block;
  block.bytes.resize(size);
  if (!GetFileVersionInfoW(file.wstring().c_str(), handle, size, block.bytes.data())) return std::nullopt;
  void* root = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.bytes.data(), L"\\", &root, &length)) return std::nullopt;
  block.fixedOffset = static_cast<std::size_t>(static_cast<char*>(root) - block.bytes.data());
  block.fixed = *static_cast<VS_FIXEDFILEINFO*>(root);
  return block;
}

std::optional<std::string> PlatformString(PlatformBlock& block, const std::string& subBlock) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.bytes.data(), text::Widen(subBlock).c_str(), &value, &length)) return std::nullopt;
  return text::Narrow(static_cast<const wchar_t*>(value));
}

void Compare(const fs::path& file) {
  SCOPED_TRACE(text::Narrow(file.wstring()));
  auto platform = ReadWithPlatform(file);
  auto ours = pe::LoadVersionBlock(file);
  ASSERT_TRUE(platform);
  ASSERT_TRUE(ours);
  ASSERT_TRUE(ours->fixedInfoOffset);
  // The platform copies the resource and may keep scratch space after it.
  const std::size_t length = static_cast<unsigned char>(ours->bytes[0]) | (static_cast<unsigned char>(ours->bytes[1]) << 8);
  ASSERT_LE(length, ours->bytes.size());
  ASSERT_LE(length, platform->bytes.size());
  EXPECT_EQ(std::string(platform->bytes.data(), length), ours->bytes.substr(0, length));
  EXPECT_EQ(*ours->fixedInfoOffset, platform->fixedOffset);
  auto fixed = pe::ReadFixedVersion(ours->bytes, *ours->fixedInfoOffset);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->fileMs, platform->fixed.dwFileVersionMS);
  EXPECT_EQ(fixed->fileLs, platform->fixed.dwFileVersionLS);
  EXPECT_EQ(fixed->productMs, platform->fixed.dwProductVersionMS);
  EXPECT_EQ(fixed->productLs, platform->fixed.dwProductVersionLS);

  void* translation = nullptr;
  UINT length2 = 0;
  ASSERT_TRUE(VerQueryValueW(platform->bytes.data(), L"\\VarFileInfo\\Translation", &translation, &length2));
  const auto* words = static_cast<const WORD*>(translation);
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", words[0], words[1]);
  int compared = 0;
  for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "OriginalFilename", "ProductName",
                           "ProductVersion"}) {
    const std::string subBlock = std::string("\\StringFileInfo\\") + table + "\\" + name;
    const auto expected = PlatformString(*platform, subBlock);
    EXPECT_EQ(pe::QueryString(ours->bytes, subBlock), expected) << subBlock;
    if (expected) ++compared;
  }
  EXPECT_GE(compared, 3);
}

TEST(PlatformAgreement, StandinProgramFiles) {
  const fs::path standin = testing_support::BinaryDir() / "standin";
  for (const char* file : {"bin/Tovo.EXE", "old/Tovo.EXE", "bin/TovoRept.DLL", "bin/TovoData.DLL"})
    Compare(standin / file);
  auto block = pe::LoadVersionBlock(standin / "bin" / "Tovo.EXE");
  ASSERT_TRUE(block);
  EXPECT_EQ(pe::QueryString(block->bytes, "\\StringFileInfo\\041103A4\\FileDescription"), "トヴォ顧客管理");
}

TEST(PlatformAgreement, SystemLibraries) {
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  for (const wchar_t* name : {L"version.dll", L"kernel32.dll", L"comctl32.dll", L"shell32.dll"})
    Compare(fs::path(system) / name);
}

TEST(PlatformAgreement, NoVersionResource) {
  // The test-support library's own program has no version block; neither reader finds one.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  DWORD handle = 0;
  EXPECT_EQ(GetFileVersionInfoSizeW(self, &handle), 0u);
  EXPECT_FALSE(pe::LoadVersionBlock(self));
  const fs::path text = testing_support::FreshTempDir("pe_agreement") / "plain.txt";
  testing_support::WriteFileBytes(text, "MZ but nothing else");
  EXPECT_EQ(GetFileVersionInfoSizeW(text.wstring().c_str(), &handle), 0u);
  EXPECT_FALSE(pe::LoadVersionBlock(text));
}

}  // namespace
