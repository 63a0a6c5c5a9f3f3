#include "framework/ExtCtrls.h"

TTimer::~TTimer() = default;
void TTimer::UpdateTimer() {}
void TCustomPanel::CreateParams(TCreateParams& params) { TCustomControl::CreateParams(params); }
