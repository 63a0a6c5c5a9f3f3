#pragma once
// Controls: TControl (position, size, caption, font, colour, visibility, mouse), TWinControl
// (a window with a handle, focus, keyboard, tab order, child controls), TGraphicControl
// (painted by its parent) and TCustomControl (a window of its own with a canvas and Paint).
//
// The property side and the state live in portable code, so form data can be read and
// written natively. Windows exist only on Windows (Controls_win32.cpp): a windowed control
// creates its handle on first need, which is when its form is shown or Handle() is asked
// for; elsewhere Handle() stays null and the window calls do nothing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/ActnList.h"
#include "framework/Classes.h"
#include "framework/Graphics.h"

class TWinControl;
class TCustomForm;
class TCustomLabel;
class TPopupMenu;
class TControlActionLink;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
FW_ENUM_NAMES(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient");
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
FW_ENUM_NAMES(TAnchorKind, "akLeft", "akTop", "akRight", "akBottom");
using TAnchors = TSet<TAnchorKind>;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
FW_ENUM_NAMES(TAlignment, "taLeftJustify", "taRightJustify", "taCenter");
enum TTextLayout { tlTop, tlCenter, tlBottom };
FW_ENUM_NAMES(TTextLayout, "tlTop", "tlCenter", "tlBottom");
// One type for a control's border (bsNone, bsSingle) and a form's.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
FW_ENUM_NAMES(TFormBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow",
              "bsSizeToolWin");
using TBorderStyle = TFormBorderStyle;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
FW_ENUM_NAMES(TMouseButton, "mbLeft", "mbRight", "mbMiddle");
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
FW_ENUM_NAMES(TShiftStateFlag, "ssShift", "ssAlt", "ssCtrl", "ssLeft", "ssRight", "ssMiddle",
              "ssDouble");
using TShiftState = TSet<TShiftStateFlag>;

// Control styles (what the framework's standard behaviour does for a control).
enum TControlStyleFlag {
  csAcceptsControls,  // may hold child controls
  csCaptureMouse,     // a left press captures the mouse
  csClickEvents,      // press and release inside make a click
  csDoubleClicks,     // a double click is one; without it the second press is a plain press
  csOpaque,
  csSetCaption,
  csFramed,
};
FW_ENUM_NAMES(TControlStyleFlag, "csAcceptsControls", "csCaptureMouse", "csClickEvents",
              "csDoubleClicks", "csOpaque", "csSetCaption", "csFramed");
using TControlStyle = TSet<TControlStyleFlag>;

// Reading order and alignment; only bdLeftToRight is drawn differently from none at all here.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
FW_ENUM_NAMES(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign",
              "bdRightToLeftReadingOnly");
// dmAutomatic: a left press starts dragging the control. dkDock asks for docking, which the
// framework does not have: such a drag never starts.
enum TDragMode { dmManual, dmAutomatic };
FW_ENUM_NAMES(TDragMode, "dmManual", "dmAutomatic");
enum TDragKind { dkDrag, dkDock };
FW_ENUM_NAMES(TDragKind, "dkDrag", "dkDock");
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
FW_ENUM_NAMES(TDragState, "dsDragEnter", "dsDragLeave", "dsDragMove");

// What OnStartDrag may supply to stand for the dragged control; targets then see it as the
// source. Owned by whoever made it.
class TDragObject : public TObject {
 public:
  TDragObject() = default;
};
class TDragDockObject : public TDragObject {};

// Cursor identifiers (the class library's numbering).
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crIBeam = -4;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHandPoint = -21;
std::optional<std::string> CursorToIdent(std::int64_t cursor);
std::optional<std::int64_t> IdentToCursor(std::string_view ident);

using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;
using TKeyEvent = TEvent<TObject*, std::uint16_t&, TShiftState>;
using TKeyPressEvent = TEvent<TObject*, char&>;
// Sender, Source, X, Y, State, Accept.
using TDragOverEvent = TEvent<TObject*, TObject*, int, int, TDragState, bool&>;
// Sender, Source, X, Y.
using TDragDropEvent = TEvent<TObject*, TObject*, int, int>;
// Sender, Target (null when nothing took the drop), X, Y.
using TEndDragEvent = TEvent<TObject*, TObject*, int, int>;
using TStartDragEvent = TEvent<TObject*, TDragObject*&>;
using TStartDockEvent = TEvent<TObject*, TDragDockObject*&>;

// A control's size limits; 0 is no limit. A maximum below the minimum pulls the minimum down
// with it, and a minimum above the maximum pushes the maximum up.
class TSizeConstraints : public TPersistent {
  FW_CLASS(TSizeConstraints, TPersistent)
  TSizeConstraints() = default;
  int MaxHeight() const { return maxHeight_; }
  void SetMaxHeight(int v);
  int MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int v);
  int MinHeight() const { return minHeight_; }
  void SetMinHeight(int v);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int v);
  void Assign(const TPersistent& source) override;
  // The nearest width (height) within the limits.
  int ConstrainWidth(int w) const;
  int ConstrainHeight(int h) const;
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  int maxHeight_ = 0, maxWidth_ = 0, minHeight_ = 0, minWidth_ = 0;
};

