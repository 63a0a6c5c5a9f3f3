#include "framework/ActnList.h"

#include <algorithm>

#include "framework/ClassBuilder.h"

namespace {
RegisterClassOf<TAction> registerAction;
RegisterClassOf<TActionList> registerActionList;

template <class T>
void Erase(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}
}  // namespace

// --- TActionLink ---------------------------------------------------------------------------

TActionLink::~TActionLink() { SetAction(nullptr); }

void TActionLink::SetAction(TBasicAction* action) {
  if (action == action_) return;
  if (action_) Erase(action_->links_, this);
  action_ = action;
  if (action_) action_->links_.push_back(this);
}

// --- TBasicAction --------------------------------------------------------------------------

const TClassInfo& TBasicAction::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBasicAction>("TBasicAction", &TComponent::StaticClass())
                                     .Declare("OnExecute", &TBasicAction::OnExecute, &TBasicAction::OnExecute)
                                     .Build();
  return info;
}

TBasicAction::~TBasicAction() {
  // The clients lose the action; each is told, so that it stops showing it.
  while (!links_.empty()) {
    TActionLink* link = links_.back();
    links_.pop_back();
    link->action_ = nullptr;
    link->Change();
  }
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

void TBasicAction::Change() {
  for (TActionLink* link : std::vector<TActionLink*>(links_)) link->Change();
}

// --- TAction -------------------------------------------------------------------------------

const TClassInfo& TAction::StaticClass() {
  using A = TAction;
  static const TClassInfo info = TClassBuilder<A>("TAction", &TBasicAction::StaticClass())
                                     .Creatable()
                                     .Property("Caption", &A::Caption, &A::SetCaption)
                                     .Property("Enabled", &A::Enabled, &A::SetEnabled).Default(true)
                                     .Property("Hint", &A::Hint, &A::SetHint)
                                     .Property("Visible", &A::Visible, &A::SetVisible).Default(true)
                                     .Publish("OnExecute")
                                     .Build();
  return info;
}

TAction::~TAction() { SetActionList(nullptr); }

bool TAction::Execute() { return enabled_ && TBasicAction::Execute(); }

void TAction::SetActionList(TActionList* list) {
  if (list == actionList_) return;
  if (actionList_) Erase(actionList_->actions_, this);
  actionList_ = list;
  if (actionList_) actionList_->actions_.push_back(this);
}

TComponent* TAction::GetParentComponent() const { return actionList_; }

void TAction::SetParentComponent(TComponent* parent) { SetActionList(dynamic_cast<TActionList*>(parent)); }

void TAction::SetCaption(const std::string& v) {
  if (v == caption_) return;
  caption_ = v;
  Change();
}

void TAction::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Change();
}

void TAction::SetHint(const std::string& v) {
  if (v == hint_) return;
  hint_ = v;
  Change();
}

void TAction::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Change();
}

// --- TActionList ---------------------------------------------------------------------------

const TClassInfo& TActionList::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TActionList>("TActionList", &TComponent::StaticClass()).Creatable().Build();
  return info;
}

TActionList::~TActionList() {
  for (TAction* a : std::vector<TAction*>(actions_)) a->SetActionList(nullptr);
}

void TActionList::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  for (TAction* a : std::vector<TAction*>(actions_))
    if (a->Owner() == root) proc(a);
}
