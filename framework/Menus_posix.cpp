#include "framework/Menus.h"

void TPopupMenu::Popup(int, int) { OnPopup(this); }
void TPopupMenu::CloseActivePopup() {}
