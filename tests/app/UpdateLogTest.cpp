// SETUP.LOG itself. Built natively too: the log touches no window.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/UpdateLog.h"
#include "support/TestPaths.h"
#include "text/Utf8Path.h"

namespace {

namespace fs = std::filesystem;

TEST(UpdateLogFileTest, BomOnceLinesAppendedBreaksShownAsEscapes) {
  const fs::path dir = testing_support::FreshTempDir("update-log");
  {
    UpdateLog log(text::PathToUtf8(dir));
    log.Write("first");
    log.WriteMessage(MsgDlgTitle(mtError), "a\r\n\r\nb", {mbYes});
    log.WriteAnswer(mrYes);
  }
  UpdateLog(text::PathToUtf8(dir)).Write("second run");
  const std::string bytes = testing_support::ReadFileBytes(dir / "SETUP.LOG");
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos) << "one byte-order mark only";
  EXPECT_NE(bytes.find("  first\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("Message box [エラー] buttons [はい(&Y)]: a\\r\\n\\r\\nb\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("  Answer: Yes\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("  second run\r\n"), std::string::npos);
  EXPECT_LT(bytes.find("first"), bytes.find("second run"));
}

TEST(UpdateLogFileTest, UnwritableLogIsGivenUpSilently) {
  const fs::path dir = testing_support::FreshTempDir("update-log-blocked");
  fs::create_directories(dir / "SETUP.LOG");  // a folder where the file would go
  UpdateLog log(text::PathToUtf8(dir));
  EXPECT_NO_THROW(log.Write("lost"));
  EXPECT_NO_THROW(log.Write("lost too"));
  EXPECT_TRUE(fs::is_directory(dir / "SETUP.LOG"));
  UpdateLog nowhere(text::PathToUtf8(dir / "no" / "such" / "folder"));
  EXPECT_NO_THROW(nowhere.Write("lost"));
  EXPECT_FALSE(fs::exists(dir / "no"));
}

}  // namespace
