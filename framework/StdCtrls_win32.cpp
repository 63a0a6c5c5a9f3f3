#include <windows.h>

#include "framework/StdCtrls.h"
#include "framework/ClassBuilder.h"
#include "framework/Win32Util.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

using namespace fwwin;

// --- Labels ------------------------------------------------------------------------------

const TClassInfo& TCustomLabel::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCustomLabel>("TCustomLabel", &TGraphicControl::StaticClass())
          .Declare("Alignment", &TCustomLabel::Alignment, &TCustomLabel::SetAlignment).Default(taLeftJustify)
          .Declare("AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize).Default(true)
          .Declare("Layout", &TCustomLabel::Layout, &TCustomLabel::SetLayout).Default(tlTop)
          .Declare("ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar).Default(true)
          .Declare("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent).Default(false)
          .Declare("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap).Default(false)
          .Build();
  return info;
}

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  UpdateStyle();
}
void TCustomLabel::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  UpdateStyle();
}
void TCustomLabel::SetWordWrap(bool v) {
  if (v == wordWrap_) return;
  wordWrap_ = v;
  UpdateStyle();
}
void TCustomLabel::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  UpdateStyle();
}
void TCustomLabel::SetLayout(TTextLayout v) {
  if (v == layout_) return;
  layout_ = v;
  UpdateStyle();
}

const TClassInfo& TLabel::StaticClass() {
  static const TClassInfo info = TClassBuilder<TLabel>("TLabel", &TCustomLabel::StaticClass())
                                     .Creatable()
                                     .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
                                     .Publish("Align").Publish("Alignment").Publish("Anchors")
                                     .Publish("AutoSize").Publish("Caption").Publish("Color")
                                     .Publish("Enabled").Publish("Font").Publish("Layout")
                                     .Publish("ParentColor").Publish("ParentFont")
                                     .Publish("ParentShowHint").Publish("PopupMenu")
                                     .Publish("ShowAccelChar").Publish("ShowHint").Publish("Hint")
                                     .Publish("Transparent").Publish("Visible").Publish("WordWrap")
                                     .Publish("OnClick").Publish("OnDblClick").Publish("OnMouseDown")
                                     .Publish("OnMouseMove").Publish("OnMouseUp")
                                     .Build();
  return info;
}

// --- Edits -------------------------------------------------------------------------------

const TClassInfo& TCustomEdit::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCustomEdit>("TCustomEdit", &TWinControl::StaticClass())
          .Declare("BorderStyle", &TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle).Default(bsSingle)
          .Declare("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength).Default(0)
          .Declare("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly).Default(false)
          .Declare("Text", &TCustomEdit::Text, &TCustomEdit::SetText)
          .Declare("OnChange", &TCustomEdit::OnChange, &TCustomEdit::OnChange)
          .Build();
  return info;
}

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 121, 25);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
  controlStyle_ = {csClickEvents, csSetCaption, csDoubleClicks, csFramed};
}

const TClassInfo& TEdit::StaticClass() {
  static const TClassInfo info = TClassBuilder<TEdit>("TEdit", &TCustomEdit::StaticClass())
                                     .Creatable()
                                     .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
                                     .Publish("Anchors").Publish("BorderStyle").Publish("Color")
                                     .Publish("Enabled").Publish("Font").Publish("MaxLength")
                                     .Publish("ParentColor").Default(false).Publish("ParentFont")
                                     .Publish("ParentShowHint").Publish("PopupMenu").Publish("ReadOnly")
                                     .Publish("ShowHint").Publish("Hint").Publish("TabOrder")
                                     .Publish("TabStop").Default(true).Publish("Text").Publish("Visible")
                                     .Publish("OnChange").Publish("OnClick").Publish("OnEnter")
                                     .Publish("OnExit").Publish("OnKeyDown").Publish("OnKeyPress")
                                     .Publish("OnKeyUp")
                                     .Build();
  return info;
}

// --- List boxes --------------------------------------------------------------------------

const TClassInfo& TCustomListBox::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCustomListBox>("TCustomListBox", &TWinControl::StaticClass())
          .Declare("BorderStyle", &TCustomListBox::BorderStyle, &TCustomListBox::SetBorderStyle).Default(bsSingle)
          .Declare("ItemHeight", &TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight)
          .Declare("Items", &TCustomListBox::Items)
          .Declare("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted).Default(false)
          .Build();
  return info;
}

