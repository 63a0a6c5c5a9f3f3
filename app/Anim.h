#pragma once
// The animation window. The program carries its form resource TANIMFORM, but no step of the
// update creates it; the class exists so that the resource can be read and checked.

#include "framework/Forms.h"

class TAnimate;

class TAnimForm : public TForm {
  FW_CLASS(TAnimForm, TForm)
  explicit TAnimForm(TComponent* owner) : TForm(owner) {}

  TAnimate* Animate1 = nullptr;
};
