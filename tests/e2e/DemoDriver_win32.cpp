// demo-driver SETUP.EXE SHOTS_DIR: runs the update as a user who goes ahead would. Starts
// SETUP.EXE, saves a picture of every window it meets, presses the update button, answers each
// message box with Yes (or its only other button), and prints each box's title, text and
// buttons as UTF-8, to standard output and to SHOTS_DIR\driver.log (started from Wine's
// virtual desktop, the program's standard output may lead nowhere). Exit code: SETUP.EXE's,
// or 2 when it could not be driven to its end.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "GuiDriver.h"
#include "SetupProcess.h"
#include "text/CodePage.h"

namespace {

using namespace std::chrono_literals;

std::FILE* gLog = nullptr;

void Print(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
  if (gLog) {
    std::fwrite(utf8.data(), 1, utf8.size(), gLog);
    std::fflush(gLog);
  }
}

std::string Visible(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return s;
}

// The answer of a user who goes ahead: Yes where it is offered, else OK, else whatever there is.
std::string Choice(const std::vector<std::string>& buttons) {
  for (const char* wanted : {"はい(&Y)", "OK", "中止(&A)"})
    for (const std::string& b : buttons)
      if (b == wanted) return b;
  return buttons.empty() ? std::string() : buttons.front();
}

class Driver {
 public:
  Driver(const std::wstring& exe, const std::string& shots) : setup_(exe), shots_(shots) {}

  int Run() {
    HWND form = setup_.WaitForWindow(L"「Norvex」アップデート", 60s);
    if (!form) return Fail("the update window did not open");
    Shot(form, "update-window");
    HWND button = gui::FindChildByText(form, "アップデート実行");
    if (!button) return Fail("no update button");
    Print("Pressing the update button\n");
    e2e::ClickMiddle(button);
    pressed_ = std::chrono::steady_clock::now();
    const auto deadline = std::chrono::steady_clock::now() + 20min;
    while (std::chrono::steady_clock::now() < deadline) {
      if (auto code = setup_.WaitForExit(0ms)) {
        Print("SETUP.EXE ended with exit code " + std::to_string(*code) + "\n");
        return static_cast<int>(*code);
      }
      for (HWND w : setup_.TopLevelWindows()) {
        if (seen_.count(w)) continue;
        const std::string cls = gui::ClassName(w);
        if (cls == "TMessageForm" || cls == "#32770") {
          AnswerBox(w);
        } else if (w != form) {
          seen_.insert(w);
          Shot(w, "window");
          Print("Window: " + gui::GetText(w) + "\n");
        }
      }
      std::this_thread::sleep_for(50ms);
    }
    return Fail("SETUP.EXE did not end in time");
  }

 private:
  void AnswerBox(HWND box) {
    std::vector<std::string> buttons;
    std::string text;
    for (const gui::ChildInfo& c : gui::Children(box)) {
      if (_stricmp(c.className.c_str(), "Button") == 0 && c.visible) buttons.push_back(c.text);
      else if (_stricmp(c.className.c_str(), "Static") == 0 && !c.text.empty() && text.empty()) text = c.text;
    }
    if (buttons.empty()) return;  // not built yet: looked at again on the next round
    seen_.insert(box);
    std::string list;
    for (const std::string& b : buttons) list += (list.empty() ? "" : ", ") + b;
    Print("Message box\n  title:   " + gui::GetText(box) + "\n  text:    " + Visible(text) + "\n  buttons: " + list +
          "\n  shown:   " + Seconds() + "\n");
    Shot(box, "message");
    const std::string answer = Choice(buttons);
    Print("  answer:  " + answer + "\n");
    gui::PressButton(box, answer);
    Print("  pressed: " + Seconds() + "\n");
  }

  void Shot(HWND w, const std::string& what) {
    Sleep(300);  // let it finish painting
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.png", ++shotCount_, what.c_str());
    const std::string path = shots_ + "\\" + name;
    if (gui::SaveWindowPng(w, path)) Print("Screenshot: " + std::string(name) + "\n");
  }

  // Seconds since the update button was pressed, for timing the run from the log.
  std::string Seconds() const {
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - pressed_;
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", d.count());
    return text;
  }
  int Fail(const std::string& why) {
    Print("demo-driver: " + why + "\n");
    return 2;
  }

  e2e::SetupProcess setup_;
  std::string shots_;
  std::set<HWND> seen_;
  int shotCount_ = 0;
  std::chrono::steady_clock::time_point pressed_ = std::chrono::steady_clock::now();
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    Print("usage: demo-driver SETUP.EXE SHOTS_DIR\n");
    return 2;
  }
  gLog = _wfopen((std::wstring(argv[2]) + L"\\driver.log").c_str(), L"wb");
  try {
    return Driver(argv[1], text::Narrow(argv[2])).Run();
  } catch (const std::exception& e) {
    Print(std::string("demo-driver: ") + e.what() + "\n");
    return 2;
  }
}
