// The version-resource reader against pefile on real PE files (Wine's own builtin libraries and
// programs, PE32 and PE32+), and against corrupted copies of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "support/TestPaths.h"
#include "pe/VersionResource.h"

namespace {

namespace fs = std::filesystem;

const fs::path kWin32Dir = "/usr/lib/i386-linux-gnu/wine/i386-windows";
const fs::path kWin64Dir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

struct PefileFacts {
  bool hasVersion = false;
  std::uint32_t language = 0;
  pe::FixedVersion fixed;
  std::map<std::string, std::string> strings;  // "<table>\<name>" -> value
};

PefileFacts AskPefile(const fs::path& file) {
  const std::string command =
      std::string(NORVEX_PYTHON) + " " + NORVEX_PEFILE_DUMP + " '" + file.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  EXPECT_EQ(pclose(pipe), 0) << command;
  // pefile reads every language; the reader picks one, in the order a Japanese system's
  // resource lookup would: neutral, 0x411, 0x11, 0x409, 0x9, else the first.
  std::vector<std::uint32_t> languages;
  {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
      if (line.rfind("lang ", 0) == 0) languages.push_back(std::stoul(line.substr(5), nullptr, 16));
  }
  PefileFacts facts;
  if (languages.empty()) return facts;
  facts.language = languages.front();
  for (std::uint32_t preferred : {0x0u, 0x411u, 0x11u, 0x409u, 0x9u})
    if (std::find(languages.begin(), languages.end(), preferred) != languages.end()) {
      facts.language = preferred;
      break;
    }
  std::istringstream lines(out);
  std::string line;
  bool inChosen = false;
  while (std::getline(lines, line)) {
    if (line.rfind("lang ", 0) == 0) {
      inChosen = std::stoul(line.substr(5), nullptr, 16) == facts.language;
    } else if (!inChosen) {
      continue;
    } else if (line.rfind("fixed ", 0) == 0) {
      facts.hasVersion = true;
      std::istringstream in(line.substr(6));
      in >> std::hex >> facts.fixed.fileMs >> facts.fixed.fileLs >> facts.fixed.productMs >>
          facts.fixed.productLs;
    } else if (line.rfind("string ", 0) == 0) {
      const std::size_t space = line.find(' ', 7), eq = line.find('=', space);
      facts.strings[line.substr(7, space - 7) + "\\" + line.substr(space + 1, eq - space - 1)] =
          line.substr(eq + 1);
    }
  }
  return facts;
}

std::vector<fs::path> SampleFiles() {
  std::vector<fs::path> files;
  for (const char* name : {"version.dll", "kernel32.dll", "comctl32.dll", "shell32.dll", "ntdll.dll",
                           "notepad.exe", "regedit.exe", "user32.dll"}) {
    if (fs::exists(kWin32Dir / name)) files.push_back(kWin32Dir / name);
  }
  for (const char* name : {"version.dll", "comctl32.dll"})
    if (fs::exists(kWin64Dir / name)) files.push_back(kWin64Dir / name);
  return files;
}

TEST(VersionResource, AgreesWithPefileOnRealFiles) {
  const auto files = SampleFiles();
  if (files.size() < 4) GTEST_SKIP() << "Wine's builtin PE libraries are not installed here";
  int withVersion = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const PefileFacts expected = AskPefile(file);
    const auto block = pe::LoadVersionBlock(file);
    ASSERT_EQ(block.has_value() && block->fixedInfoOffset.has_value(), expected.hasVersion);
    if (!expected.hasVersion) continue;
    ++withVersion;
    const auto fixed = pe::ReadFixedVersion(block->bytes, *block->fixedInfoOffset);
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->fileMs, expected.fixed.fileMs);
    EXPECT_EQ(fixed->fileLs, expected.fixed.fileLs);
    EXPECT_EQ(fixed->productMs, expected.fixed.productMs);
    EXPECT_EQ(fixed->productLs, expected.fixed.productLs);
    // The root query gives the same record as the reader's own position.
    const auto root = pe::QueryValue(block->bytes, "\\");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->offset, *block->fixedInfoOffset);
    ASSERT_FALSE(expected.strings.empty());
    for (const auto& [key, value] : expected.strings) {
      SCOPED_TRACE(key);
      EXPECT_EQ(pe::QueryString(block->bytes, "\\StringFileInfo\\" + key), value);
    }
  }
  EXPECT_GE(withVersion, 3);
}

