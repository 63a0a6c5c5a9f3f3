#pragma once
// Declares a class's published properties, fields and methods. In the class's .cpp:
//
//   const TClassInfo& TLabel::StaticClass() {
//     static const TClassInfo info = TClassBuilder<TLabel>("TLabel", &TGraphicControl::StaticClass())
//         .Creatable()                                       // form data may create it
//         .Publish("Caption")                                // an inherited declared property
//         .Property("Transparent", &TLabel::Transparent, &TLabel::SetTransparent).Default(false)
//         .Build();
//     return info;
//   }
//
// The kind of a property follows from its getter's type: bool, integers, std::string, TColor,
// an enumeration (with FW_ENUM_NAMES), TSet<E>, double, TEvent<...>, a pointer to a
// TComponent (a reference), a pointer to another TObject (a sub-object: Font, Items, Picture).
// The getter is a const member function or a data member; the setter a member function
// taking the value, a data member, or omitted (read-only). `Default` sets the declared default
// of the last property (ordinal kinds only); `Stored` adds a condition; `Declare` declares a
// property without publishing it, for a descendant to `Publish`.

#include <any>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/Classes.h"
#include "framework/Colors.h"

namespace classbuilder_detail {

template <class T>
constexpr TPropKind KindOf() {
  if constexpr (std::is_same_v<T, bool>) {
    return TPropKind::Boolean;
  } else if constexpr (std::is_same_v<T, TColor>) {
    return TPropKind::Color;
  } else if constexpr (std::is_enum_v<T>) {
    return TPropKind::Enumeration;
  } else if constexpr (std::is_integral_v<T>) {
    return TPropKind::Integer;
  } else if constexpr (std::is_floating_point_v<T>) {
    return TPropKind::Float;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return TPropKind::String;
  } else if constexpr (IsTSet<T>::value) {
    return TPropKind::Set;
  } else if constexpr (IsTEvent<T>::value) {
    return TPropKind::Method;
  } else if constexpr (std::is_pointer_v<T> &&
                       std::is_base_of_v<TComponent, std::remove_cv_t<std::remove_pointer_t<T>>>) {
    return TPropKind::Component;
  } else if constexpr (std::is_pointer_v<T> &&
                       std::is_base_of_v<TObject, std::remove_cv_t<std::remove_pointer_t<T>>>) {
    return TPropKind::Class;
  } else {
    static_assert(sizeof(T) == 0, "type cannot be a published property");
  }
}

template <class C, class G>
auto Get(const G& g, const TObject& o) {
  return std::invoke(g, static_cast<const C&>(o));
}

template <class C, class S, class V>
void Set(const S& s, TObject& o, V&& v) {
  if constexpr (std::is_member_object_pointer_v<S>) {
    std::invoke(s, static_cast<C&>(o)) = std::forward<V>(v);
  } else {
    std::invoke(s, static_cast<C&>(o), std::forward<V>(v));
  }
}

template <class T>
struct EventFunction;
template <class... A>
struct EventFunction<TEvent<A...>> {
  using type = std::function<void(A...)>;
};

}  // namespace classbuilder_detail

template <class C>
class TClassBuilder {
 public:
  TClassBuilder(const char* name, const TClassInfo* parent) {
    info_.name = name;
    info_.parent = parent;
    if (parent) {
      info_.properties = parent->properties;
      info_.declared = parent->declared;
    }
  }

  // Form data may create this class: new C(owner).
  TClassBuilder& Creatable() {
    info_.factory = [](TComponent* owner) -> TComponent* { return new C(owner); };
    return *this;
  }

