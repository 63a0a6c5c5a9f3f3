#pragma once
// Menu items and the popup menu. Items nest as components inside the menu in form data.

#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"

class TMenuItem : public TComponent {
  FW_CLASS(TMenuItem, TComponent)
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v) { enabled_ = v; }
  bool Checked() const { return checked_; }
  void SetChecked(bool v) { checked_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  TNotifyEvent OnClick;
  virtual void Click() { OnClick(this); }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int i) const { return items_.at(static_cast<std::size_t>(i)); }
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);
  TMenuItem* ParentItem() const { return parentItem_; }

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

 private:
  friend class TPopupMenu;
  std::string caption_;
  bool enabled_ = true, checked_ = false, visible_ = true;
  std::vector<TMenuItem*> items_;
  TMenuItem* parentItem_ = nullptr;
  class TPopupMenu* menu_ = nullptr;
};

class TPopupMenu : public TComponent {
  FW_CLASS(TPopupMenu, TComponent)
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  // The top-level items (owned by the menu's owner, as form data creates them).
  TMenuItem* Items() const { return items_.get(); }
  // Shows the menu at screen point (x, y); returns when it has closed, after the chosen
  // item's OnClick has run.
  virtual void Popup(int x, int y);
  TNotifyEvent OnPopup;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  // Closes whatever popup menu is open (EndMenu); nothing is chosen.
  static void CloseActivePopup();

 private:
  std::unique_ptr<TMenuItem> items_;
};
