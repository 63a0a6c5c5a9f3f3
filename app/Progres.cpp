#include "app/Progres.h"

#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/StdCtrls.h"

TProgresForm* ProgresForm = nullptr;

const TClassInfo& TProgresForm::StaticClass() {
  using F = TProgresForm;
  static const TClassInfo info = TClassBuilder<F>("TProgresForm", &TForm::StaticClass())
                                     .Field("ProgressBar1", &F::ProgressBar1)
                                     .Field("Label1", &F::Label1)
                                     .Build();
  return info;
}

TProgresForm::TProgresForm(TComponent* owner) : TForm(owner) {}

TProgresForm::~TProgresForm() {
  if (ProgresForm == this) ProgresForm = nullptr;
}

TProgresForm* ShowProgresForm(int max) {
  // A window left from an earlier run would otherwise stay on screen for good.
  CloseProgresForm();
  Screen->SetCursor(crHourGlass);
  try {
    ProgresForm = CreateFormFromResource<TProgresForm>(Application);
  } catch (...) {
    Screen->SetCursor(crDefault);
    throw;
  }
  ProgresForm->ProgressBar1->SetMax(max);
  ProgresForm->Show();
  ProgresForm->Repaint();
  return ProgresForm;
}

void StepProgresForm(int delta) {
  if (ProgresForm) ProgresForm->ProgressBar1->StepBy(delta);
}

void CloseProgresForm() {
  Screen->SetCursor(crDefault);
  if (!ProgresForm) return;
  TProgresForm* form = ProgresForm;
  ProgresForm = nullptr;
  form->Close();
  // The window goes once the message loop runs again; until then its name would keep a new
  // progress window from being created.
  form->SetName("");
  form->Release();
}
