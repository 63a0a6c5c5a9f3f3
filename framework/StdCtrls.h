#pragma once
// Labels, single-line edits and list boxes.
//
// TLabel is a graphic control in the class tree (no focus, no tab stop, transparent over what
// its parent paints). On Windows it shows itself through a STATIC child window carrying its
// caption, so tests and accessibility tools read a label like any window text
// (a STATIC child of the form whose text is the caption; hidden when the label is).

#include <string>

#include "framework/Controls.h"

class TCustomLabel : public TGraphicControl {
  FW_CLASS(TCustomLabel, TGraphicControl)
  explicit TCustomLabel(TComponent* owner);
  ~TCustomLabel() override;
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  // With AutoSize the label takes the size of its text in its font (right-aligned ones keep
  // their right edge), once its window exists and whenever text or font change; so a font of
  // other metrics than the designer's does not cut the text.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout v);
  // The STATIC window that shows the label (Windows; null until its parent has a window).
  void* WindowHandle() const override { return window_; }
  void CreateLabelWindow();   // called by the parent when its window exists
  void DestroyLabelWindow();
  void* LabelBrush();         // HBRUSH of an opaque label's colour

 protected:
  void BoundsChanged() override;
  void CMTextChanged() override;
  void CMFontChanged() override;
  void CMColorChanged() override;
  void CMVisibleChanged() override;
  void CMEnabledChanged() override;
  void Invalidate() override;

 private:
  void UpdateStyle();
  void AdjustBounds();
  bool transparent_ = false;
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
  TTextLayout layout_ = tlTop;
  void* window_ = nullptr;
  std::unique_ptr<TBrush> brush_;
};

class TLabel : public TCustomLabel {
  FW_CLASS(TLabel, TCustomLabel)
  explicit TLabel(TComponent* owner) : TCustomLabel(owner) {}
};

// A real EDIT control, single line.
class TCustomEdit : public TWinControl {
  FW_CLASS(TCustomEdit, TWinControl)
  explicit TCustomEdit(TComponent* owner);
  // The text as the window holds it now (Windows) or as last set.
  std::string GetText();
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  bool WantsChars() const override { return true; }
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitWindow() override;
  void WndProc(TMessage& m) override;

 private:
  bool readOnly_ = false;
  int maxLength_ = 0;
  TBorderStyle borderStyle_ = bsSingle;
};

class TEdit : public TCustomEdit {
  FW_CLASS(TEdit, TCustomEdit)
  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

// A real LISTBOX control; Items streams as Items.Strings.
class TCustomListBox : public TWinControl {
  FW_CLASS(TCustomListBox, TWinControl)
  explicit TCustomListBox(TComponent* owner);
  TStrings* Items() const { return items_.get(); }
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int v);
  int ItemIndex() const;
  void SetItemIndex(int v);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v) { sorted_ = v; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v) { borderStyle_ = v; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitWindow() override;

 private:
  void ItemsChanged();
  std::unique_ptr<TStringList> items_;
  int itemHeight_ = 13;
  int itemIndex_ = -1;
  bool sorted_ = false;
  TBorderStyle borderStyle_ = bsSingle;
};

class TListBox : public TCustomListBox {
  FW_CLASS(TListBox, TCustomListBox)
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};