TEST(VersionResource, KeysCompareWithoutCaseAndMissingKeysAreAbsent) {
  const fs::path file = kWin32Dir / "version.dll";
  if (!fs::exists(file)) GTEST_SKIP() << "Wine's version.dll is not installed here";
  const auto block = pe::LoadVersionBlock(file);
  ASSERT_TRUE(block);
  const PefileFacts expected = AskPefile(file);
  const auto& [key, value] = *expected.strings.begin();
  std::string lower = "\\stringfileinfo\\" + key;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(pe::QueryString(block->bytes, lower), value);
  EXPECT_FALSE(pe::QueryString(block->bytes, "\\StringFileInfo\\041103A4\\FileVersion"));
  EXPECT_FALSE(pe::QueryString(block->bytes, "\\StringFileInfo\\" + key + "X"));
  // The root record is binary, not text.
  EXPECT_FALSE(pe::QueryString(block->bytes, "\\"));
}

TEST(VersionResource, NonPeInputGivesNothing) {
  EXPECT_FALSE(pe::ReadVersionBlock(""));
  EXPECT_FALSE(pe::ReadVersionBlock("MZ"));
  EXPECT_FALSE(pe::ReadVersionBlock(std::string(4096, '\0')));
  EXPECT_FALSE(pe::LoadVersionBlock(testing_support::FreshTempDir("pe_missing") / "none.dll"));
  EXPECT_FALSE(pe::QueryValue("", "\\"));
  EXPECT_FALSE(pe::ReadFixedVersion(std::string(51, '\0'), 0));
  EXPECT_FALSE(pe::ReadFixedVersion(std::string(60, '\0'), 9));
}

std::uint32_t Get32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

// Where the pieces of a PE32 file's resource tree lie, found by walking the headers.
struct Layout {
  std::size_t optional = 0, resourceRoot = 0, versionTypeEntry = 0, dataEntry = 0;
  std::size_t dataOffset = 0, dataSize = 0;
};

Layout Locate(const std::string& f) {
  Layout l;
  const std::size_t coff = Get32(f, 0x3C) + 4;
  const std::size_t sections = static_cast<unsigned char>(f[coff + 2]) | (static_cast<unsigned char>(f[coff + 3]) << 8);
  const std::size_t optionalSize = static_cast<unsigned char>(f[coff + 16]) | (static_cast<unsigned char>(f[coff + 17]) << 8);
  l.optional = coff + 20;
  const std::uint32_t rva = Get32(f, l.optional + 96 + 16);
  auto toOffset = [&](std::uint32_t r) -> std::size_t {
    for (std::size_t i = 0; i < sections; ++i) {
      const std::size_t h = l.optional + optionalSize + i * 40;
      const std::uint32_t va = Get32(f, h + 12), raw = Get32(f, h + 16), ptr = Get32(f, h + 20);
      if (r >= va && r < va + raw) return ptr + (r - va);
    }
    ADD_FAILURE() << "rva outside every section";
    return 0;
  };
  l.resourceRoot = toOffset(rva);
  auto entries = [&](std::size_t dir) {
    return static_cast<std::size_t>(static_cast<unsigned char>(f[dir + 12]) + static_cast<unsigned char>(f[dir + 14]) +
                                    256 * (static_cast<unsigned char>(f[dir + 13]) + static_cast<unsigned char>(f[dir + 15])));
  };
  for (std::size_t i = 0; i < entries(l.resourceRoot); ++i)
    if (Get32(f, l.resourceRoot + 16 + i * 8) == 16) l.versionTypeEntry = l.resourceRoot + 16 + i * 8;
  const std::size_t names = l.resourceRoot + (Get32(f, l.versionTypeEntry + 4) & 0x7FFFFFFF);
  const std::size_t langs = l.resourceRoot + (Get32(f, names + 16 + 4) & 0x7FFFFFFF);
  l.dataEntry = l.resourceRoot + Get32(f, langs + 16 + 4);
  l.dataOffset = toOffset(Get32(f, l.dataEntry));
  l.dataSize = Get32(f, l.dataEntry + 4);
  return l;
}

class CorruptedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path file = kWin32Dir / "version.dll";
    if (!fs::exists(file)) GTEST_SKIP() << "Wine's version.dll is not installed here";
    original_ = testing_support::ReadFileBytes(file);
    layout_ = Locate(original_);
    const auto block = pe::ReadVersionBlock(original_);
    ASSERT_TRUE(block);
    ASSERT_EQ(block->bytes, original_.substr(layout_.dataOffset, layout_.dataSize));
  }
  std::string original_;
  Layout layout_;
};

TEST_F(CorruptedFile, TruncatedBeforeTheVersionDataEndsGivesNothing) {
  const std::size_t dataEnd = layout_.dataOffset + layout_.dataSize;
  for (std::size_t size = 0; size < dataEnd; size += (size < 1024 || size + 600 > dataEnd) ? 1 : 97) {
    ASSERT_FALSE(pe::ReadVersionBlock(std::string_view(original_).substr(0, size))) << size;
  }
  EXPECT_TRUE(pe::ReadVersionBlock(std::string_view(original_).substr(0, dataEnd)));
}