  template <class G, class S = std::nullptr_t>
  TClassBuilder& Property(const std::string& name, G getter, S setter = nullptr) {
    Add(Make(name, getter, setter), true);
    return *this;
  }
  template <class G, class S = std::nullptr_t>
  TClassBuilder& Declare(const std::string& name, G getter, S setter = nullptr) {
    Add(Make(name, getter, setter), false);
    return *this;
  }
  // Publishes a property that an ancestor declared (published or not).
  TClassBuilder& Publish(const std::string& name) {
    for (const TPropInfo& p : info_.declared) {
      if (SameText(p.name, name)) {
        TPropInfo copy = p;
        copy.published = true;
        Add(copy, true);
        return *this;
      }
    }
    throw Exception("Publish: no property " + name + " in the ancestors of " + info_.name);
  }
  template <class V>
  TClassBuilder& Default(V value) {
    TPropInfo& p = Last();
    if constexpr (std::is_same_v<V, bool>) {
      p.defaultValue = value ? 1 : 0;
    } else if constexpr (IsTSet<V>::value) {
      p.defaultValue = static_cast<std::int64_t>(value.Bits());
    } else {
      p.defaultValue = static_cast<std::int64_t>(value);
    }
    Sync(p);
    return *this;
  }
  TClassBuilder& Idents(std::optional<std::string> (*toIdent)(std::int64_t),
                        std::optional<std::int64_t> (*fromIdent)(std::string_view)) {
    Last().intToIdent = toIdent;
    Last().identToInt = fromIdent;
    Sync(Last());
    return *this;
  }
  TClassBuilder& NoDefault() {
    Last().defaultValue.reset();
    Sync(Last());
    return *this;
  }
  TClassBuilder& Stored(bool (C::*pred)() const) {
    Last().stored = [pred](const TObject& o) { return (static_cast<const C&>(o).*pred)(); };
    Sync(Last());
    return *this;
  }
  TClassBuilder& Stored(bool stored) {
    Last().stored = [stored](const TObject&) { return stored; };
    Sync(Last());
    return *this;
  }

  // A published field: the component of this name is stored in it when form data is loaded.
  template <class T>
  TClassBuilder& Field(const std::string& name, T* C::*member) {
    static_assert(std::is_base_of_v<TComponent, T>);
    TFieldInfo f;
    f.name = name;
    f.classType = &T::StaticClass();
    f.bind = [member](TObject& self, TComponent* c) {
      T* typed = c ? dynamic_cast<T*>(c) : nullptr;
      if (c && !typed) return false;
      static_cast<C&>(self).*member = typed;
      return true;
    };
    info_.fields.push_back(std::move(f));
    return *this;
  }

  // A published method: events in form data name it.
  template <class... A>
  TClassBuilder& Method(const std::string& name, void (C::*method)(A...)) {
    TMethodInfo m;
    m.name = name;
    m.bind = [method](TObject& self) -> std::any {
      C* c = static_cast<C*>(&self);
      return std::function<void(A...)>([c, method](A... a) { (c->*method)(std::forward<A>(a)...); });
    };
    info_.methods.push_back(std::move(m));
    return *this;
  }

  TClassInfo Build() { return std::move(info_); }

 private:
  TPropInfo& Last() {
    if (!last_) throw Exception("TClassBuilder: no property yet");
    return *last_;
  }
  // Keeps the published copy and the declared copy of the last property alike.
  void Sync(const TPropInfo& p) {
    for (TPropInfo& d : info_.declared)
      if (SameText(d.name, p.name)) {
        bool pub = d.published;
        d = p;
        d.published = pub;
      }
    for (TPropInfo& d : info_.properties)
      if (SameText(d.name, p.name)) d = p;
  }
  void Add(TPropInfo p, bool publish) {
    p.published = publish;
    auto put = [&](std::vector<TPropInfo>& list) -> TPropInfo* {
      for (TPropInfo& q : list)
        if (SameText(q.name, p.name)) {
          q = p;
          return &q;
        }
      list.push_back(p);
      return &list.back();
    };
    last_ = put(info_.declared);
    if (publish) last_ = put(info_.properties);
  }

