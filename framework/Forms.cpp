#include "framework/Forms.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

void RegisterFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const TClassInfo* c :
         {&TForm::StaticClass(), &TLabel::StaticClass(), &TEdit::StaticClass(), &TListBox::StaticClass(),
          &TImage::StaticClass(), &TTimer::StaticClass(), &TPanel::StaticClass(),
          &TProgressBar::StaticClass(), &TAnimate::StaticClass(), &TPopupMenu::StaticClass(),
          &TMenuItem::StaticClass()})
      RegisterComponentClass(*c);
  });
}

// --- Form resources ------------------------------------------------------------------------

namespace {
std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}
struct ResourceTable {
  std::mutex mutex;
  std::map<std::string, std::string> data;
};
ResourceTable& Resources() {
  static ResourceTable t;
  return t;
}
}  // namespace

std::optional<std::string> FindModuleRcData(const std::string& name);  // per platform

void RegisterFormResource(const std::string& name, std::string data) {
  ResourceTable& t = Resources();
  std::lock_guard lock(t.mutex);
  t.data[Upper(name)] = std::move(data);
}

std::optional<std::string> FindFormResource(const std::string& name) {
  {
    ResourceTable& t = Resources();
    std::lock_guard lock(t.mutex);
    auto it = t.data.find(Upper(name));
    if (it != t.data.end()) return it->second;
  }
  return FindModuleRcData(Upper(name));
}

// --- TCustomForm ------------------------------------------------------------------------------

