// TControl, TWinControl, TGraphicControl, TCustomControl: published properties, parents and
// children, fonts and colours passed down, tab order, alignment.

#include "framework/Controls.h"

#include <algorithm>

#include "framework/ClassBuilder.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Win32Util.h"

namespace {
struct CursorIdent {
  int value;
  const char* name;
};
constexpr CursorIdent kCursors[] = {
    {0, "crDefault"}, {-1, "crNone"}, {-2, "crArrow"}, {-3, "crCross"}, {-4, "crIBeam"},
    {-5, "crSize"}, {-6, "crSizeNESW"}, {-7, "crSizeNS"}, {-8, "crSizeNWSE"}, {-9, "crSizeWE"},
    {-10, "crUpArrow"}, {-11, "crHourGlass"}, {-12, "crDrag"}, {-13, "crNoDrop"},
    {-14, "crHSplit"}, {-15, "crVSplit"}, {-16, "crMultiDrag"}, {-17, "crSQLWait"},
    {-18, "crNo"}, {-19, "crAppStart"}, {-20, "crHelp"}, {-21, "crHandPoint"},
};
}  // namespace

std::optional<std::string> CursorToIdent(std::int64_t cursor) {
  for (const CursorIdent& c : kCursors)
    if (c.value == cursor) return std::string(c.name);
  return std::nullopt;
}

std::optional<std::int64_t> IdentToCursor(std::string_view ident) {
  for (const CursorIdent& c : kCursors)
    if (SameText(c.name, ident)) return c.value;
  return std::nullopt;
}

// --- TControl ----------------------------------------------------------------------------