TCustomListBox::TCustomListBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 121, 97);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
  items_->OnChange = [this] { ItemsChanged(); };
}

const TClassInfo& TListBox::StaticClass() {
  static const TClassInfo info = TClassBuilder<TListBox>("TListBox", &TCustomListBox::StaticClass())
                                     .Creatable()
                                     .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
                                     .Publish("Align").Publish("Anchors").Publish("BorderStyle")
                                     .Publish("Color").Publish("Enabled").Publish("Font")
                                     .Publish("ItemHeight").Publish("Items")
                                     .Publish("ParentColor").Default(false).Publish("ParentFont")
                                     .Publish("ParentShowHint").Publish("PopupMenu").Publish("ShowHint")
                                     .Publish("Hint").Publish("Sorted").Publish("TabOrder")
                                     .Publish("TabStop").Default(true).Publish("Visible")
                                     .Publish("OnClick").Publish("OnDblClick").Publish("OnEnter")
                                     .Publish("OnExit").Publish("OnKeyDown").Publish("OnKeyPress")
                                     .Publish("OnKeyUp").Publish("OnMouseDown").Publish("OnMouseMove")
                                     .Publish("OnMouseUp")
                                     .Build();
  return info;
}


// --- Labels: a STATIC child window of the parent -----------------------------------------------

TCustomLabel::~TCustomLabel() { DestroyLabelWindow(); }

namespace {
DWORD LabelStyle(const TCustomLabel& l) {
  DWORD s = WS_CHILD;
  if (l.Visible()) s |= WS_VISIBLE;
  if (!l.Enabled()) s |= WS_DISABLED;
  if (!l.ShowAccelChar()) s |= SS_NOPREFIX;
  switch (l.Alignment()) {
    case taLeftJustify: s |= l.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
    case taRightJustify: s |= SS_RIGHT; break;
    case taCenter: s |= SS_CENTER; break;
  }
  if (l.Layout() == tlCenter) s |= SS_CENTERIMAGE;
  return s;
}
}  // namespace

void TCustomLabel::CreateLabelWindow() {
  if (window_ || !Parent() || !Parent()->HandleAllocated()) return;
  HWND parent = static_cast<HWND>(Parent()->Handle());
  HWND h = CreateWindowExW(0, L"STATIC", text::Widen(Caption()).c_str(), LabelStyle(*this), Left(), Top(), Width(),
                           Height(), parent, nullptr, Instance(), nullptr);
  window_ = h;
  if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), FALSE);
  AdjustBounds();
}

void TCustomLabel::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  AdjustBounds();
}