TEST_F(CorruptedFile, BadOffsetsAndCountsGiveNothing) {
  struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
  };
  const Layout l = layout_;
  const std::vector<Damage> damages = {
      {"e_lfanew beyond the file", [](std::string& f) { Put32(f, 0x3C, 0x7FFFFFF0); }},
      {"PE signature", [](std::string& f) { f[Get32(f, 0x3C)] = 'X'; }},
      {"optional header magic", [l](std::string& f) { Put16(f, l.optional, 0x1234); }},
      {"resource RVA unmapped", [l](std::string& f) { Put32(f, l.optional + 96 + 16, 0x7FFF0000); }},
      {"too few data directories", [l](std::string& f) { Put32(f, l.optional + 92, 2); }},
      {"root entry count", [l](std::string& f) { Put16(f, l.resourceRoot + 14, 0xFFFF); }},
      {"type entry is no directory",
       [l](std::string& f) { Put32(f, l.versionTypeEntry + 4, Get32(f, l.versionTypeEntry + 4) & 0x7FFFFFFF); }},
      {"type entry points back at the root", [l](std::string& f) { Put32(f, l.versionTypeEntry + 4, 0x80000000u); }},
      {"type entry beyond the section", [l](std::string& f) { Put32(f, l.versionTypeEntry + 4, 0xFFFFFFF0u); }},
      {"data size beyond the file", [l](std::string& f) { Put32(f, l.dataEntry + 4, 0xFFFFFFFFu); }},
      {"data RVA beyond the file", [l](std::string& f) { Put32(f, l.dataEntry, 0xFFFFFF00u); }},
      {"root node longer than the data", [l](std::string& f) { Put16(f, l.dataOffset, 0xFFFF); }},
      {"root node shorter than its header", [l](std::string& f) { Put16(f, l.dataOffset, 2); }},
      {"root key", [l](std::string& f) { f[l.dataOffset + 6] = 'X'; }},
  };
  for (const Damage& d : damages) {
    std::string copy = original_;
    d.apply(copy);
    EXPECT_FALSE(pe::ReadVersionBlock(copy)) << d.what;
  }
}

TEST_F(CorruptedFile, MalformedNodesInsideTheBlockAreSkippedSafely) {
  const auto block = pe::ReadVersionBlock(original_);
  ASSERT_TRUE(block);
  // Child lengths of 0, of 1 and past the parent's end: the walk stops, it does not spin.
  const std::size_t firstChild = (*block->fixedInfoOffset + pe::kFixedFileInfoSize + 3) & ~std::size_t{3};
  for (std::uint16_t length : {0, 1, 5, 0xFFFF}) {
    std::string bytes = block->bytes;
    Put16(bytes, firstChild, length);
    EXPECT_FALSE(pe::QueryString(bytes, "\\StringFileInfo\\040904B0\\FileVersion")) << length;
    EXPECT_TRUE(pe::QueryValue(bytes, "\\"));
  }
  // A key without its terminator inside the node.
  std::string bytes = block->bytes;
  for (std::size_t i = 6; i + 1 < bytes.size(); i += 2) Put16(bytes, i, 'A');
  EXPECT_FALSE(pe::QueryValue(bytes, "\\"));
}

TEST_F(CorruptedFile, RandomDamageNeverReadsOutside) {
  std::mt19937 random(19436);
  const std::size_t dataEnd = layout_.dataOffset + layout_.dataSize;
  int stillRead = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string copy = original_;
    const int hits = 1 + static_cast<int>(random() % 8);
    for (int h = 0; h < hits; ++h) {
      // Aim at the headers, the resource tree and the version data, where the reader looks.
      std::size_t at;
      switch (random() % 3) {
        case 0: at = random() % 1024; break;
        case 1: at = layout_.resourceRoot + random() % 256; break;
        default: at = layout_.dataOffset + random() % layout_.dataSize; break;
      }
      copy[at] = static_cast<char>(random());
    }
    const auto block = pe::ReadVersionBlock(std::string_view(copy).substr(0, random() % 2 ? copy.size() : dataEnd));
    if (!block) continue;
    ++stillRead;
    if (block->fixedInfoOffset) {
      EXPECT_LE(*block->fixedInfoOffset + pe::kFixedFileInfoSize, block->bytes.size());
      EXPECT_TRUE(pe::ReadFixedVersion(block->bytes, *block->fixedInfoOffset));
    }
    (void)pe::QueryString(block->bytes, "\\StringFileInfo\\040904B0\\FileVersion");
    (void)pe::QueryValue(block->bytes, "\\VarFileInfo\\Translation");
  }
  // Damage to unused header bytes leaves the resource readable: the loop did test reads.
  EXPECT_GT(stillRead, 100);
}

}  // namespace