// A raw window message, for controls that handle one themselves (in their *_win32.cpp).
struct TMessage {
  unsigned msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::intptr_t result = 0;
};

class TControl : public TComponent {
  FW_CLASS(TControl, TComponent)
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  virtual TRect ClientRect() const { return {0, 0, width_, height_}; }
  int ClientWidth() const { return ClientRect().right; }
  int ClientHeight() const { return ClientRect().bottom; }
  virtual void SetClientSize(int width, int height);
  void SetClientWidth(int v) { SetClientSize(v, ClientHeight()); }
  void SetClientHeight(int v) { SetClientSize(ClientWidth(), v); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign v);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors v) { anchors_ = v; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  const std::string& Text() const { return caption_; }
  void SetText(const std::string& v) { SetCaption(v); }
  // Stores the text without telling the window (which already shows it).
  void SetCaptionQuietly(const std::string& v) { caption_ = v; }

  TColor Color() const { return color_; }
  void SetColor(TColor v);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* f) { font_->Assign(*f); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Visible here and in every parent up to the form.
  bool Showing() const;

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& v);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool v);
  bool EffectiveShowHint() const;
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v) { cursor_ = v; }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* m) { popupMenu_ = m; }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int v) { helpContext_ = v; }
  TSizeConstraints* Constraints() const { return constraints_.get(); }

  // The linked action, or null. Linking shows the action's caption, enabled state, hint and
  // visibility at once; while form data is read only those still at their defaults.
  TBasicAction* Action() const;
  void SetAction(TBasicAction* action);
  bool IsCaptionStored() const;
  bool IsEnabledStored() const;
  bool IsHintStored() const;
  bool IsVisibleStored() const;

  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode v);
  bool ParentBiDiMode() const { return parentBiDiMode_; }
  void SetParentBiDiMode(bool v);
  bool IsBiDiModeStored() const { return !parentBiDiMode_; }

  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode v) { dragMode_ = v; }
  TDragKind DragKind() const { return dragKind_; }
  void SetDragKind(TDragKind v) { dragKind_ = v; }
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor v) { dragCursor_ = v; }
  // Starts dragging this control: at once, or once the pointer has moved `threshold` pixels
  // (-1: the system's drag distance). The control holds the mouse capture until the drag ends
  // on the release (a drop where the target accepted) or when another window takes the mouse.
  void BeginDrag(bool immediate, int threshold = -1);
  void EndDrag(bool drop);
  bool Dragging() const;
  // The drag's steps, overridable: the source starts and ends, a target is asked and dropped on.
  virtual void DoStartDrag(TDragObject*& dragObject);  // fires OnStartDrag
  virtual void DoEndDrag(TObject* target, int x, int y);  // fires OnEndDrag
  // Accept starts true when OnDragOver is assigned (the handler may refuse), false otherwise.
  virtual void DragOver(TObject* source, int x, int y, TDragState state, bool& accept);
  virtual void DragDrop(TObject* source, int x, int y);  // fires OnDragDrop

  TControlStyle& ControlStyle() { return controlStyle_; }
  TControlStyle ControlStyle() const { return controlStyle_; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TEndDragEvent OnEndDock;  // kept and stored; nothing docks here
  TEndDragEvent OnEndDrag;
  TStartDockEvent OnStartDock;  // kept and stored; nothing docks here
  TStartDragEvent OnStartDrag;

  // Drawing. For a windowed control both reach its child windows too, so Repaint() shows a
  // whole window at once without a message loop.
  virtual void Invalidate();
  virtual void Update();  // paints now what is invalid
  void Repaint() { Invalidate(); Update(); }
  void BringToFront();

  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  // Whether this control holds the mouse capture; setting takes or releases it.
  bool MouseCapture() const;
  void SetMouseCapture(bool v);
  // The form this control lies on, or null.
  TCustomForm* GetParentForm() const;

  // The standard behaviour's operations, in the order the window procedure calls them.
  virtual void Click();     // fires OnClick
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  // Framework notifications (the class library's CM_ messages).
  virtual void CMMouseEnter();
  virtual void CMMouseLeave();
  virtual void CMEnabledChanged();
  virtual void CMTextChanged();
  virtual void CMFontChanged();
  virtual void CMColorChanged();
  virtual void CMVisibleChanged();
  // An accelerator character offered by the form; true when this control took it.
  virtual bool CMDialogChar(unsigned ch);

  bool IsColorStored() const;
  bool IsFontStored() const;
  bool IsShowHintStored() const;

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;
  void Notification(TComponent* c, bool inserted) override;

  // For the parent: paints a graphic control on the parent's surface. TWinControl never.
  virtual void PaintOnParent(TCanvas&) {}
  // Platform window that draws this control, if it has one (a label's static window).
  virtual void* WindowHandle() const { return nullptr; }

 protected:
  // Called when a property that the window shows changes. Windows: pushes it to the window.
  virtual void BoundsChanged();
  void ParentFontChanged();
  void ParentColorChanged();
  void ParentBiDiModeChanged();
  // The linked action changed (checkDefaults: only properties still at their defaults follow).
  virtual void ActionChange(TBasicAction* sender, bool checkDefaults);

  TControlStyle controlStyle_;
  bool clicking_ = false;

 private:
  friend class TWinControl;
  friend class TControlActionLink;
  void FontChanged();
  void ConstraintsChanged();
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  std::string caption_;
  TColor color_ = clWindow;
  bool parentColor_ = true;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool settingParentFont_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
  int helpContext_ = 0;
  std::unique_ptr<TSizeConstraints> constraints_;
  std::unique_ptr<TControlActionLink> actionLink_;
  TBiDiMode biDiMode_ = bdLeftToRight;
  bool parentBiDiMode_ = true;
  TDragMode dragMode_ = dmManual;
  TDragKind dragKind_ = dkDrag;
  TCursor dragCursor_ = crDrag;
};

