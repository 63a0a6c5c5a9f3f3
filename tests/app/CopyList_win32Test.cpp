// The copy list's copying: what is found, what is copied, and the one message per failure.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/CopyList.h"
#include "framework/Classes.h"
#include "framework/Dialogs.h"
#include "support/TestPaths.h"
#include "text/Utf8Path.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

struct Shown {
  std::string text;
  TMsgDlgType kind;
  std::uint32_t buttons;
};

class CopyListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_support::FreshTempDir("copy-list");
    fs::create_directories(root_ / "source");
    fs::create_directories(root_ / "installed");
    SetMessageDlgHandler([this](const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
      shown_.push_back({text, kind, buttons.Bits()});
      return mrOk;
    });
  }
  void TearDown() override { SetMessageDlgHandler(nullptr); }

  bool Copy(const std::vector<std::string>& names, const fs::path& target) {
    TStringList list;
    for (const std::string& n : names) list.Add(n);
    return CopyNamedFiles(text::PathToUtf8(root_ / "source") + "\\", text::PathToUtf8(target), list);
  }
  bool Copy(const std::vector<std::string>& names) { return Copy(names, root_ / "installed"); }

  static std::string Missing(const std::string& n) {
    return "コピーするファイルがありません！ファイル名は[" + n + "]\r\n\r\nファイル名をメモしてケルモ工業までご連絡ください.";
  }
  static std::string Failed(const std::string& n) {
    return "ファイル名[ " + n + " ]をコピーできませんでした！\r\n\r\nファイル名をメモしてケルモ工業までご連絡ください.";
  }
  static constexpr std::uint32_t kOkOnly = TMsgDlgButtons{mbOK}.Bits();

  fs::path root_;
  std::vector<Shown> shown_;
};

TEST_F(CopyListTest, EmptyListReturnsFalseAtOnceWithoutAMessage) {
  EXPECT_FALSE(Copy({}));
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(fs::is_empty(root_ / "installed"));
}

TEST_F(CopyListTest, EveryFileCopiedReturnsTrueSilentlyAndReplacesWhatIsThere) {
  WriteFileBytes(root_ / "source" / "A.INI", "new a");
  WriteFileBytes(root_ / "source" / "B.DLL", "new b");
  WriteFileBytes(root_ / "installed" / "A.INI", "old a, longer than the new one");
  EXPECT_TRUE(Copy({"A.INI", "B.DLL"}));
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(ReadFileBytes(root_ / "installed" / "A.INI"), "new a");
  EXPECT_EQ(ReadFileBytes(root_ / "installed" / "B.DLL"), "new b");
}

TEST_F(CopyListTest, MissingFirstFileIsReportedAndTheSecondIsStillCopied) {
  WriteFileBytes(root_ / "source" / "B.DLL", "b");
  EXPECT_FALSE(Copy({"GONE.EXE", "B.DLL"}));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, Missing("GONE.EXE"));
  EXPECT_EQ(shown_[0].kind, mtError);
  EXPECT_EQ(shown_[0].buttons, kOkOnly);
  EXPECT_EQ(ReadFileBytes(root_ / "installed" / "B.DLL"), "b");
}

TEST_F(CopyListTest, FolderCountsAsFoundButCannotBeCopied) {
  fs::create_directories(root_ / "source" / "SUB");
  EXPECT_FALSE(Copy({"SUB"}));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, Failed("SUB"));
  EXPECT_EQ(shown_[0].kind, mtError);
}

TEST_F(CopyListTest, HiddenAndReadOnlyFilesAreFoundAndCopied) {
  const fs::path hidden = root_ / "source" / "H.INI";
  WriteFileBytes(hidden, "h");
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(Copy({"H.INI"}));
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(ReadFileBytes(root_ / "installed" / "H.INI"), "h");
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((root_ / "installed" / "H.INI").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyListTest, MissingDestinationIsNotCreatedAndEveryCopyIsReported) {
  WriteFileBytes(root_ / "source" / "A.INI", "a");
  WriteFileBytes(root_ / "source" / "B.INI", "b");
  EXPECT_FALSE(Copy({"A.INI", "B.INI"}, root_ / "nowhere"));
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0].text, Failed("A.INI"));
  EXPECT_EQ(shown_[1].text, Failed("B.INI"));
  EXPECT_FALSE(fs::exists(root_ / "nowhere"));
}

}  // namespace
