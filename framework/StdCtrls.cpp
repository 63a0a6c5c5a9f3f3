#include "framework/StdCtrls.h"

#include "framework/ClassBuilder.h"

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
