#pragma once
// The message dialog: a modal window with the kind's title and system icon, the text with its
// line breaks, and the chosen buttons. Captions:
//   mtWarning "警告"  mtError "エラー"  mtInformation "情報"  mtConfirmation "確認"
//   mtCustom (a plain box, no icon): the application's title
//   mbYes "はい(&Y)"  mbNo "いいえ(&N)"  mbOK "OK"  mbCancel "キャンセル"  mbAbort "中止(&A)"
// Returns the pressed button's modal result. The default button (Enter) is OK, else Yes, else
// the first button. Esc gives the result of Cancel, else No, else OK when present, and
// mrCancel otherwise; the close box gives mrCancel. So only a press of Yes returns mrYes.

#include <functional>
#include <string>

#include "framework/Classes.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                        int helpContext = 0);

// Replaces the dialog (tests of code that asks questions, the update log's recorder): while
// set, MessageDlg calls it instead. MessageDlg and this are Windows only.
using TMessageDlgHandler = std::function<TModalResult(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons)>;
void SetMessageDlgHandler(TMessageDlgHandler handler);

// The texts the dialog uses (UTF-8), and its buttons' results. Portable.
std::string MsgDlgTitle(TMsgDlgType kind);
// The caption a box of `kind` shows: its kind's title, or the application's title for a plain
// box (Windows only).
std::string MsgDlgCaption(TMsgDlgType kind);
std::string MsgDlgButtonCaption(TMsgDlgBtn button);
TModalResult MsgDlgButtonResult(TMsgDlgBtn button);