const TClassInfo& TControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TControl>("TControl", &TComponent::StaticClass())
          .Declare("Left", &TControl::Left, &TControl::SetLeft)
          .Declare("Top", &TControl::Top, &TControl::SetTop)
          .Declare("Width", &TControl::Width, &TControl::SetWidth)
          .Declare("Height", &TControl::Height, &TControl::SetHeight)
          .Declare("ClientWidth", &TControl::ClientWidth, &TControl::SetClientWidth).Stored(false)
          .Declare("ClientHeight", &TControl::ClientHeight, &TControl::SetClientHeight).Stored(false)
          .Declare("Align", &TControl::Align, &TControl::SetAlign).Default(alNone)
          .Declare("Anchors", &TControl::Anchors, &TControl::SetAnchors).Default(TAnchors{akLeft, akTop})
          .Declare("Action", &TControl::Action, &TControl::SetAction)
          .Declare("BiDiMode", &TControl::BiDiMode, &TControl::SetBiDiMode).Stored(&TControl::IsBiDiModeStored)
          .Declare("Caption", &TControl::Caption, &TControl::SetCaption).Stored(&TControl::IsCaptionStored)
          .Declare("Constraints", &TControl::Constraints)
          .Declare("Color", &TControl::Color, &TControl::SetColor).Default(clWindow).Stored(&TControl::IsColorStored)
          .Declare("Cursor", &TControl::Cursor, &TControl::SetCursor).Default(crDefault)
              .Idents(CursorToIdent, IdentToCursor)
          .Declare("DragCursor", &TControl::DragCursor, &TControl::SetDragCursor).Default(crDrag)
              .Idents(CursorToIdent, IdentToCursor)
          .Declare("DragKind", &TControl::DragKind, &TControl::SetDragKind).Default(dkDrag)
          .Declare("DragMode", &TControl::DragMode, &TControl::SetDragMode).Default(dmManual)
          .Declare("Enabled", &TControl::Enabled, &TControl::SetEnabled).Default(true)
              .Stored(&TControl::IsEnabledStored)
          .Declare("Font", &TControl::Font).Stored(&TControl::IsFontStored)
          .Declare("HelpContext", &TControl::HelpContext, &TControl::SetHelpContext).Default(0)
          .Declare("Hint", &TControl::Hint, &TControl::SetHint).Stored(&TControl::IsHintStored)
          .Declare("ParentBiDiMode", &TControl::ParentBiDiMode, &TControl::SetParentBiDiMode).Default(true)
          .Declare("ParentColor", &TControl::ParentColor, &TControl::SetParentColor).Default(true)
          .Declare("ParentFont", &TControl::ParentFont, &TControl::SetParentFont).Default(true)
          .Declare("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint).Default(true)
          .Declare("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu)
          .Declare("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).Stored(&TControl::IsShowHintStored)
          .Declare("Visible", &TControl::Visible, &TControl::SetVisible).Default(true)
              .Stored(&TControl::IsVisibleStored)
          .Declare("OnClick", &TControl::OnClick, &TControl::OnClick)
          .Declare("OnDblClick", &TControl::OnDblClick, &TControl::OnDblClick)
          .Declare("OnMouseDown", &TControl::OnMouseDown, &TControl::OnMouseDown)
          .Declare("OnMouseMove", &TControl::OnMouseMove, &TControl::OnMouseMove)
          .Declare("OnMouseUp", &TControl::OnMouseUp, &TControl::OnMouseUp)
          .Declare("OnDragDrop", &TControl::OnDragDrop, &TControl::OnDragDrop)
          .Declare("OnDragOver", &TControl::OnDragOver, &TControl::OnDragOver)
          .Declare("OnEndDock", &TControl::OnEndDock, &TControl::OnEndDock)
          .Declare("OnEndDrag", &TControl::OnEndDrag, &TControl::OnEndDrag)
          .Declare("OnStartDock", &TControl::OnStartDock, &TControl::OnStartDock)
          .Declare("OnStartDrag", &TControl::OnStartDrag, &TControl::OnStartDrag)
          .Build();
  return info;
}

TControl::TControl(TComponent* owner)
    : TComponent(owner), font_(std::make_unique<TFont>()), constraints_(std::make_unique<TSizeConstraints>()) {
  controlStyle_ = {csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  font_->OnChange = [this] { FontChanged(); };
  constraints_->OnChange = [this] { ConstraintsChanged(); };
}

TControl::~TControl() {
  state_.Include(csDestroying);
  fwwin::ForgetDragControl(this);
  actionLink_.reset();
  if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw EInvalidOperation("A control cannot be its own parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

bool TControl::IsColorStored() const { return !parentColor_; }
bool TControl::IsFontStored() const { return !parentFont_; }
bool TControl::IsShowHintStored() const { return !parentShowHint_; }

void TControl::SetBounds(int left, int top, int width, int height) {
  width = constraints_->ConstrainWidth(std::max(width, 0));
  height = constraints_->ConstrainHeight(std::max(height, 0));
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  bool resized = width != width_ || height != height_;
  if (!ComponentState().Contains(csLoading)) Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
  if (resized)
    if (auto* w = dynamic_cast<TWinControl*>(this)) w->AlignControls();
}

void TControl::SetClientSize(int width, int height) {
  TRect r = ClientRect();
  SetBounds(left_, top_, width_ - r.right + width, height_ - r.bottom + height);
}

void TControl::BoundsChanged() { Invalidate(); }

void TControl::SetAlign(TAlign v) {
  if (v == align_) return;
  align_ = v;
  if (parent_) parent_->AlignControls();
}

void TControl::SetCaption(const std::string& v) {
  if (v == caption_) return;
  caption_ = v;
  CMTextChanged();
}

void TControl::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  parentColor_ = false;
  CMColorChanged();
}

void TControl::SetParentColor(bool v) {
  if (v == parentColor_) return;
  parentColor_ = v;
  if (v) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!parentColor_ || !parent_) return;
  if (color_ != parent_->Color()) {
    color_ = parent_->Color();
    CMColorChanged();
  }
}

void TControl::FontChanged() {
  if (!settingParentFont_) parentFont_ = false;
  CMFontChanged();
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (int i = 0; i < w->ControlCount(); ++i) w->Controls(i)->ParentFontChanged();
}

void TControl::SetParentFont(bool v) {
  if (v == parentFont_) return;
  parentFont_ = v;
  if (v) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!parentFont_ || !parent_) return;
  settingParentFont_ = true;
  font_->Assign(*parent_->Font());
  settingParentFont_ = false;
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  CMVisibleChanged();
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  CMEnabledChanged();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetHint(const std::string& v) { hint_ = v; }
void TControl::SetShowHint(bool v) {
  showHint_ = v;
  parentShowHint_ = false;
}
void TControl::SetParentShowHint(bool v) {
  parentShowHint_ = v;
  if (v && parent_) showHint_ = parent_->ShowHint();
}
bool TControl::EffectiveShowHint() const {
  if (!parentShowHint_ || !parent_) return showHint_;
  return parent_->EffectiveShowHint();
}

TCustomForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

// An OnClick of its own wins over the action; one that is the action's execute handler
// runs as the action, which a disabled action refuses.
void TControl::Click() {
  TBasicAction* action = Action();
  if (OnClick && action && !actionLink_->IsOnExecuteLinked())
    OnClick(this);
  else if (action)
    action->Execute();
  else
    OnClick(this);
}
void TControl::DblClick() { OnDblClick(this); }
void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) { OnMouseDown(this, button, shift, x, y); }
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) { OnMouseUp(this, button, shift, x, y); }
void TControl::MouseMove(TShiftState shift, int x, int y) { OnMouseMove(this, shift, x, y); }
void TControl::CMMouseEnter() {}
void TControl::CMMouseLeave() {}
void TControl::CMEnabledChanged() { Invalidate(); }
void TControl::CMTextChanged() { Invalidate(); }
void TControl::CMFontChanged() { Invalidate(); }
void TControl::CMColorChanged() { Invalidate(); }
void TControl::CMVisibleChanged() {
  if (parent_) parent_->Invalidate();
}
bool TControl::CMDialogChar(unsigned) { return false; }

void TControl::ConstraintsChanged() { SetBounds(left_, top_, width_, height_); }

TBasicAction* TControl::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TControl::SetAction(TBasicAction* action) {
  if (!action) {
    actionLink_.reset();
    return;
  }
  if (!actionLink_) actionLink_ = std::make_unique<TControlActionLink>(this);
  actionLink_->SetAction(action);
  const TComponentState state = ComponentState();
  ActionChange(action, state.Contains(csLoading) || state.Contains(csReading));
}

void TControl::ActionChange(TBasicAction* sender, bool checkDefaults) {
  auto* a = dynamic_cast<TAction*>(sender);
  if (!a) return;
  if (!checkDefaults || caption_.empty()) SetCaption(a->Caption());
  if (!checkDefaults || enabled_) SetEnabled(a->Enabled());
  if (!checkDefaults || hint_.empty()) SetHint(a->Hint());
  if (!checkDefaults || visible_) SetVisible(a->Visible());
}

// What the action shows is the action's to store.
bool TControl::IsCaptionStored() const { return !actionLink_ || !actionLink_->IsCaptionLinked(); }
bool TControl::IsEnabledStored() const { return !actionLink_ || !actionLink_->IsEnabledLinked(); }
bool TControl::IsHintStored() const { return !actionLink_ || !actionLink_->IsHintLinked(); }
bool TControl::IsVisibleStored() const { return !actionLink_ || !actionLink_->IsVisibleLinked(); }

void TControl::SetBiDiMode(TBiDiMode v) {
  parentBiDiMode_ = false;
  if (v == biDiMode_) return;
  biDiMode_ = v;
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (int i = 0; i < w->ControlCount(); ++i) w->Controls(i)->ParentBiDiModeChanged();
}

void TControl::SetParentBiDiMode(bool v) {
  if (v == parentBiDiMode_) return;
  parentBiDiMode_ = v;
  if (v) ParentBiDiModeChanged();
}

void TControl::ParentBiDiModeChanged() {
  if (!parentBiDiMode_ || !parent_) return;
  SetBiDiMode(parent_->BiDiMode());
  parentBiDiMode_ = true;
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TControl::Notification(TComponent* c, bool inserted) {
  TComponent::Notification(c, inserted);
  if (!inserted && c == popupMenu_) popupMenu_ = nullptr;
}

// --- TWinControl -------------------------------------------------------------------------

const TClassInfo& TWinControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TWinControl>("TWinControl", &TControl::StaticClass())
          .Declare("Brush", &TWinControl::Brush)
          .Declare("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder).Default(-1)
          .Declare("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop).Default(false)
          .Declare("OnEnter", &TWinControl::OnEnter, &TWinControl::OnEnter)
          .Declare("OnExit", &TWinControl::OnExit, &TWinControl::OnExit)
          .Declare("OnKeyDown", &TWinControl::OnKeyDown, &TWinControl::OnKeyDown)
          .Declare("OnKeyPress", &TWinControl::OnKeyPress, &TWinControl::OnKeyPress)
          .Declare("OnKeyUp", &TWinControl::OnKeyUp, &TWinControl::OnKeyUp)
          .Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner), brush_(std::make_unique<TBrush>()) {
  brush_->SetColor(Color());
}

TWinControl::~TWinControl() {
  state_.Include(csDestroying);
  // Owned components go while this control is still whole: they unhook from it as parent.
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  DestroyHandle();
  for (TControl* c : controls_) c->parent_ = nullptr;
  controls_.clear();
}

void TWinControl::InsertControl(TControl* c) {
  controls_.push_back(c);
  c->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(c)) {
    int n = 0;
    for (TControl* x : controls_)
      if (x != c && dynamic_cast<TWinControl*>(x)) ++n;
    w->tabOrderRequest_ = n;
    w->tabOrderExplicit_ = false;
  }
  c->ParentFontChanged();
  c->ParentColorChanged();
  c->ParentBiDiModeChanged();
  if (c->ParentShowHint()) c->showHint_ = ShowHint();
  AttachChild(c);
  if (c->Align() != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* c) {
  auto it = std::find(controls_.begin(), controls_.end(), c);
  if (it == controls_.end()) return;
  DetachChild(c);
  controls_.erase(it);
  c->parent_ = nullptr;
  if (!state_.Contains(csDestroying)) Invalidate();
}

std::vector<TWinControl*> TWinControl::TabList() const {
  // Controls whose tab order was asked for take those places; the others (a control whose
  // class does not publish TabOrder, say) fill the free places in the order they came.
  std::vector<TWinControl*> asked, rest;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) (w->tabOrderExplicit_ ? asked : rest).push_back(w);
  std::stable_sort(asked.begin(), asked.end(),
                   [](TWinControl* a, TWinControl* b) { return a->tabOrderRequest_ < b->tabOrderRequest_; });
  std::size_t n = asked.size() + rest.size();
  std::vector<TWinControl*> slots(n, nullptr);
  for (TWinControl* w : asked) {
    std::size_t pos = w->tabOrderRequest_ < 0 ? n - 1 : std::min<std::size_t>(static_cast<std::size_t>(w->tabOrderRequest_), n - 1);
    while (pos < n && slots[pos]) ++pos;
    if (pos == n) {
      pos = 0;
      while (slots[pos]) ++pos;
    }
    slots[pos] = w;
  }
  std::size_t next = 0;
  for (TWinControl* w : rest) {
    while (slots[next]) ++next;
    slots[next] = w;
  }
  return slots;
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  std::vector<TWinControl*> list = Parent()->TabList();
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int v) {
  if (!Parent() || ComponentState().Contains(csReading)) {
    // While form data is read, siblings arrive one by one: keep the request, order later.
    tabOrderRequest_ = v;
    tabOrderExplicit_ = true;
    return;
  }
  std::vector<TWinControl*> list = Parent()->TabList();
  list.erase(std::find(list.begin(), list.end(), this));
  if (v < 0) v = static_cast<int>(list.size());
  if (v > static_cast<int>(list.size())) v = static_cast<int>(list.size());
  list.insert(list.begin() + v, this);
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i]->tabOrderRequest_ = static_cast<int>(i);
    list[i]->tabOrderExplicit_ = true;
  }
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::KeyDown(std::uint16_t& key, TShiftState shift) { OnKeyDown(this, key, shift); }
void TWinControl::KeyUp(std::uint16_t& key, TShiftState shift) { OnKeyUp(this, key, shift); }
void TWinControl::KeyPress(char& key) { OnKeyPress(this, key); }
void TWinControl::DoEnter() { OnEnter(this); }
void TWinControl::DoExit() { OnExit(this); }

bool TWinControl::CMDialogChar(unsigned ch) {
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->CMDialogChar(ch)) return true;
  return false;
}