namespace {
const TClassInfo& BuildFormInfo() {
  static const TClassInfo info =
      TClassBuilder<TCustomForm>("TCustomForm", &TWinControl::StaticClass())
          .Publish("Left").Publish("Top")
          .Publish("Width").Stored(&TCustomForm::IsFormSizeStored)
          .Publish("Height").Stored(&TCustomForm::IsFormSizeStored)
          .Property("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl)
          .Publish("Align")
          .Property("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons)
              .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize})
          .Property("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle).Default(bsSizeable)
          .Publish("Caption")
          .Publish("ClientHeight").Stored(&TCustomForm::IsClientSizeStored)
          .Publish("ClientWidth").Stored(&TCustomForm::IsClientSizeStored)
          .Publish("Color").NoDefault().Stored(true)
          .Publish("Enabled")
          .Publish("Font").Stored(true)
          .Property("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle).Default(fsNormal)
          .Publish("Hint")
          .Property("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview).Default(false)
          .Property("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder)
          .Publish("ParentFont").Default(false)
          .Publish("PopupMenu")
          .Property("Position", &TCustomForm::Position, &TCustomForm::SetPosition).Default(poDesigned)
          .Property("Scaled", &TCustomForm::Scaled, &TCustomForm::SetScaled).Default(true)
          .Publish("ShowHint")
          .Publish("Visible").Default(false)
          .Property("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState).Default(wsNormal)
          .Property("OnActivate", &TCustomForm::OnActivate, &TCustomForm::OnActivate)
          .Publish("OnClick")
          .Property("OnClose", &TCustomForm::OnClose, &TCustomForm::OnClose)
          .Property("OnCreate", &TCustomForm::OnCreate, &TCustomForm::OnCreate)
          .Publish("OnDblClick")
          .Property("OnDestroy", &TCustomForm::OnDestroy, &TCustomForm::OnDestroy)
          .Property("OnHide", &TCustomForm::OnHide, &TCustomForm::OnHide)
          .Publish("OnKeyDown").Publish("OnKeyPress").Publish("OnKeyUp")
          .Publish("OnMouseDown").Publish("OnMouseMove").Publish("OnMouseUp")
          .Property("OnShow", &TCustomForm::OnShow, &TCustomForm::OnShow)
          .Build();
  return info;
}
}  // namespace

const TClassInfo& TCustomForm::StaticClass() { return BuildFormInfo(); }

const TClassInfo& TForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TForm>("TForm", &TCustomForm::StaticClass()).Creatable().Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  SetVisible(false);
  SetParentColor(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  Font()->SetHeight(-11);
  SetBounds(0, 0, 320, 240);
  controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
}

TCustomForm::~TCustomForm() {
  state_.Include(csDestroying);
  OnDestroy(this);
  if (Application) Application->Notification(this, false);
}

std::string TCustomForm::ClassName() const {
  return poseClassName_.empty() ? TWinControl::ClassName() : poseClassName_;
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  if (v == borderIcons_) return;
  borderIcons_ = v;
  RecreateWnd();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  RecreateWnd();
}

void TCustomForm::SetActiveControl(TWinControl* c) {
  activeControl_ = c;
  if (c && !ComponentState().Contains(csLoading) && !ComponentState().Contains(csReading) && HandleAllocated() &&
      Visible() && c->CanFocus())
    c->SetFocus();
}

void TCustomForm::SetClientSize(int width, int height) {
  clientSizeStored_ = true;
  clientWidth_ = width;
  clientHeight_ = height;
  TWinControl::SetClientSize(width, height);
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  AlignControls();
}

void TCustomForm::Notification(TComponent* c, bool inserted) {
  TWinControl::Notification(c, inserted);
  if (!inserted && c == activeControl_) activeControl_ = nullptr;
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  TWinControl::GetChildren(proc, root);
  if (root == this)
    for (int i = 0; i < ComponentCount(); ++i)
      if (!Components(i)->HasParent()) proc(Components(i));
}

void TCustomForm::DefineProperties(TFiler& filer) {
  TWinControl::DefineProperties(filer);
  filer.DefineProperty(
      "PixelsPerInch", [this](TReader& r) { pixelsPerInch_ = static_cast<int>(r.ReadInteger()); },
      [this](TWriter& w) { w.WriteInteger(pixelsPerInch_); }, true);
  filer.DefineProperty(
      "TextHeight", [this](TReader& r) { textHeight_ = static_cast<int>(r.ReadInteger()); },
      [this](TWriter& w) { w.WriteInteger(textHeight_); }, true);
}

void TCustomForm::ReadFormData(std::string_view data) {
  TReader r(data, ComponentState().Contains(csDesigning) ? TReader::Mode::kDesign : TReader::Mode::kRunTime);
  r.ReadRootComponent(this);
}

bool TCustomForm::InitInheritedComponent() {
  std::string name = ClassName();
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  std::optional<std::string> data = FindFormResource(name);
  if (!data) return false;
  ReadFormData(*data);
  return true;
}

namespace {
void CollectTabStops(const TWinControl* w, std::vector<TWinControl*>& out) {
  for (TWinControl* c : w->TabList()) {
    out.push_back(c);
    CollectTabStops(c, out);
  }
}
bool Focusable(TWinControl* c) { return c->TabStop() && c->CanFocus(); }
}  // namespace

TWinControl* TCustomForm::FindFirstFocusable() const {
  std::vector<TWinControl*> all;
  CollectTabStops(this, all);
  for (TWinControl* c : all)
    if (Focusable(c)) return c;
  return nullptr;
}

void TCustomForm::SelectNext(TWinControl* current, bool forward) {
  std::vector<TWinControl*> all;
  CollectTabStops(this, all);
  if (all.empty()) return;
  if (!forward) std::reverse(all.begin(), all.end());
  auto it = std::find(all.begin(), all.end(), current);
  std::size_t start = it == all.end() ? all.size() - 1 : static_cast<std::size_t>(it - all.begin());
  for (std::size_t k = 1; k <= all.size(); ++k) {
    TWinControl* c = all[(start + k) % all.size()];
    if (Focusable(c)) {
      activeControl_ = c;
      c->SetFocus();
      return;
    }
  }
}

void TCustomForm::Close() {
  TCloseAction action = caHide;
  OnClose(this, action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
    return;
  }
  if (action == caFree)
    Release();
  else
    Hide();
}

// --- TApplication, TScreen -----------------------------------------------------------------

const TClassInfo& TApplication::StaticClass() {
  static const TClassInfo info = TClassBuilder<TApplication>("TApplication", &TComponent::StaticClass()).Build();
  return info;
}

const TClassInfo& TScreen::StaticClass() {
  static const TClassInfo info = TClassBuilder<TScreen>("TScreen", &TComponent::StaticClass()).Build();
  return info;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  TitleChanged();
}

void TApplication::Notification(TComponent* c, bool inserted) {
  TComponent::Notification(c, inserted);
  if (!inserted && c == mainForm_) mainForm_ = nullptr;
  if (!inserted) pendingRelease_.erase(std::remove(pendingRelease_.begin(), pendingRelease_.end(), c), pendingRelease_.end());
}

void TApplication::ReleasePending() {
  std::vector<TCustomForm*> forms;
  forms.swap(pendingRelease_);
  for (TCustomForm* f : forms) delete f;
}

void TApplication::HandleCurrentException() {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception("Unknown exception"));
  }
}

std::string TApplication::ExceptionMessage(const std::exception& e) {
  std::string m = e.what();
  // The class library's rule: a full stop goes after a message whose last character sorts
  // after '.' (letters, digits, any double-byte character), not after '.', '!' or ')'.
  if (!m.empty() && static_cast<unsigned char>(m.back()) > '.') m += '.';
  return m;
}

void TApplication::HandleException(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return;
  std::string m = ExceptionMessage(e);
  if (OnException) {
    OnException(m);
    return;
  }
  ShowErrorBox(m);
}
