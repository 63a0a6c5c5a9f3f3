// SETUP.EXE's MigrateTables on real windows under the aliases of an engine configuration: the
// progress window appears while it works and is gone when it returns, and a failure's message
// is read from the dialog itself.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "GuiDriver.h"
#include "app/Migrate.h"
#include "migration/MigrateTables.h"
#include "app/Progres.h"
#include "engine/Session.h"
#include "framework/Controls.h"
#include "framework/Forms.h"
#include "paradox/EngineConfig.h"
#include "support/TestPaths.h"
#include "tools/sample/SampleInstallation.h"

namespace {

using testing_support::BinaryDir;
using testing_support::ReadFileBytes;

std::string Utf8(const std::filesystem::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

bool& ProgressShown() {
  static bool shown = false;
  return shown;
}

bool& HourglassWhenShown() {
  static bool hourglass = false;
  return hourglass;
}

LRESULT CALLBACK WatchShowWindow(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam) {
    wchar_t title[64] = {};
    GetWindowTextW(message->hwnd, title, 64);
    if (std::wstring(title) == L"Norvex Update") {
      ProgressShown() = true;
      HourglassWhenShown() = Screen->Cursor() == crHourGlass;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class MigrateWin32 : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    RegisterFormResource("TPROGRESFORM", ReadFileBytes(BinaryDir() / "resources" / "TPROGRESFORM.bin"));
  }
  void TearDown() override { Session().SetConfigFile({}); }

  // A sample installation whose folders the aliases Tovo and TovoDemo name.
  void Prepare(const std::string& name, sample::SampleOptions options) {
    std::filesystem::path dir = testing_support::FreshTempDir(name);
    options.liveFolder = Utf8(dir / "Data");
    options.demoFolder = Utf8(dir / "Demo");
    paradox::EngineConfig config;
    config.SetStandardAlias("Tovo", options.liveFolder);
    config.SetStandardAlias("TovoDemo", options.demoFolder);
    config.Save(dir / "IDAPI32.CFG");
    Session().SetConfigFile(dir / "IDAPI32.CFG");
    sample::WriteSampleInstallation(options);
    live_ = options.liveFolder;
    demo_ = options.demoFolder;
  }
  std::vector<updatecheck::AliasFolder> AliasFolders() const { return migration::AliasFolders(live_, demo_); }
  std::string live_;
  std::string demo_;
};

TEST_F(MigrateWin32, TheProgressWindowComesAndGoes) {
  Prepare("migrate-win32-ok", {.customers = 30, .demoCustomers = 4});
  // A small migration can be over before another thread looks, so the window is watched from
  // inside this thread: a hook sees it being shown, and the pointer at that moment.
  ProgressShown() = false;
  HourglassWhenShown() = false;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchShowWindow, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  bool migrated = MigrateTables(AliasFolders());
  UnhookWindowsHookEx(hook);
  EXPECT_TRUE(migrated);
  EXPECT_TRUE(ProgressShown());
  EXPECT_TRUE(HourglassWhenShown());
  EXPECT_EQ(ProgresForm, nullptr);
  EXPECT_EQ(gui::FindTopLevel("", "Norvex Update"), nullptr);  // hidden at once, destroyed by the loop
  EXPECT_EQ(Screen->Cursor(), crDefault);
  gui::Pump(50);
}

TEST_F(MigrateWin32, ADuplicateCustomerShowsTheCustomerMessageThenTheWindowGoes) {
  sample::SampleOptions o{.customers = 20, .demoCustomers = 4};
  o.duplicateKeys = {"kokyaku.db"};
  Prepare("migrate-win32-duplicate", o);
  std::string text;
  bool progressVisible = true;
  std::vector<std::string> buttons;
  gui::DriverThread driver([&] {
    HWND dlg = gui::WaitForTopLevel("TMessageForm", "", 60000);
    if (!dlg) return;
    progressVisible = gui::FindTopLevel("", "Norvex Update") != nullptr;
    for (const gui::ChildInfo& c : gui::Children(dlg)) {
      if (c.className == "Static" && !c.text.empty()) text = c.text;
      if (c.className == "Button") buttons.push_back(c.text);
    }
    gui::PressButton(dlg, "OK");
  });
  EXPECT_FALSE(MigrateTables(AliasFolders()));
  driver.Join();
  EXPECT_EQ(text.rfind("顧客テーブルの更新に失敗しました\r\r", 0), 0u) << text;
  EXPECT_NE(text.find("Key violation"), std::string::npos) << text;
  EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
  // The message comes while the progress window still shows; it goes right after.
  EXPECT_TRUE(progressVisible);
  EXPECT_EQ(ProgresForm, nullptr);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  gui::Pump(50);
}

}  // namespace
