#include "app/UpdateLog.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

#include "text/Utf8Path.h"

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

std::string Now() {
  std::time_t t = std::time(nullptr);
  // The program has one thread, so the C library's shared result is safe here.
  const std::tm* local = std::localtime(&t);
  char buf[32] = "";
  if (local) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", local);
  return buf;
}


std::string ButtonNames(TMsgDlgButtons buttons) {
  std::string s;
  for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore})
    if (buttons.Contains(b)) s += (s.empty() ? "" : ", ") + MsgDlgButtonCaption(b);
  return s;
}

}  // namespace

UpdateLog::UpdateLog(const std::string& folder)
    : FPath(text::PathFromUtf8(folder) / kFileName) {}

void UpdateLog::Write(const std::string& line) {
  if (FGivenUp) return;
  try {
    std::error_code ec;
    const bool fresh = !std::filesystem::exists(FPath, ec) || std::filesystem::file_size(FPath, ec) == 0;
    std::ofstream out(FPath, std::ios::binary | std::ios::app);
    if (!out) {
      FGivenUp = true;
      return;
    }
    if (fresh) out << kBom;
    // One entry a line: breaks inside a message are shown as the escapes support staff know.
    std::string escaped;
    for (char c : line) {
      if (c == '\r') escaped += "\\r";
      else if (c == '\n') escaped += "\\n";
      else escaped += c;
    }
    out << Now() << "  " << escaped << "\r\n";
    if (!out.flush()) FGivenUp = true;
  } catch (...) {
    FGivenUp = true;
  }
}

void UpdateLog::WriteMessage(const std::string& caption, const std::string& text, TMsgDlgButtons buttons) {
  // The caption as the box shows it, so that support staff can match a user's account of it.
  Write("Message box [" + caption + "] buttons [" + ButtonNames(buttons) + "]: " + text);
}

void UpdateLog::WriteAnswer(TModalResult result) {
  static const char* const kNames[] = {"none", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
  const std::string name = result >= 0 && result <= 7 ? kNames[result] : std::to_string(result);
  Write("Answer: " + name);
}
