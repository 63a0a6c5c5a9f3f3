#include "framework/StdCtrls.h"

TCustomLabel::~TCustomLabel() = default;
void TCustomLabel::CreateLabelWindow() {}
void TCustomLabel::DestroyLabelWindow() {}
void TCustomLabel::UpdateStyle() {}
void TCustomLabel::AdjustBounds() {}
void TCustomLabel::SetAutoSize(bool v) { autoSize_ = v; }
void TCustomLabel::BoundsChanged() {}
void TCustomLabel::CMTextChanged() {}
void TCustomLabel::CMFontChanged() {}
void TCustomLabel::CMColorChanged() {}
void TCustomLabel::CMVisibleChanged() {}
void TCustomLabel::CMEnabledChanged() {}
void TCustomLabel::Invalidate() {}

std::string TCustomEdit::GetText() { return Text(); }
void TCustomEdit::SetReadOnly(bool v) { readOnly_ = v; }
void TCustomEdit::SetMaxLength(int v) { maxLength_ = v; }
void TCustomEdit::SetBorderStyle(TBorderStyle v) { borderStyle_ = v; }
void TCustomEdit::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TCustomEdit::InitWindow() {}
void TCustomEdit::WndProc(TMessage& m) { TWinControl::WndProc(m); }

void TCustomListBox::SetItemHeight(int v) { itemHeight_ = v; }
int TCustomListBox::ItemIndex() const { return itemIndex_; }
void TCustomListBox::SetItemIndex(int v) { itemIndex_ = v; }
void TCustomListBox::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TCustomListBox::InitWindow() {}
void TCustomListBox::ItemsChanged() {}
void* TCustomLabel::LabelBrush() { return nullptr; }