void TCustomLabel::AdjustBounds() {
  if (!autoSize_ || !window_ || ComponentState().Contains(csReading) || ComponentState().Contains(csLoading)) return;
  std::wstring t = text::Widen(Caption());
  // An empty caption (or a lone accelerator mark) still measures one line high.
  if (t.empty() || (showAccelChar_ && t == L"&")) t += L' ';
  RECT r{0, 0, wordWrap_ ? Width() : 0, 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | (showAccelChar_ ? 0 : DT_NOPREFIX);
  {
    const win32::WindowDc dc(static_cast<HWND>(window_));
    const win32::Selection selected(dc.Get(), Font()->Handle());
    DrawTextW(dc.Get(), t.c_str(), static_cast<int>(t.size()), &r, flags);
  }
  int x = Left();
  if (alignment_ == taRightJustify) x += Width() - r.right;
  SetBounds(x, Top(), r.right, r.bottom);
}

void TCustomLabel::DestroyLabelWindow() {
  if (window_ && IsWindow(static_cast<HWND>(window_))) DestroyWindow(static_cast<HWND>(window_));
  window_ = nullptr;
}

void* TCustomLabel::LabelBrush() {
  if (!brush_) brush_ = std::make_unique<TBrush>();
  brush_->SetColor(Color());
  return brush_->Handle();
}

void TCustomLabel::UpdateStyle() {
  if (!window_) return;
  HWND h = static_cast<HWND>(window_);
  SetWindowLongW(h, GWL_STYLE, static_cast<LONG>(LabelStyle(*this)));
  Invalidate();
}

void TCustomLabel::Invalidate() {
  // A transparent static does not erase what it drew: the parent repaints beneath it.
  TControl::Invalidate();
}

void TCustomLabel::BoundsChanged() {
  TControl::Invalidate();
  if (window_)
    SetWindowPos(static_cast<HWND>(window_), nullptr, Left(), Top(), Width(), Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  TControl::Invalidate();
}

void TCustomLabel::CMTextChanged() {
  if (window_) SetWindowTextW(static_cast<HWND>(window_), text::Widen(Caption()).c_str());
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::CMFontChanged() {
  if (window_) SendMessageW(static_cast<HWND>(window_), WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), FALSE);
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::CMColorChanged() { Invalidate(); }

void TCustomLabel::CMVisibleChanged() {
  if (window_) ShowWindow(static_cast<HWND>(window_), Visible() ? SW_SHOWNA : SW_HIDE);
  Invalidate();
}

void TCustomLabel::CMEnabledChanged() {
  if (window_) EnableWindow(static_cast<HWND>(window_), Enabled());
  Invalidate();
}

// --- Edits ----------------------------------------------------------------------------------

std::string TCustomEdit::GetText() {
  if (!handle_) return Text();
  HWND h = static_cast<HWND>(handle_);
  int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(h, w.data(), n + 1);
  w.resize(static_cast<std::size_t>(n));
  return text::Narrow(w);
}

void TCustomEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  if (handle_) SendMessageW(static_cast<HWND>(handle_), EM_SETREADONLY, v, 0);
}

void TCustomEdit::SetMaxLength(int v) {
  maxLength_ = v;
  if (handle_) SendMessageW(static_cast<HWND>(handle_), EM_LIMITTEXT, static_cast<WPARAM>(v), 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  RecreateWnd();
}

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "EDIT";
  params.style |= ES_AUTOHSCROLL | ES_LEFT;
  if (TabStop()) params.style |= WS_TABSTOP;
  if (readOnly_) params.style |= ES_READONLY;
  if (borderStyle_ == bsSingle) params.exStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::InitWindow() {
  if (maxLength_) SendMessageW(static_cast<HWND>(handle_), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TCustomEdit::WndProc(TMessage& m) {
  if (m.msg == CN_COMMAND && HIWORD(m.wParam) == EN_CHANGE) {
    std::string now = GetText();
    if (now != Text()) {
      // The window already shows the text: store it without sending it back.
      TControl::SetCaptionQuietly(now);
    }
    OnChange(this);
    return;
  }
  TWinControl::WndProc(m);
}

// --- List boxes --------------------------------------------------------------------------------

void TCustomListBox::SetItemHeight(int v) {
  itemHeight_ = v;
  if (handle_) SendMessageW(static_cast<HWND>(handle_), LB_SETITEMHEIGHT, 0, v);
}

int TCustomListBox::ItemIndex() const {
  if (!handle_) return itemIndex_;
  return static_cast<int>(SendMessageW(static_cast<HWND>(handle_), LB_GETCURSEL, 0, 0));
}

void TCustomListBox::SetItemIndex(int v) {
  itemIndex_ = v;
  if (handle_) SendMessageW(static_cast<HWND>(handle_), LB_SETCURSEL, static_cast<WPARAM>(v), 0);
}

void TCustomListBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "LISTBOX";
  params.caption.clear();
  params.style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
  if (sorted_) params.style |= LBS_SORT;
  if (TabStop()) params.style |= WS_TABSTOP;
  if (borderStyle_ == bsSingle) params.exStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::InitWindow() {
  HWND h = static_cast<HWND>(handle_);
  SendMessageW(h, LB_SETITEMHEIGHT, 0, itemHeight_);
  ItemsChanged();
}

void TCustomListBox::ItemsChanged() {
  if (!handle_) return;
  HWND h = static_cast<HWND>(handle_);
  SendMessageW(h, LB_RESETCONTENT, 0, 0);
  for (int i = 0; i < items_->Count(); ++i)
    SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text::Widen((*items_)[i]).c_str()));
  if (itemIndex_ >= 0) SendMessageW(h, LB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}
