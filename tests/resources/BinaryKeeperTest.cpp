// TbinaryKeeper: what it takes in at design time, what it writes to form data and reads back,
// and the update window's own keeper as the build compiled it.

#include "resources/BinaryKeeper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

std::filesystem::path BuildFile(const char* relative) {
  return testing_support::BinaryDir() / relative;
}

// A root holding one keeper, as a designer would lay it out on a form.
class TKeeperForm : public TComponent {
  FW_CLASS(TKeeperForm, TComponent)
  explicit TKeeperForm(TComponent* owner) : TComponent(owner) {}
  TbinaryKeeper* Keeper = nullptr;
  void ReadFormData(const std::string& data) {
    TReader(data, ComponentState().Contains(csDesigning) ? TReader::Mode::kDesign : TReader::Mode::kRunTime)
        .ReadRootComponent(this);
  }
};

const TClassInfo& TKeeperForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TKeeperForm>("TKeeperForm", &TComponent::StaticClass())
                                     .Field("Keeper", &TKeeperForm::Keeper)
                                     .Build();
  return info;
}

std::unique_ptr<TKeeperForm> DesignForm() {
  auto form = std::make_unique<TKeeperForm>(nullptr);
  form->SetName("KeeperForm");
  form->SetDesigning(true);
  form->Keeper = new TbinaryKeeper(form.get());
  form->Keeper->SetName("Keeper");
  form->Keeper->SetDesigning(true);
  return form;
}

std::unique_ptr<TKeeperForm> LoadForm(const std::string& data) {
  auto form = std::make_unique<TKeeperForm>(nullptr);
  form->ReadFormData(data);
  return form;
}

// The payload of the "Data" property as it lies in the stream: the bytes after "Data" 0A and
// the 4-byte block length. Found by the documented layout, not through the reader.
std::string DataBlock(const std::string& stream) {
  const std::string key = std::string("\x04" "Data\x0A", 6);
  size_t at = stream.find(key);
  if (at == std::string::npos) return "<no Data property>";
  at += key.size();
  auto b = [&](size_t i) { return static_cast<unsigned char>(stream.at(at + i)); };
  size_t length = b(0) | (b(1) << 8) | (b(2) << 16) | (static_cast<size_t>(b(3)) << 24);
  return stream.substr(at + 4, length);
}

class BinaryKeeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir("BinaryKeeperTest");
  }
  void TearDown() override { SetDesignFileResolver(nullptr); }
  std::filesystem::path dir_;
};

TEST_F(BinaryKeeperTest, UpdateWindowKeepsTheShiftJisReadme) {
  std::string form = ReadFileBytes(BuildFile("resources/TUPDATEFORM.bin"));
  std::string readme = ReadFileBytes(BuildFile("resources/N_UpDate.TXT"));
  std::string utf8 = ReadFileBytes(testing_support::SourceDir() / "resources" / "N_UpDate.txt");
  ASSERT_GT(readme.size(), 1000u);

  EXPECT_EQ(readme.size(), 6260u) << "the readme this update carries is 6,260 bytes of Shift-JIS";
  const std::string stored = "E:\\My Documents\\TOVO\\UpDate\\N_UpDate.TXT";
  EXPECT_NE(form.find(std::string("\x08" "Filename" "\x06", 10) + static_cast<char>(stored.size()) + stored),
            std::string::npos)
      << "the design-time name is kept as the text gives it";

  // The kept bytes are Shift-JIS, not the UTF-8 of the repository: they begin with the
  // heading, and their first line converts back to the source's.
  std::optional<std::string> heading = text::FromUtf8("「Norvex」トヴォ顧客管理システム");
  ASSERT_TRUE(heading);
  EXPECT_EQ(readme.substr(0, heading->size()), *heading);
  std::string firstLine = utf8.substr(0, utf8.find("\r\n"));
  std::string keptFirstLine = readme.substr(0, readme.find("\r\n"));
  EXPECT_NE(keptFirstLine, firstLine);
  EXPECT_EQ(text::ToUtf8(keptFirstLine), firstLine);

  // The block in the stream: 4-byte count, then the bytes.
  std::string block = DataBlock(form);
  ASSERT_EQ(block.size(), readme.size() + 4);
  std::uint32_t n = static_cast<unsigned char>(block[0]) | static_cast<unsigned char>(block[1]) << 8 |
                    static_cast<unsigned char>(block[2]) << 16 |
                    static_cast<std::uint32_t>(static_cast<unsigned char>(block[3])) << 24;
  EXPECT_EQ(n, readme.size());
  EXPECT_EQ(block.substr(4), readme);
}

TEST_F(BinaryKeeperTest, KeeperWithoutDataWritesAnEmptyBlockAndReadsBackEmptyData) {
  auto form = DesignForm();
  EXPECT_EQ(form->Keeper->stream(), nullptr);
  std::string data = WriteComponentToBytes(form.get());
  EXPECT_EQ(DataBlock(data), "");

  auto loaded = LoadForm(data);
  ASSERT_NE(loaded->Keeper, nullptr);
  ASSERT_NE(loaded->Keeper->stream(), nullptr) << "an empty block still creates the kept data";
  EXPECT_EQ(loaded->Keeper->stream()->Size(), 0u);
  EXPECT_EQ(loaded->Keeper->Size(), 0);
  EXPECT_EQ(loaded->Keeper->Filename(), "");
}

