#pragma once
// The progress window of the table migration: a fixed line of text and a bar. It has no
// behaviour of its own; the migration creates, advances and releases it through the routines
// below, and the pointer is an hourglass for as long as it is up.

#include "framework/Forms.h"

class TLabel;
class TProgressBar;

class TProgresForm : public TForm {
  FW_CLASS(TProgresForm, TForm)
  explicit TProgresForm(TComponent* owner);
  ~TProgresForm() override;

  TProgressBar* ProgressBar1 = nullptr;
  TLabel* Label1 = nullptr;
};

extern TProgresForm* ProgresForm;

// Sets the hourglass, creates the window from TPROGRESFORM as a secondary window of the
// application, sets the bar's range to 0..`max`, shows it and paints it at once (the
// migration does not return to the message loop until it has finished).
TProgresForm* ShowProgresForm(int max);
// Advances the bar; past its maximum it stays full.
void StepProgresForm(int delta);
// Restores the pointer, closes the window and releases it. Does nothing when none is up.
void CloseProgresForm();
