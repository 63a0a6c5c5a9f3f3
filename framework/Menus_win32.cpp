#include <windows.h>

#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/Win32Util.h"
#include "text/CodePage.h"

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
  HMENU menu = CreatePopupMenu();
  std::vector<TMenuItem*> byId;
  Build(menu, items_.get(), byId);
  HWND owner = Application ? static_cast<HWND>(Application->Handle()) : nullptr;
  if (Application && Application->MainForm() && Application->MainForm()->HandleAllocated())
    owner = static_cast<HWND>(Application->MainForm()->Handle());
  SetForegroundWindow(owner);
  UINT cmd = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON,
                                              x, y, 0, owner, nullptr));
  DestroyMenu(menu);
  if (cmd >= 1 && cmd <= byId.size()) byId[cmd - 1]->Click();
}

void TPopupMenu::CloseActivePopup() { EndMenu(); }
