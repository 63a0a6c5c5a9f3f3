#pragma once
// The component model: TObject, TPersistent, TComponent, string lists, collections and
// streams. Portable (no Win32 here).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/TypInfo.h"

// FW_CLASS(Self, Base) goes first in every class of the model; it declares `inherited`, the
// static StaticClass() that the class's .cpp defines with TClassBuilder, and the virtual
// ClassInfo(). It leaves the access at public.
#define FW_CLASS(Self, Base)                                                  \
 public:                                                                      \
  using inherited = Base;                                                     \
  static const ::TClassInfo& StaticClass();                                   \
  const ::TClassInfo& ClassInfo() const override { return Self::StaticClass(); }

// A set of enumeration values (up to 32 of them), as the class library's `set of`.
template <class E>
class TSet {
 public:
  using Element = E;
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> elements) {
    for (E e : elements) bits_ |= Bit(e);
  }
  static constexpr TSet FromBits(std::uint32_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E e) { bits_ |= Bit(e); return *this; }
  constexpr TSet& Exclude(E e) { bits_ &= ~Bit(e); return *this; }
  constexpr TSet& operator<<(E e) { return Include(e); }
  constexpr TSet& operator>>(E e) { return Exclude(e); }
  friend constexpr TSet operator|(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr TSet operator&(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint32_t Bit(E e) { return std::uint32_t{1} << static_cast<unsigned>(e); }
  std::uint32_t bits_ = 0;
};

// An event: a callable plus the name of the published method it was bound to (what form
// data stores). Assign any callable in code; form data binds by method name.
template <class... A>
class TEvent {
 public:
  using Function = std::function<void(A...)>;
  TEvent() = default;
  TEvent(std::nullptr_t) {}
  template <class F>
    requires(std::is_invocable_v<F&, A...> && !std::is_same_v<std::decay_t<F>, TEvent>)
  TEvent(F f) : fn_(std::move(f)) {}
  TEvent(Function f, std::string methodName) : fn_(std::move(f)), name_(std::move(methodName)) {}

  explicit operator bool() const { return static_cast<bool>(fn_); }
  // Calls a copy, so a handler may destroy the object that holds this event.
  void operator()(A... args) const {
    if (!fn_) return;
    Function f = fn_;
    f(std::forward<A>(args)...);
  }
  const Function& Fn() const { return fn_; }
  const std::string& MethodName() const { return name_; }

 private:
  Function fn_;
  std::string name_;
};

template <class T>
struct IsTEvent : std::false_type {};
template <class... A>
struct IsTEvent<TEvent<A...>> : std::true_type {};
template <class T>
struct IsTSet : std::false_type {};
template <class E>
struct IsTSet<TSet<E>> : std::true_type {};

using TNotifyEvent = TEvent<TObject*>;

class TObject {
 public:
  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassInfo() const { return StaticClass(); }
  // The class name that form data stores for this object.
  virtual std::string ClassName() const { return ClassInfo().name; }
  bool InheritsFrom(const TClassInfo& c) const { return ClassInfo().InheritsFrom(c); }
  virtual ~TObject() = default;

 protected:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
};

class TPersistent : public TObject {
  FW_CLASS(TPersistent, TObject)
  // Copies `source`'s state into this object; the base class refuses.
  virtual void Assign(const TPersistent& source);
  // Declares properties that are not published ones (binary blocks, string lists). Called by
  // the reader and the writer with themselves as `filer`.
  virtual void DefineProperties(TFiler& filer);
};

enum class TComponentStateFlag { csLoading, csReading, csWriting, csDestroying, csDesigning };
FW_ENUM_NAMES(TComponentStateFlag, "csLoading", "csReading", "csWriting", "csDestroying",
              "csDesigning");
using TComponentState = TSet<TComponentStateFlag>;
constexpr TComponentStateFlag csLoading = TComponentStateFlag::csLoading;
constexpr TComponentStateFlag csReading = TComponentStateFlag::csReading;
constexpr TComponentStateFlag csWriting = TComponentStateFlag::csWriting;
constexpr TComponentStateFlag csDestroying = TComponentStateFlag::csDestroying;
constexpr TComponentStateFlag csDesigning = TComponentStateFlag::csDesigning;

// A named component with an owner. The owner destroys the components it owns, newest first.
class TComponent : public TPersistent {
  FW_CLASS(TComponent, TPersistent)
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Renames; throws EComponentError-like Exception for an invalid or duplicate name.
  virtual void SetName(const std::string& name);
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }

  TComponentState ComponentState() const { return state_; }
  void SetDesigning(bool designing, bool children = true);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(static_cast<std::size_t>(i)); }
  TComponent* FindComponent(std::string_view name) const;  // owned components, any case

  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  // Streaming hooks. GetChildren lists what form data writes inside this object (the base:
  // for the root, every owned component whose HasParent() is false). SetParentComponent is
  // what the reader calls for an object nested in another one.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* parent);
  // Called once the whole form data has been read; clears csLoading.
  virtual void Loaded();
  // Told when a component this one may refer to goes away.
  virtual void Notification(TComponent* c, bool inserted);
  void FreeNotification(TComponent* c);

  // State changes used by the reader.
  void SetLoadingState(bool loading);
  void SetReadingState(bool reading);

 protected:
  TComponentState state_;

 private:
  TComponent* owner_ = nullptr;
  std::string name_;
  std::int32_t tag_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};

