#pragma once
// The update window: instructions, the three buttons, and the fixed data that the update run
// needs in hidden controls (target version, archive name) and non-visual components (the
// version reader, the kept readme text). Everything comes from the form resource TUPDATEFORM.

#include <memory>
#include <string>

#include "framework/Classes.h"
#include "framework/Forms.h"

class TImage;
class TLabel;
class TEdit;
class TListBox;
class TCuteButton;
class TVersionInfo;
class TbinaryKeeper;

// The README page of this update on the vendor's web site (a reserved .example host, so that
// no real site is ever opened by mistake).
inline constexpr char kReadMeUrl[] = "https://www.kerumo.example/norvex/update_readme.html";
// ShowWindow's SW_SHOW, for the document opener.
inline constexpr int kShowNormal = 5;

class TUpDateForm : public TForm {
  FW_CLASS(TUpDateForm, TForm)
  explicit TUpDateForm(TComponent* owner);
  ~TUpDateForm() override;

  // Published fields, bound by name when the form resource is read.
  TImage* Image1 = nullptr;
  TCuteButton* CloseBtn = nullptr;
  TLabel* Label5 = nullptr;
  TCuteButton* InstBtn = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TVersionInfo* VersionInfo1 = nullptr;
  TCuteButton* ReadMeBtn = nullptr;
  TLabel* Label3 = nullptr;
  TbinaryKeeper* binaryKeeper1 = nullptr;
  TEdit* NewVerEdit = nullptr;
  TLabel* Label4 = nullptr;
  TListBox* ListBox1 = nullptr;

  // Published methods, named by the form resource's events.
  void CloseBtnClick(TObject* sender);
  void InstBtnClick(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void ReadMeBtnClick(TObject* sender);
  void FormCreate(TObject* sender);

  // Files to copy from the program's own folder into the installed folder; exists from
  // FormCreate to FormClose.
  TStringList* CopyList() const { return FCopyList.get(); }

  // Copies every file named in `list` from the program's own folder into `installedFolder`,
  // with a message for each one missing or not copied. True when the list is not empty and
  // every file was copied.
  bool CopyListedFiles(const std::string& installedFolder, const TStrings& list);

 private:
  std::unique_ptr<TStringList> FCopyList;
};

extern TUpDateForm* UpDateForm;
