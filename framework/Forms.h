#pragma once
// Forms, the application object and the screen.
//
// A form class is built from its form resource: RCDATA named after the class in upper case
// ("TUPDATEFORM"), holding "TPF0" form data whose root object is of the form's class.
// TApplication::CreateForm<T>() (or CreateFormFromResource<T>()) constructs T, reads that data
// into it (children created, published fields bound, events bound to published methods),
// calls Loaded() and then OnCreate.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Controls.h"

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter };
FW_ENUM_NAMES(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
              "poScreenCenter", "poDesktopCenter");
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
FW_ENUM_NAMES(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp");
using TBorderIcons = TSet<TBorderIcon>;
enum TCloseAction { caNone, caHide, caFree, caMinimize };
FW_ENUM_NAMES(TCloseAction, "caNone", "caHide", "caFree", "caMinimize");
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
FW_ENUM_NAMES(TFormStyle, "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop");
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
FW_ENUM_NAMES(TWindowState, "wsNormal", "wsMinimized", "wsMaximized");

using TCloseEvent = TEvent<TObject*, TCloseAction&>;

class TCustomForm : public TWinControl {
  FW_CLASS(TCustomForm, TWinControl)
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  // Form data names the form's class; a designer without the real class (the form compiler)
  // streams a generic form under that name.
  std::string ClassName() const override;
  void PoseAsClass(const std::string& className) { poseClassName_ = className; }

  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; }
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons v);
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle v);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle v) { formStyle_ = v; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState v) { windowState_ = v; }
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int v) { pixelsPerInch_ = v; }
  int TextHeight() const { return textHeight_; }
  void SetTextHeight(int v) { textHeight_ = v; }
  bool Scaled() const { return scaled_; }
  void SetScaled(bool v) { scaled_ = v; }
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  bool OldCreateOrder() const { return oldCreateOrder_; }
  void SetOldCreateOrder(bool v) { oldCreateOrder_ = v; }
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* c);
  // Records the focused control without moving the focus (the window told us).
  void SetActiveNoFocus(TWinControl* c) { activeControl_ = c; }

  // Client size in form data: stored instead of Width/Height once assigned.
  void SetClientSize(int width, int height) override;
  TRect ClientRect() const override;
  bool IsClientSizeStored() const { return clientSizeStored_; }
  bool IsFormSizeStored() const { return !clientSizeStored_; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TCloseEvent OnClose;

  // Shows the form (centred first when Position says so) and focuses its first control.
  void Show();
  void Hide();
  // Runs OnClose with caHide; caNone keeps the form; the main form's close ends the program;
  // caFree releases the form; otherwise it is hidden.
  void Close();
  // Destroys the form once control is back in the message loop.
  void Release();
  // Moves the focus to the next (or previous) tab stop after `current`.
  void SelectNext(TWinControl* current, bool forward);
  // Typed character offered to the controls as an accelerator; true when one took it.
  bool DialogChar(unsigned ch) { return CMDialogChar(ch); }
  // The first control in tab order that can take the focus.
  TWinControl* FindFirstFocusable() const;

  void Loaded() override;
  void Notification(TComponent* c, bool inserted) override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  // PixelsPerInch and TextHeight, written after the published properties.
  void DefineProperties(TFiler& filer) override;
  void WndProc(TMessage& m) override;

  // Reads form data into this form. The framework's own classes are always known; others
  // register (RegisterClassOf) or are the classes of published fields.
  void ReadFormData(std::string_view data);
  // Reads this class's form resource. False when there is none.
  bool InitInheritedComponent();
  void DoCreate() { OnCreate(this); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void CMVisibleChanged() override;

 private:
  void PlaceOnScreen();
  std::string poseClassName_;
  TPosition position_ = poDesigned;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TFormBorderStyle borderStyle_ = bsSizeable;
  TFormStyle formStyle_ = fsNormal;
  TWindowState windowState_ = wsNormal;
  int pixelsPerInch_ = 96;
  int textHeight_ = 12;
  bool scaled_ = true;
  bool keyPreview_ = false;
  bool oldCreateOrder_ = false;
  bool clientSizeStored_ = false;
  int clientWidth_ = 0, clientHeight_ = 0;
  TWinControl* activeControl_ = nullptr;
  bool placed_ = false;
};

class TForm : public TCustomForm {
  FW_CLASS(TForm, TCustomForm)
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};

// Form resources: what the program carries, looked up by name (upper case). Registered ones
// (tests, native builds) come first; on Windows the executable's RCDATA resources next.
void RegisterFormResource(const std::string& name, std::string data);
std::optional<std::string> FindFormResource(const std::string& name);

// Constructs T (owner may be null), reads its form resource (EResNotFound-like Exception when
// missing), calls Loaded and OnCreate.
template <class T>
T* CreateFormFromResource(TComponent* owner) {
  T* form = new T(owner);
  try {
    if (!form->InitInheritedComponent())
      throw Exception("Resource " + form->ClassName() + " not found");
    form->DoCreate();
  } catch (...) {
    delete form;
    throw;
  }
  return form;
}

class TApplication : public TComponent {
  FW_CLASS(TApplication, TComponent)
  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t);
  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T*& ref) {
    ref = nullptr;
    T* form = CreateFormFromResource<T>(this);
    ref = form;
    if (!mainForm_) mainForm_ = form;
  }
  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* f) { mainForm_ = f; }
  // Shows the main form and runs the message loop until it closes (or Terminate).
  void Run();
  // Handles every pending message, then returns.
  void ProcessMessages();
  // Waits for one message and handles it (a modal loop's step).
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // The standard error box for an exception that escaped an event handler: captioned with
  // Title, the message with a full stop; EAbort shows nothing.
  void HandleException(const std::exception& e);
  void HandleCurrentException();  // from inside a catch (...) block
  // Replaces the error box (tests; null restores it).
  std::function<void(const std::string& message)> OnException;
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v) { showHint_ = v; }
  void* Handle();  // the application's hidden window (Windows)

  void Notification(TComponent* c, bool inserted) override;
  // Forms given to Release(); destroyed by ReleasePending() from the message loop.
  void QueueRelease(TCustomForm* f) { pendingRelease_.push_back(f); }
  void ReleasePending();
  static std::string ExceptionMessage(const std::exception& e);

 private:
  bool PreTranslate(void* msg);
  void TitleChanged();
  void ShowErrorBox(const std::string& message);
  std::vector<TCustomForm*> pendingRelease_;
  std::string title_;
  TCustomForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool showHint_ = true;
  void* handle_ = nullptr;
};

class TScreen : public TComponent {
  FW_CLASS(TScreen, TComponent)
  explicit TScreen(TComponent* owner) : TComponent(owner) {}
  TCursor Cursor() const { return cursor_; }
  // Application-wide pointer: anything but crDefault overrides every window's own.
  void SetCursor(TCursor c);
  int Width() const;
  int Height() const;

 private:
  TCursor cursor_ = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

// Registers the controls' classes with the class registry, so form data can name them (done
// by ReadFormData; harmless to repeat).
void RegisterFrameworkClasses();
