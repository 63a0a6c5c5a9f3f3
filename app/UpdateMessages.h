#pragma once
// Every text the update run and the copy list show, UTF-8. "\r\n\r\n" and "\n\r\n\r" are the
// line breaks as the texts have them; the two differ on purpose.

#include <string>

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

}  // namespace updatemsg
