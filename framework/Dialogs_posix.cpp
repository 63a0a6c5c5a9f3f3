#include <cstdio>

#include "framework/Dialogs.h"

TMessageDlgHandler& MessageDlgHandler();

TModalResult MessageDlg(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons, int) {
  if (MessageDlgHandler()) return MessageDlgHandler()(text, kind, buttons);
  std::fprintf(stderr, "[%s] %s\n", MsgDlgTitle(kind).c_str(), text.c_str());
  return mrNone;
}
