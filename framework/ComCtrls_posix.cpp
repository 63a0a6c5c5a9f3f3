#include "framework/ComCtrls.h"

void TProgressBar::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TProgressBar::InitWindow() {}
void TAnimate::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TAnimate::InitWindow() {}
void TAnimate::OpenAndPlay() {}
