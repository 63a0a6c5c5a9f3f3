#include <windows.h>

#include <algorithm>

#include "framework/Menus.h"
#include "framework/ClassBuilder.h"
#include "framework/Forms.h"
#include "framework/Win32Util.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

const TClassInfo& TMenuItem::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMenuItem>("TMenuItem", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption)
                                     .Property("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(false)
                                     .Property("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).Default(true)
                                     .Property("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).Default(true)
                                     .Property("OnClick", &TMenuItem::OnClick, &TMenuItem::OnClick)
                                     .Build();
  return info;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  state_.Include(csDestroying);
  for (TMenuItem* i : items_) i->parentItem_ = nullptr;
  if (parentItem_) parentItem_->Remove(this);
}

void TMenuItem::Add(TMenuItem* item) {
  if (item->parentItem_) item->parentItem_->Remove(item);
  items_.push_back(item);
  item->parentItem_ = this;
  item->menu_ = menu_;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parentItem_ = nullptr;
}

TComponent* TMenuItem::GetParentComponent() const {
  if (parentItem_ && parentItem_->menu_ && parentItem_ == parentItem_->menu_->Items()) return parentItem_->menu_;
  return parentItem_;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
  if (auto* m = dynamic_cast<TPopupMenu*>(parent))
    m->Items()->Add(this);
  else if (auto* i = dynamic_cast<TMenuItem*>(parent))
    i->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (TMenuItem* i : std::vector<TMenuItem*>(items_))
    if (i->Owner() == root) proc(i);
}

const TClassInfo& TPopupMenu::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPopupMenu>("TPopupMenu", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("OnPopup", &TPopupMenu::OnPopup, &TPopupMenu::OnPopup)
                                     .Build();
  return info;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {
  items_->menu_ = this;
}

TPopupMenu::~TPopupMenu() { state_.Include(csDestroying); }

void TPopupMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  items_->GetChildren(proc, root);
}

namespace {
void Build(HMENU menu, TMenuItem* parent, std::vector<TMenuItem*>& byId) {
  for (int i = 0; i < parent->Count(); ++i) {
    TMenuItem* it = parent->Items(i);
    if (!it->Visible()) continue;
    std::wstring cap = text::Widen(it->Caption());
    if (it->Caption() == "-") {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING | (it->Enabled() ? 0 : MF_GRAYED) | (it->Checked() ? MF_CHECKED : 0);
    if (it->Count() > 0) {
      HMENU sub = CreatePopupMenu();
      Build(sub, it, byId);
      AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), cap.c_str());
    } else {
      byId.push_back(it);
      AppendMenuW(menu, flags, byId.size(), cap.c_str());
    }
  }
}
}  // namespace

void TPopupMenu::Popup(int x, int y) {
  OnPopup(this);
  win32::UniqueMenu menu(CreatePopupMenu());
  std::vector<TMenuItem*> byId;
  Build(menu.Get(), items_.get(), byId);
  HWND owner = Application ? static_cast<HWND>(Application->Handle()) : nullptr;
  if (Application && Application->MainForm() && Application->MainForm()->HandleAllocated())
    owner = static_cast<HWND>(Application->MainForm()->Handle());
  SetForegroundWindow(owner);
  UINT cmd = static_cast<UINT>(TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON,
                                              x, y, 0, owner, nullptr));
  menu.Reset();
  if (cmd >= 1 && cmd <= byId.size()) byId[cmd - 1]->Click();
}

void TPopupMenu::CloseActivePopup() { EndMenu(); }
