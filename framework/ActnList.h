#pragma once
// Actions: commands that controls follow. A control linked to an action (its Action property)
// shows the action's caption, enabled state, hint and visibility, and its standard click
// executes the action. An action belongs to a form directly, or to an action list, in whose
// form data it is then stored as a child object.
//
// Portable: the link's client side (what a control does on a change) lives with the controls.

#include <string>
#include <vector>

#include "framework/Classes.h"

class TActionList;
class TBasicAction;

// A client's tie to one action. The action tells its links when its properties change and
// when it goes; the link's owner reacts in Change().
class TActionLink {
 public:
  TActionLink() = default;
  TActionLink(const TActionLink&) = delete;
  TActionLink& operator=(const TActionLink&) = delete;
  virtual ~TActionLink();

  TBasicAction* Action() const { return action_; }
  void SetAction(TBasicAction* action);
  // The action's properties changed.
  virtual void Change() {}

 private:
  friend class TBasicAction;
  TBasicAction* action_ = nullptr;
};

class TBasicAction : public TComponent {
  FW_CLASS(TBasicAction, TComponent)
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  ~TBasicAction() override;

  // Runs OnExecute; false when there is none to run.
  virtual bool Execute();
  TNotifyEvent OnExecute;

 protected:
  // Tells every linked client that a property changed.
  void Change();

 private:
  friend class TActionLink;
  std::vector<TActionLink*> links_;
};

class TAction : public TBasicAction {
  FW_CLASS(TAction, TBasicAction)
  explicit TAction(TComponent* owner) : TBasicAction(owner) {}
  ~TAction() override;

  // A disabled action does not execute.
  bool Execute() override;

  TActionList* ActionList() const { return actionList_; }
  void SetActionList(TActionList* list);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);

  // In an action list, the action is streamed inside the list's object.
  bool HasParent() const override { return actionList_ != nullptr; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;

 private:
  TActionList* actionList_ = nullptr;
  std::string caption_;
  bool enabled_ = true;
  std::string hint_;
  bool visible_ = true;
};

class TActionList : public TComponent {
  FW_CLASS(TActionList, TComponent)
  explicit TActionList(TComponent* owner) : TComponent(owner) {}
  ~TActionList() override;

  int ActionCount() const { return static_cast<int>(actions_.size()); }
  TAction* Actions(int i) const { return actions_.at(static_cast<std::size_t>(i)); }

  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

 private:
  friend class TAction;
  std::vector<TAction*> actions_;
};
