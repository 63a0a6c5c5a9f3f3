// The message dialog's texts and results: portable, so that code that records what a box
// said (the update log) builds natively too. The dialog itself is Dialogs_win32.cpp.
#include "framework/Dialogs.h"

std::string MsgDlgTitle(TMsgDlgType kind) {
  switch (kind) {
    case mtWarning: return "警告";
    case mtError: return "エラー";
    case mtInformation: return "情報";
    case mtConfirmation: return "確認";
    case mtCustom: break;
  }
  return "";
}

std::string MsgDlgButtonCaption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return "はい(&Y)";
    case mbNo: return "いいえ(&N)";
    case mbOK: return "OK";
    case mbCancel: return "キャンセル";
    case mbAbort: return "中止(&A)";
    case mbRetry: return "再試行(&R)";
    case mbIgnore: return "無視(&I)";
  }
  return "";
}

TModalResult MsgDlgButtonResult(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
  }
  return mrNone;
}