  template <class G, class S>
  static TPropInfo Make(const std::string& name, G getter, S setter) {
    using namespace classbuilder_detail;
    using T = std::remove_cv_t<std::remove_reference_t<decltype(Get<C>(getter, std::declval<const TObject&>()))>>;
    constexpr bool kReadOnly = std::is_same_v<S, std::nullptr_t>;
    TPropInfo p;
    p.name = name;
    p.readOnly = kReadOnly;
    if constexpr (std::is_same_v<T, TColor>) {
      p.kind = TPropKind::Color;
      p.getOrd = [getter](const TObject& o) { return static_cast<std::int64_t>(Get<C>(getter, o)); };
      if constexpr (!kReadOnly)
        p.setOrd = [setter](TObject& o, std::int64_t v) { Set<C>(setter, o, static_cast<T>(static_cast<std::int32_t>(v))); };
    } else {
      constexpr TPropKind kind = KindOf<T>();
      p.kind = kind;
      if constexpr (kind == TPropKind::Boolean || kind == TPropKind::Integer ||
                    kind == TPropKind::Enumeration) {
        if constexpr (kind == TPropKind::Enumeration) p.enumNames = TEnumNames<T>::Get();
        p.getOrd = [getter](const TObject& o) { return static_cast<std::int64_t>(Get<C>(getter, o)); };
        if constexpr (!kReadOnly)
          p.setOrd = [setter](TObject& o, std::int64_t v) { Set<C>(setter, o, static_cast<T>(v)); };
      } else if constexpr (kind == TPropKind::Set) {
        p.enumNames = TEnumNames<typename T::Element>::Get();
        p.getOrd = [getter](const TObject& o) { return static_cast<std::int64_t>(Get<C>(getter, o).Bits()); };
        if constexpr (!kReadOnly)
          p.setOrd = [setter](TObject& o, std::int64_t v) {
            Set<C>(setter, o, T::FromBits(static_cast<std::uint32_t>(v)));
          };
      } else if constexpr (kind == TPropKind::Float) {
        p.getFloat = [getter](const TObject& o) { return static_cast<double>(Get<C>(getter, o)); };
        if constexpr (!kReadOnly)
          p.setFloat = [setter](TObject& o, double v) { Set<C>(setter, o, static_cast<T>(v)); };
      } else if constexpr (kind == TPropKind::String) {
        p.getStr = [getter](const TObject& o) { return std::string(Get<C>(getter, o)); };
        if constexpr (!kReadOnly)
          p.setStr = [setter](TObject& o, const std::string& v) { Set<C>(setter, o, v); };
      } else if constexpr (kind == TPropKind::Method) {
        p.getMethodName = [getter](const TObject& o) { return Get<C>(getter, o).MethodName(); };
        if constexpr (!kReadOnly)
          p.setMethod = [setter, name](TObject& o, const std::string& method, TObject* root) {
            using Fn = typename EventFunction<T>::type;
            if (method.empty()) {
              Set<C>(setter, o, T());
              return;
            }
            const TMethodInfo* m = root ? root->ClassInfo().FindMethod(method) : nullptr;
            if (!m) {
              const TComponent* rc = dynamic_cast<const TComponent*>(root);
              if (rc && rc->ComponentState().Contains(csDesigning)) {
                Set<C>(setter, o, T(Fn(), method));
                return;
              }
              throw EReadError("Method " + method + " for " + name + " not found");
            }
            std::any bound = m->bind(*root);
            const Fn* fn = std::any_cast<Fn>(&bound);
            if (!fn) throw EReadError("Method " + method + " does not fit the event " + name);
            Set<C>(setter, o, T(*fn, method));
          };
      } else if constexpr (kind == TPropKind::Component || kind == TPropKind::Class) {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
        if constexpr (requires { Pointee::StaticClass(); }) p.classType = &Pointee::StaticClass();
        p.getObj = [getter](const TObject& o) -> TObject* {
          return const_cast<Pointee*>(static_cast<const Pointee*>(Get<C>(getter, o)));
        };
        if constexpr (!kReadOnly && kind == TPropKind::Component)
          p.setObj = [setter](TObject& o, TObject* v) {
            Pointee* typed = v ? dynamic_cast<Pointee*>(v) : nullptr;
            if (v && !typed) throw EReadError("Invalid property value: wrong component class");
            Set<C>(setter, o, typed);
          };
      }
    }
    return p;
  }

  TClassInfo info_;
  TPropInfo* last_ = nullptr;
};
