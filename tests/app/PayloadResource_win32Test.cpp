// SavePayloadResource under Wine: this test program carries a resource PGM
// (PayloadResourceTest.rc); the class library's stream errors name the file and the system's
// error.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/PayloadResource.h"
#include "framework/StreamErrors.h"
#include "os/FaultInjection.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

namespace fs = std::filesystem;

fs::path P(const std::string& utf8) { return fs::path(text::Widen(utf8)); }
std::string U8(const fs::path& p) { return text::Narrow(p.wstring()); }

// The resource is a few bytes that include zeros, so a copy that stopped at the first zero would
// show.
TEST(SavePayloadResource, WritesTheWholeResourceReplacingAFile) {
  const fs::path dir = testing_support::FreshTempDir("fileops_save") / P("一時 folder");
  fs::create_directory(dir);
  testing_support::WriteFileBytes(dir / "N_UpDate120502.lzh", std::string(5000, 'x'));
  SavePayloadResource(U8(dir), "N_UpDate120502.lzh");
  HRSRC resource = FindResourceW(nullptr, L"PGM", MAKEINTRESOURCEW(10));
  ASSERT_NE(resource, nullptr);
  const std::string expected(static_cast<const char*>(LockResource(LoadResource(nullptr, resource))),
                             SizeofResource(nullptr, resource));
  ASSERT_GT(expected.size(), 16u);
  EXPECT_EQ(testing_support::ReadFileBytes(dir / "N_UpDate120502.lzh"), expected);
}

TEST(SavePayloadResource, UncreatableFileRaisesAStreamError) {
  const fs::path dir = testing_support::FreshTempDir("fileops_nofolder");
  try {
    SavePayloadResource(U8(dir / "missing"), "N_UpDate120502.lzh");
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("N_UpDate120502.lzh"), std::string::npos) << e.what();
  }
}

struct Disarm {
  ~Disarm() { os::DisarmFault(); }
};

TEST(SavePayloadResource, AFaultOnTheOpenOrTheWriteIsTheRealError) {
  const fs::path dir = testing_support::FreshTempDir("fileops_save_fault");
  testing_support::WriteFileBytes(dir / "N_UpDate120502.lzh", "an earlier file");
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kOpen});
  try {
    SavePayloadResource(U8(dir), "N_UpDate120502.lzh");
    ADD_FAILURE() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("(error 5)"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testing_support::ReadFileBytes(dir / "N_UpDate120502.lzh"), "an earlier file") << "never opened";

  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite});
  try {
    SavePayloadResource(U8(dir), "N_UpDate120502.lzh");
    ADD_FAILURE() << "no exception";
  } catch (const EFCreateError& e) {
    ADD_FAILURE() << "the open failed: " << e.what();
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("(error 112)"), std::string::npos) << e.what();
  }
  EXPECT_EQ(os::FaultsFired(), 1u);
}

}  // namespace
