#pragma once
// The update run's message texts as the user reads them, written out here rather than taken
// from the program, so that a changed text in the program fails the tests that show it.

namespace update_texts {

constexpr char kNotInstalled[] =
    "「Norvex」トヴォ顧客管理システムがインストールされていないパソコンか\r\n\r\n"
    "削除されています？　アップデートは中止します。";
constexpr char kRunning[] = "アップデートプログラムを実行するには、トヴォ顧客管理システムを終了してください。";
constexpr char kAlreadyCurrent[] =
    "Norvexトヴォ顧客管理システムは最新のバージョンにアップされています\n\r\n\r"
    "システムのデータ構造の修正だけを行いますか？";
constexpr char kCancelled[] = "アップデートを中止しました、アップデートプログラムを終了してください。";
constexpr char kConfirm[] = "アップデートを実行します、よろしいでしょうか？";
constexpr char kFinished[] = "アップデートが終了しました、アップデートプログラムを終了します。";
constexpr char kDataStructureFailed[] =
    "アップデートは終了しましたが、システムのデータ構造のアップデートが出来なかったです。"
    "弊社までご連絡下さい早急に対応いたします　";
constexpr char kError[] = "エラーが出たのでアップデートを中止しました、アップデートプログラムを終了します。";
constexpr char kMissingLibrary[] =
    "バックアップが正常に実行できません.\n\r\n\r"
    "ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください.";
constexpr char kBrowseTitle[] =
    "トヴォ顧客管理システムのフォルダが見つかりません。インストールしてありますフォルダを指定してください.";

}  // namespace update_texts
