#pragma once
// The texts of the check before changes and of the settling of an interrupted update, UTF-8:
// what stops the update while the window stays open. Each names the folder or table and says
// what the user can do.

#include <string>
#include <string_view>
#include <vector>

namespace updatemsg {

inline constexpr char kCheckStopped[] = "\r\n\r\nアップデートは中止しました。何も変更していません。";
inline std::string AliasMissing(const std::string& alias) {
  return "データベースの別名「" + alias + "」のフォルダが正しく設定されていません。" + kCheckStopped;
}
inline std::string FolderMissing(const std::string& alias, const std::string& folder) {
  return "データベースの別名「" + alias + "」のフォルダ[" + folder + "]が見つかりません。" + kCheckStopped;
}
inline std::string TableMissing(const std::string& table) {
  return "テーブル[" + table + "]がありません。" + kCheckStopped;
}
inline std::string TableInUse(const std::string& table) {
  return "テーブル[" + table + "]はほかのプログラムが使用中です。"
         "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kCheckStopped;
}
inline std::string TableDamaged(const std::string& table, const std::string& reason) {
  return "テーブル[" + table + "]が壊れています。弊社までご連絡ください。\r\n\r\n" + reason + kCheckStopped;
}
inline std::string TableUnreadable(const std::string& table, const std::string& reason) {
  return "テーブル[" + table + "]を開けませんでした。\r\n\r\n" + reason + kCheckStopped;
}
inline std::string FolderNotWritable(const std::string& folder, const std::string& reason) {
  return "フォルダ[" + folder + "]に書き込むことができません。書き込みができるようにしてから、"
         "もう一度アップデートを実行してください。\r\n\r\n" + reason + kCheckStopped;
}
inline std::string DiskFull(const std::string& folder, unsigned long long neededMb) {
  return "ディスクの空き容量が足りません。フォルダ[" + folder + "]のドライブにあと" +
         std::to_string(neededMb) + "MB以上の空きが必要です。" + kCheckStopped;
}

// The last line of a refusal when settling an interrupted update changed files first: what it
// completed or undid, one line each, instead of "nothing was changed".
inline std::string StoppedAfterSettling(const std::vector<std::string>& settled) {
  std::string text = "\r\n\r\nアップデートは中止しました。前回中断された更新の後始末として、次のことだけを行いました。";
  for (const std::string& line : settled) text += "\r\n・" + line;
  return text;
}
// `refusal` (which ends with kCheckStopped) as shown after settling did `settled`.
inline std::string AfterSettling(std::string refusal, const std::vector<std::string>& settled) {
  if (settled.empty()) return refusal;
  const std::string_view stopped = kCheckStopped;
  if (refusal.size() >= stopped.size() && refusal.compare(refusal.size() - stopped.size(), stopped.size(), stopped) == 0)
    refusal.resize(refusal.size() - stopped.size());
  return refusal + StoppedAfterSettling(settled);
}
inline std::string SettledCompleted(const std::string& table) {
  return "テーブル[" + table + "]の中断された更新を最後まで行いました";
}
inline std::string SettledUndone(const std::string& table) {
  return "テーブル[" + table + "]の中断された更新を取り消し、元のテーブルに戻しました";
}
inline std::string ProgramFilesPutBack(const std::string& folder) {
  return "フォルダ[" + folder + "]のプログラムファイルを前回のアップデートの前の状態に戻しました";
}
// The failure line of a table that only has its fields widened, before the engine's text.
inline std::string WidenedTableFailed(const std::string& table) {
  return "テーブル[" + table + "]の更新に失敗しました";
}

}  // namespace updatemsg
