#include "app/UpForm.h"

#include "components/CuteBtn.h"
#include "components/FileVer.h"
#include "framework/ClassBuilder.h"
#include "framework/ExtCtrls.h"
#include "framework/StdCtrls.h"
#include "resources/BinaryKeeper.h"

TUpDateForm* UpDateForm = nullptr;

const TClassInfo& TUpDateForm::StaticClass() {
  using F = TUpDateForm;
  static const TClassInfo info =
      TClassBuilder<F>("TUpDateForm", &TForm::StaticClass())
          .Field("Image1", &F::Image1)
          .Field("CloseBtn", &F::CloseBtn)
          .Field("Label5", &F::Label5)
          .Field("InstBtn", &F::InstBtn)
          .Field("Label1", &F::Label1)
          .Field("Label2", &F::Label2)
          .Field("VersionInfo1", &F::VersionInfo1)
          .Field("ReadMeBtn", &F::ReadMeBtn)
          .Field("Label3", &F::Label3)
          .Field("binaryKeeper1", &F::binaryKeeper1)
          .Field("NewVerEdit", &F::NewVerEdit)
          .Field("Label4", &F::Label4)
          .Field("ListBox1", &F::ListBox1)
          .Method("CloseBtnClick", &F::CloseBtnClick)
          .Method("InstBtnClick", &F::InstBtnClick)
          .Method("FormClose", &F::FormClose)
          .Method("ReadMeBtnClick", &F::ReadMeBtnClick)
          .Method("FormCreate", &F::FormCreate)
          .Build();
  return info;
}

TUpDateForm::TUpDateForm(TComponent* owner) : TForm(owner) {}

TUpDateForm::~TUpDateForm() {
  if (UpDateForm == this) UpDateForm = nullptr;
}

void TUpDateForm::CloseBtnClick(TObject*) { Close(); }

void TUpDateForm::FormClose(TObject*, TCloseAction&) { FCopyList.reset(); }

void TUpDateForm::FormCreate(TObject*) { FCopyList = std::make_unique<TStringList>(); }