TEST_F(BinaryKeeperTest, KeeperOfAnEmptyFileWritesOnlyTheCount) {
  WriteFileBytes(dir_ / "empty.txt", "");
  auto form = DesignForm();
  form->Keeper->SetFilename((dir_ / "empty.txt").string());
  ASSERT_NE(form->Keeper->stream(), nullptr);
  EXPECT_EQ(form->Keeper->Size(), 0);

  std::string data = WriteComponentToBytes(form.get());
  EXPECT_EQ(DataBlock(data), std::string(4, '\0'));

  auto loaded = LoadForm(data);
  ASSERT_NE(loaded->Keeper->stream(), nullptr);
  EXPECT_EQ(loaded->Keeper->stream()->Size(), 0u);
  EXPECT_EQ(loaded->Keeper->Size(), 0);
  EXPECT_EQ(loaded->Keeper->Filename(), (dir_ / "empty.txt").string());
}

TEST_F(BinaryKeeperTest, DesignTimeFilenameTakesTheFileInThroughTheResolver) {
  std::string bytes("\x82\xA0\x00\r\n\xFF", 6);
  WriteFileBytes(dir_ / "real.bin", bytes);
  std::string real = (dir_ / "real.bin").string();
  SetDesignFileResolver([real](const std::string& name) {
    return name == "E:\\stored.TXT" ? real : name;
  });
  auto form = DesignForm();
  form->Keeper->SetFilename("E:\\stored.TXT");
  EXPECT_EQ(form->Keeper->Filename(), "E:\\stored.TXT");
  EXPECT_EQ(form->Keeper->Size(), 6);
  ASSERT_NE(form->Keeper->stream(), nullptr);
  EXPECT_EQ(form->Keeper->stream()->Bytes(), bytes);

  std::string block = DataBlock(WriteComponentToBytes(form.get()));
  EXPECT_EQ(block, std::string("\x06\x00\x00\x00", 4) + bytes);

  // Run time: the stored name only, the bytes from the block.
  SetDesignFileResolver(nullptr);
  auto loaded = LoadForm(WriteComponentToBytes(form.get()));
  EXPECT_EQ(loaded->Keeper->Filename(), "E:\\stored.TXT");
  EXPECT_EQ(loaded->Keeper->stream()->Bytes(), bytes);
}

TEST_F(BinaryKeeperTest, DesignTimeFilenameOfAMissingFileDropsNameAndData) {
  WriteFileBytes(dir_ / "a.txt", "abc");
  auto form = DesignForm();
  form->Keeper->SetFilename((dir_ / "a.txt").string());
  ASSERT_EQ(form->Keeper->Size(), 3);
  form->Keeper->SetFilename((dir_ / "missing.txt").string());
  EXPECT_EQ(form->Keeper->Filename(), "");
  EXPECT_EQ(form->Keeper->stream(), nullptr);
  EXPECT_EQ(form->Keeper->Size(), 0);
  EXPECT_EQ(DataBlock(WriteComponentToBytes(form.get())), "");
}

TEST_F(BinaryKeeperTest, RunTimeFilenameIsIgnored) {
  WriteFileBytes(dir_ / "a.txt", "kept");
  WriteFileBytes(dir_ / "b.txt", "other bytes");
  auto form = DesignForm();
  form->Keeper->SetFilename((dir_ / "a.txt").string());
  auto loaded = LoadForm(WriteComponentToBytes(form.get()));
  ASSERT_FALSE(loaded->Keeper->ComponentState().Contains(csLoading));

  loaded->Keeper->SetFilename((dir_ / "b.txt").string());
  EXPECT_EQ(loaded->Keeper->Filename(), (dir_ / "a.txt").string());
  EXPECT_EQ(loaded->Keeper->stream()->Bytes(), "kept");
  EXPECT_EQ(loaded->Keeper->Size(), 4);

  TbinaryKeeper fresh(nullptr);
  fresh.SetFilename((dir_ / "b.txt").string());
  EXPECT_EQ(fresh.Filename(), "");
  EXPECT_EQ(fresh.stream(), nullptr);
}

TEST_F(BinaryKeeperTest, SizeIsPublishedReadOnlyAndNeverStored) {
  const TPropInfo* size = TbinaryKeeper::StaticClass().FindProperty("Size");
  ASSERT_NE(size, nullptr);
  EXPECT_TRUE(size->readOnly);
  const TPropInfo* name = TbinaryKeeper::StaticClass().FindProperty("Filename");
  ASSERT_NE(name, nullptr);
  EXPECT_FALSE(name->readOnly);

  WriteFileBytes(dir_ / "a.txt", "abc");
  auto form = DesignForm();
  form->Keeper->SetFilename((dir_ / "a.txt").string());
  std::string data = WriteComponentToBytes(form.get());
  EXPECT_EQ(data.find("\x04Size"), std::string::npos);
  EXPECT_NE(data.find("\x08" "Filename"), std::string::npos);
}

// Damaged blocks: the count is checked against what the block holds.
TEST_F(BinaryKeeperTest, CorruptDataBlocksAreRejected) {
  WriteFileBytes(dir_ / "a.txt", "abcdef");
  auto form = DesignForm();
  form->Keeper->SetFilename((dir_ / "a.txt").string());
  std::string good = WriteComponentToBytes(form.get());
  size_t at = good.find(std::string("\x04" "Data\x0A", 6));
  ASSERT_NE(at, std::string::npos);
  size_t count = at + 6 + 4;

  std::string tooLong = good;
  tooLong[count] = 7;  // one more byte than the block has
  EXPECT_THROW(LoadForm(tooLong), EReadError);

  std::string huge = good;
  huge[count + 3] = '\x80';
  EXPECT_THROW(LoadForm(huge), EReadError);

  // A block of 2 bytes cannot hold the count.
  std::string shortBlock = good.substr(0, at + 6) + std::string("\x02\x00\x00\x00" "\x06\x00", 6) +
                           good.substr(count + 4 + 6);
  EXPECT_THROW(LoadForm(shortBlock), EReadError);
}

}  // namespace
