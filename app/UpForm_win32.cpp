// The update button and the copy list of the update window.

#include <string>

#include "app/CopyList.h"
#include "app/UpForm.h"
#include "app/UpdateRun.h"
#include "app/UpdateWindowUi.h"
#include "fileops/FileOps.h"
#include "framework/StdCtrls.h"
// ProgramFolder: the copy list's files come from the program's own folder.
#include "paradox/EngineConfig.h"
#include "text/Utf8Path.h"

void TUpDateForm::ReadMeBtnClick(TObject*) { fileops::OpenDocument(kReadMeUrl, kShowNormal); }

void TUpDateForm::InstBtnClick(TObject*) {
  const std::string archiveName = (*ListBox1->Items())[0];
  UpdateWindowUi ui(*this);
  if (updaterun::RunUpdate(ui, archiveName, NewVerEdit->GetText()) == updaterun::AfterRun::kClose) Close();
}

bool TUpDateForm::CopyListedFiles(const std::string& installedFolder, const TStrings& list) {
  std::string source = text::PathToUtf8(paradox::ProgramFolder());
  if (source.empty() || source.back() != '\\') source += '\\';
  return CopyNamedFiles(source, installedFolder, list);
}
