// The recorder of message boxes: every box the framework's dialog shows while it is in place
// goes to the log with the answer.
#include "app/UpdateLog.h"

namespace {

UpdateLog* gRecording = nullptr;

// Shows the box with the framework's own dialog, the recorder stepped aside meanwhile. Holds no
// state of its own: the handler that calls it is replaced while it runs.
TModalResult RecordedMessageDlg(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
  UpdateLog* log = gRecording;
  log->WriteMessage(MsgDlgCaption(kind), text, buttons);
  SetMessageDlgHandler(nullptr);
  TModalResult result = mrNone;
  try {
    result = MessageDlg(text, kind, buttons);
  } catch (...) {
    SetMessageDlgHandler(&RecordedMessageDlg);
    throw;
  }
  SetMessageDlgHandler(&RecordedMessageDlg);
  log->WriteAnswer(result);
  return result;
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder(UpdateLog& log) {
  gRecording = &log;
  SetMessageDlgHandler(&RecordedMessageDlg);
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageDlgHandler(nullptr);
  gRecording = nullptr;
}