void TWinControl::AlignControls() {
  TRect r = ClientRect();
  for (TControl* c : controls_) {
    if (!c->Visible()) continue;
    switch (c->Align()) {
      case alTop:
        c->SetBounds(r.left, r.top, r.Width(), c->Height());
        r.top += c->Height();
        break;
      case alBottom:
        c->SetBounds(r.left, r.bottom - c->Height(), r.Width(), c->Height());
        r.bottom -= c->Height();
        break;
      case alLeft:
        c->SetBounds(r.left, r.top, c->Width(), r.Height());
        r.left += c->Width();
        break;
      case alRight:
        c->SetBounds(r.right - c->Width(), r.top, c->Width(), r.Height());
        r.right -= c->Width();
        break;
      default: break;
    }
  }
  for (TControl* c : controls_)
    if (c->Visible() && c->Align() == alClient) c->SetBounds(r.left, r.top, r.Width(), r.Height());
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->Owner() == root) proc(c);
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.className = "NorvexControl";
  params.caption = Caption();
}

void TWinControl::PaintControls(TCanvas& canvas) {
  for (TControl* c : controls_)
    if (c->Visible() && !dynamic_cast<TWinControl*>(c)) c->PaintOnParent(canvas);
}

// --- TGraphicControl, TCustomControl --------------------------------------------------------

