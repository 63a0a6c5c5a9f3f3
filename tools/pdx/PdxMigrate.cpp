#include "tools/pdx/PdxMigrate.h"

#include <algorithm>
#include <exception>

#include "migration/MigrateTables.h"
#include "migration/SettleInterrupted.h"
#include "migration/UpdateCheck.h"

namespace pdx {
namespace {

constexpr int kBarWidth = 30;

std::string KindName(migration::MessageKind kind) {
  switch (kind) {
    case migration::MessageKind::Warning: return "警告";
    case migration::MessageKind::Error: return "エラー";
    case migration::MessageKind::Information: return "情報";
    case migration::MessageKind::Confirmation: return "確認";
    case migration::MessageKind::Plain: return "";
  }
  return "";
}

// The progress window as a line redrawn in place; messages as text, answered by their first
// button (a console has no one to ask, and every message of the migration has one button).
class ConsoleUi : public migration::MigrationUi {
 public:
  explicit ConsoleUi(std::ostream& out) : out_(out) {}
  void CreateProgress() override { position_ = 0; }
  void SetProgressMax(int max) override { max_ = std::max(max, 1); }
  void ShowProgress() override {
    shown_ = true;
    Draw();
  }
  void StepProgress(int delta) override {
    const int was = position_;
    position_ = std::min(max_, position_ + delta);
    if (shown_ && position_ != was) Draw();
  }
  void CloseProgress() override {
    if (!shown_) return;
    shown_ = false;
    out_ << "\n";
  }
  void SetBusyCursor(bool) override {}
  unsigned ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) override {
    if (shown_) out_ << "\n";
    const std::string title = KindName(kind);
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '\r', '\n');
    out_ << (title.empty() ? "" : "[" + title + "] ") << shown << "\n";
    if (shown_) Draw();
    return buttons & (~buttons + 1);  // the lowest button of the set
  }

 private:
  void Draw() {
    const int filled = position_ * kBarWidth / max_;
    out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << position_ << "/" << max_
         << std::flush;
  }

  std::ostream& out_;
  int max_ = 1;
  int position_ = 0;
  bool shown_ = false;
};

std::string AsLines(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

// As SETUP.EXE does before it changes anything: what an earlier run left interrupted is settled,
// then the tables are checked. False when the migration must not start; the reason is printed.
bool SettleAndCheck(const std::string& live, const std::string& demo, std::ostream& out) {
  const std::vector<updatecheck::AliasFolder> folders{{"Tovo", live}, {"TovoDemo", demo}};
  const migration::SettleReport settled = migration::SettleInterrupted(folders);
  for (const std::string& line : settled.Lines()) out << "settled: " << line << "\n";
  if (settled.failure) {
    out << "[エラー] " << AsLines(*settled.failure) << "\n";
    return false;
  }
  if (auto problem = updatecheck::CheckBeforeUpdate(folders, settled.Lines())) {
    out << "check: [エラー] " << AsLines(*problem) << "\n";
    return false;
  }
  out << "check passed\n";
  return true;
}

}  // namespace

int RunMigrate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string live, demo;
  for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--live") live = args[i + 1];
    else if (args[i] == "--demo") demo = args[i + 1];
    else live.clear(), demo.clear(), i = args.size();
  }
  if (args.size() != 5 || live.empty() || demo.empty()) {
    err << "usage: pdx migrate --live DIR --demo DIR\n";
    return 2;
  }
  ConsoleUi ui(out);
  try {
    if (!SettleAndCheck(live, demo, out)) return 1;
    bool done = migration::MigrateTables(ui, migration::AliasFolders(live, demo));
    out << (done ? "migration complete\n" : "migration ended early\n");
    return done ? 0 : 1;
  } catch (const std::exception& e) {
    out << "\n";
    err << "pdx migrate: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace pdx