// A control's tie to its action: follows the action's changes, and forgets it when it goes.
class TControlActionLink : public TActionLink {
 public:
  explicit TControlActionLink(TControl* client) : client_(client) {}
  void Change() override;
  bool IsCaptionLinked() const;
  bool IsEnabledLinked() const;
  bool IsHintLinked() const;
  bool IsVisibleLinked() const;
  // The client's OnClick is the action's own execute handler (both name one method).
  bool IsOnExecuteLinked() const;

 private:
  TControl* client_;
};

// What a windowed control asks of CreateWindowEx.
struct TCreateParams {
  std::string className;    // registered window class, UTF-8 ("EDIT", "NorvexControl")
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::string caption;
};

class TWinControl : public TControl {
  FW_CLASS(TWinControl, TControl)
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  // The window (HWND); made on first call, with the parent's first. Null natively.
  void* Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  void DestroyHandle();
  void RecreateWnd();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(static_cast<std::size_t>(i)); }
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);

  int TabOrder() const;
  void SetTabOrder(int v);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v) { tabStop_ = v; }
  // Windowed children in tab order.
  std::vector<TWinControl*> TabList() const;

  TBrush* Brush() const { return brush_.get(); }
  TRect ClientRect() const override;

  bool Focused() const;
  virtual bool CanFocus() const;
  virtual void SetFocus();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  virtual void KeyDown(std::uint16_t& key, TShiftState shift);  // fire the events
  virtual void KeyUp(std::uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();
  // Offers an accelerator character to the children (and this control); true when taken.
  bool CMDialogChar(unsigned ch) override;
  // True when typed characters belong to this control (an edit), not to accelerators.
  virtual bool WantsChars() const { return false; }

  // Lays out aligned children (alClient fills what is left).
  virtual void AlignControls();

  // The window procedure, for controls that handle raw messages; call inherited for the rest.
  virtual void WndProc(TMessage& m);
  void DefaultHandler(TMessage& m);
  void* DefWndProc() const { return defWndProc_; }

  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Invalidate() override;
  void Update() override;

 protected:
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateWnd();  // creates the window from CreateParams and subclasses it
  virtual void CreateHandleChildren();
  // After the window exists: set font, text and state of a standard control.
  virtual void InitWindow() {}
  void BoundsChanged() override;
  void CMTextChanged() override;
  void CMFontChanged() override;
  void CMEnabledChanged() override;
  void CMVisibleChanged() override;
  void CMColorChanged() override;
  // Paints the graphic children (in creation order) on the window's surface.
  void PaintControls(TCanvas& canvas);

  // The parent's window learns of a child (a label's static window is made there).
  void AttachChild(TControl* c);
  void DetachChild(TControl* c);

  void* handle_ = nullptr;
  void* defWndProc_ = nullptr;
  bool updatingBounds_ = false;

 private:
  friend class TControl;
  friend struct WinControlAccess;
  // The window procedure's steps, one kind of message each (WinControl_win32.cpp).
  void WMButtonDown(TMessage& m);
  void WMButtonUp(TMessage& m);
  bool WMKey(TMessage& m);
  void WMFocus(TMessage& m);
  bool WMSetCursor(TMessage& m);
  bool WMContextMenu(TMessage& m);
  bool ReflectToChild(TMessage& m);
  void ColorLabel(TCustomLabel* label, TMessage& m);
  void CNCtlColor(TMessage& m);
  void WMWindowPosChanged(TMessage& m);
  void WMNcDestroy(TMessage& m);
  std::vector<TControl*> controls_;
  int tabOrderRequest_ = -1;
  bool tabOrderExplicit_ = false;
  bool tabStop_ = false;
  std::unique_ptr<TBrush> brush_;
};

class TGraphicControl : public TControl {
  FW_CLASS(TGraphicControl, TControl)
  explicit TGraphicControl(TComponent* owner);
  void PaintOnParent(TCanvas& canvas) override;

 protected:
  virtual void Paint(TCanvas&) {}
};

// A windowed control that paints itself: Paint() runs on WM_PAINT with Canvas() ready.
class TCustomControl : public TWinControl {
  FW_CLASS(TCustomControl, TWinControl)
  explicit TCustomControl(TComponent* owner);
  TCanvas* Canvas() { return &canvas_; }

 protected:
  virtual void Paint();
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& m) override;

 private:
  // Runs Paint with the canvas on `dc` (HDC) for the duration.
  void PaintOn(void* dc);
  TCanvas canvas_;
  bool tracking_ = false;
};

// The current keyboard and mouse-button state (GetKeyboardState); ssDouble never set.
TShiftState CurrentShiftState();
// The mouse pointer's position on the screen (GetCursorPos).
TPoint CursorPos();
// The control that holds the mouse capture, or null.
TControl* GetCaptureControl();
// The control whose window is `hwnd`, or null.
TControl* FindControl(void* hwnd);