const TClassInfo& TGraphicControl::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGraphicControl>("TGraphicControl", &TControl::StaticClass()).Build();
  return info;
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}

void TGraphicControl::PaintOnParent(TCanvas& canvas) { Paint(canvas); }

const TClassInfo& TCustomControl::StaticClass() {
  static const TClassInfo info = TClassBuilder<TCustomControl>("TCustomControl", &TWinControl::StaticClass()).Build();
  return info;
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

void TCustomControl::Paint() {}

void TWinControl::CMColorChanged() {
  brush_->SetColor(Color());
  Invalidate();
}

// --- TControlActionLink ------------------------------------------------------------------

void TControlActionLink::Change() {
  if (Action()) client_->ActionChange(Action(), false);
}

namespace {
const TAction* AsAction(TBasicAction* a) { return dynamic_cast<const TAction*>(a); }
}  // namespace

bool TControlActionLink::IsCaptionLinked() const {
  const TAction* a = AsAction(Action());
  return a && a->Caption() == client_->Caption();
}
bool TControlActionLink::IsEnabledLinked() const {
  const TAction* a = AsAction(Action());
  return a && a->Enabled() == client_->Enabled();
}
bool TControlActionLink::IsHintLinked() const {
  const TAction* a = AsAction(Action());
  return a && a->Hint() == client_->Hint();
}
bool TControlActionLink::IsVisibleLinked() const {
  const TAction* a = AsAction(Action());
  return a && a->Visible() == client_->Visible();
}
bool TControlActionLink::IsOnExecuteLinked() const {
  const TBasicAction* a = Action();
  return a && !client_->OnClick.MethodName().empty() && client_->OnClick.MethodName() == a->OnExecute.MethodName();
}

// --- TSizeConstraints ----------------------------------------------------------------------

const TClassInfo& TSizeConstraints::StaticClass() {
  using C = TSizeConstraints;
  static const TClassInfo info = TClassBuilder<C>("TSizeConstraints", &TPersistent::StaticClass())
                                     .Property("MaxHeight", &C::MaxHeight, &C::SetMaxHeight).Default(0)
                                     .Property("MaxWidth", &C::MaxWidth, &C::SetMaxWidth).Default(0)
                                     .Property("MinHeight", &C::MinHeight, &C::SetMinHeight).Default(0)
                                     .Property("MinWidth", &C::MinWidth, &C::SetMinWidth).Default(0)
                                     .Build();
  return info;
}

void TSizeConstraints::SetMaxHeight(int v) {
  v = std::max(v, 0);
  if (v == maxHeight_) return;
  maxHeight_ = v;
  if (v > 0 && v < minHeight_) minHeight_ = v;
  Changed();
}

void TSizeConstraints::SetMaxWidth(int v) {
  v = std::max(v, 0);
  if (v == maxWidth_) return;
  maxWidth_ = v;
  if (v > 0 && v < minWidth_) minWidth_ = v;
  Changed();
}

void TSizeConstraints::SetMinHeight(int v) {
  v = std::max(v, 0);
  if (v == minHeight_) return;
  minHeight_ = v;
  if (maxHeight_ > 0 && v > maxHeight_) maxHeight_ = v;
  Changed();
}

void TSizeConstraints::SetMinWidth(int v) {
  v = std::max(v, 0);
  if (v == minWidth_) return;
  minWidth_ = v;
  if (maxWidth_ > 0 && v > maxWidth_) maxWidth_ = v;
  Changed();
}

void TSizeConstraints::Assign(const TPersistent& source) {
  auto* c = dynamic_cast<const TSizeConstraints*>(&source);
  if (!c) return TPersistent::Assign(source);
  maxHeight_ = c->maxHeight_;
  maxWidth_ = c->maxWidth_;
  minHeight_ = c->minHeight_;
  minWidth_ = c->minWidth_;
  Changed();
}

int TSizeConstraints::ConstrainWidth(int w) const {
  if (maxWidth_ > 0 && w > maxWidth_) w = maxWidth_;
  return std::max(w, minWidth_);
}

int TSizeConstraints::ConstrainHeight(int h) const {
  if (maxHeight_ > 0 && h > maxHeight_) h = maxHeight_;
  return std::max(h, minHeight_);
}