// A TObject, so that a component may publish one (read only: form data never holds it).
class TStream : public TObject {
  FW_CLASS(TStream, TObject)
  TStream() = default;
  ~TStream() override = default;
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual std::uint64_t Position() const = 0;
  virtual void SetPosition(std::uint64_t pos) = 0;
  virtual std::uint64_t Size() const = 0;
  virtual void SetSize(std::uint64_t size) = 0;
  // Reads exactly `count` bytes or throws EReadError.
  void ReadBuffer(void* buffer, std::size_t count);
  void WriteBuffer(const void* buffer, std::size_t count);
  void WriteBytes(std::string_view bytes) { WriteBuffer(bytes.data(), bytes.size()); }
  // Copies `count` bytes (all of source from its position when count is 0... see .cpp).
  std::uint64_t CopyFrom(TStream& source, std::uint64_t count);
};

class TMemoryStream : public TStream {
  FW_CLASS(TMemoryStream, TStream)
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::uint64_t Position() const override { return pos_; }
  void SetPosition(std::uint64_t pos) override { pos_ = pos; }
  std::uint64_t Size() const override { return data_.size(); }
  void SetSize(std::uint64_t size) override;
  void Clear() { data_.clear(); pos_ = 0; }
  const char* Memory() const { return data_.data(); }
  const std::string& Bytes() const { return data_; }
  void LoadFromFile(const std::string& path);  // throws Exception when unreadable
  void SaveToFile(const std::string& path) const;

 private:
  std::string data_;
  std::uint64_t pos_ = 0;
};

// A list of UTF-8 strings, each with an optional object pointer (not owned). Streams as the
// defined property "Strings" (a list of strings), so a published TStrings property appears in
// form data as Items.Strings = ( ... ).
class TStrings : public TPersistent {
  FW_CLASS(TStrings, TPersistent)
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)).text; }
  const std::string& Strings(int i) const { return (*this)[i]; }
  void Put(int i, const std::string& s);
  TObject* Objects(int i) const { return items_.at(static_cast<std::size_t>(i)).object; }
  virtual int Add(const std::string& s, TObject* object = nullptr);
  virtual void Insert(int i, const std::string& s);
  virtual void Delete(int i);
  virtual void Clear();
  int IndexOf(std::string_view s) const;  // case-insensitive (ASCII), as the class library
  std::string Text() const;                // items joined with CR LF after each
  void SetText(std::string_view text);     // split at CR LF, LF or CR
  void Assign(const TPersistent& source) override;
  void DefineProperties(TFiler& filer) override;
  std::function<void()> OnChange;  // after each change

 protected:
  virtual void Changed();

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  std::vector<Item> items_;
};

class TStringList : public TStrings {
  FW_CLASS(TStringList, TStrings)
};

class TCollection;

class TCollectionItem : public TPersistent {
  FW_CLASS(TCollectionItem, TPersistent)
  explicit TCollectionItem(TCollection* collection);
  TCollection* Collection() const { return collection_; }
  int Index() const;

 private:
  TCollection* collection_;
};

// Owns items of one class; streams as vaCollection.
class TCollection : public TPersistent {
  FW_CLASS(TCollection, TPersistent)
  using ItemFactory = std::function<std::unique_ptr<TCollectionItem>(TCollection*)>;
  explicit TCollection(ItemFactory factory);
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int i) const { return items_.at(static_cast<std::size_t>(i)).get(); }
  TCollectionItem* Add();
  void Clear();

 private:
  ItemFactory factory_;
  std::vector<std::unique_ptr<TCollectionItem>> items_;
};
