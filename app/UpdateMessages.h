#pragma once
// Every text the update run and the copy list show, UTF-8. "\r\n\r\n" and "\n\r\n\r" are the
// line breaks as the texts have them; the two differ on purpose.

#include <string>

#include "migration/CheckMessages.h"
#include "app/ProgramFiles.h"

namespace updatemsg {

inline constexpr char kBrowseTitle[] =
    "トヴォ顧客管理システムのフォルダが見つかりません。インストールしてありますフォルダを指定してください.";
inline constexpr char kNotInstalled[] =
    "「Norvex」トヴォ顧客管理システムがインストールされていないパソコンか\r\n\r\n"
    "削除されています？　アップデートは中止します。";
inline constexpr char kRunning[] =
    "アップデートプログラムを実行するには、トヴォ顧客管理システムを終了してください。";
inline constexpr char kAlreadyCurrent[] =
    "Norvexトヴォ顧客管理システムは最新のバージョンにアップされています\n\r\n\r"
    "システムのデータ構造の修正だけを行いますか？";
inline constexpr char kCancelled[] =
    "アップデートを中止しました、アップデートプログラムを終了してください。";
inline constexpr char kConfirm[] = "アップデートを実行します、よろしいでしょうか？";
// Ends with an ideographic space.
inline constexpr char kDataStructureFailed[] =
    "アップデートは終了しましたが、システムのデータ構造のアップデートが出来なかったです。"
    "弊社までご連絡下さい早急に対応いたします　";
inline constexpr char kFinished[] =
    "アップデートが終了しました、アップデートプログラムを終了します。";
inline constexpr char kError[] =
    "エラーが出たのでアップデートを中止しました、アップデートプログラムを終了します。";

// Copy list. The missing-file text has the name right inside the brackets, the copy-failed
// text with a blank on either side.
inline constexpr char kContactUs[] = "ファイル名をメモしてケルモ工業までご連絡ください.";
inline std::string FileMissing(const std::string& name) {
  return "コピーするファイルがありません！ファイル名は[" + name + "]\r\n\r\n" + kContactUs;
}
inline std::string CopyFailed(const std::string& name) {
  return "ファイル名[ " + name + " ]をコピーできませんでした！\r\n\r\n" + kContactUs;
}

// Checked with the rest before anything changes (the table and folder texts are in
// migration/CheckMessages.h).
inline std::string NetworkDriveUnreachable(char letter, const std::string& remotePath) {
  return std::string("ネットワークドライブ[") + letter + ":]（" + remotePath + "）に接続できません。"
         "ネットワークに接続できることを確かめてから、もう一度アップデートを実行してください。" + kCheckStopped;
}

// The program files the extraction will replace, checked with the rest.
inline std::string PathTooLong(const std::string& path) {
  return "フォルダまたはファイルの名前[" + path + "]が長すぎます。もっと短い名前のフォルダに移してから、"
         "もう一度アップデートを実行してください。" + kCheckStopped;
}
inline std::string ProgramFileReadOnly(const std::string& file) {
  return "プログラムファイル[" + file + "]は読み取り専用になっています。読み取り専用を解除してから、"
         "もう一度アップデートを実行してください。" + kCheckStopped;
}
inline std::string ProgramFileInUse(const std::string& file) {
  return "プログラムファイル[" + file + "]はほかのプログラムが使用中です。"
         "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kCheckStopped;
}
inline std::string ProgramFileNotWritable(const std::string& file, const std::string& reason) {
  return "プログラムファイル[" + file + "]に書き込むことができません。書き込みができるようにしてから、"
         "もう一度アップデートを実行してください。\r\n\r\n" + reason + kCheckStopped;
}
inline std::string ProgramFilesProblem(const programfiles::InstallProblem& p) {
  using Kind = programfiles::InstallProblem::Kind;
  switch (p.kind) {
    case Kind::kPathTooLong: return PathTooLong(p.path);
    case Kind::kReadOnly: return ProgramFileReadOnly(p.path);
    case Kind::kInUse: return ProgramFileInUse(p.path);
    case Kind::kNotWritable: return ProgramFileNotWritable(p.path, p.reason);
    case Kind::kFolderNotWritable: break;
  }
  return FolderNotWritable(p.path, p.reason);
}

// Kept program files of an interrupted run that could not all be put back: the run stops, and
// says nothing of "nothing changed", since some may have been.
inline std::string ProgramFilesNotPutBack(const std::string& folder) {
  return "前回のアップデートで保存したプログラムファイルを元に戻すことができませんでした。"
         "保存したファイルはフォルダ[" + folder + "]に残してあります。弊社までご連絡ください。"
         "\r\n\r\nアップデートは中止しました。";
}

}  // namespace updatemsg
