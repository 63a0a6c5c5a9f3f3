#pragma once
// Run-time class information: what a class publishes to form data.
//
// Every class of the component model has one TClassInfo: its name, its parent's info, a
// factory (for component classes that form data may create), its published properties, and,
// for forms, its published fields (component pointers bound by component name when the form is
// loaded) and published methods (event handlers bound by name). ClassBuilder.h builds them.

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TObject;
class TPersistent;
class TComponent;
class TFiler;

enum class TPropKind {
  Integer,      // signed integer, streamed in the smallest width that holds it
  Boolean,      // vaFalse / vaTrue
  String,       // text (UTF-8 inside; code page 932 in ANSI-era form data)
  Enumeration,  // an identifier from the type's names
  Set,          // a set of identifiers from the element type's names
  Color,        // TColor: a clXxx identifier when it has one, otherwise an integer
  Method,       // an event: the name of a published method of the form (root)
  Component,    // a reference to another component, by name
  Float,        // double, streamed as vaExtended
  Class,        // an owned sub-object whose properties stream as dotted names (Font.Name)
};

struct TPropInfo {
  std::string name;
  TPropKind kind = TPropKind::Integer;
  std::span<const char* const> enumNames;  // Enumeration: its identifiers; Set: the elements'
  const class TClassInfo* classType = nullptr;  // Component / Class: the declared class
  std::optional<std::int64_t> defaultValue;     // ordinal kinds only (sets: the bit mask)
  bool readOnly = false;                        // no writer: never read from or written to data
  bool published = true;
  std::function<bool(const TObject&)> stored;   // extra condition for writing; null = stored
  // Integer properties with named constants (a font's Charset: SHIFTJIS_CHARSET; a cursor:
  // crHourGlass) are written as the identifier when the value has one and read from either.
  std::optional<std::string> (*intToIdent)(std::int64_t) = nullptr;
  std::optional<std::int64_t> (*identToInt)(std::string_view) = nullptr;

  // Accessors; which pair is set depends on the kind.
  std::function<std::int64_t(const TObject&)> getOrd;  // Integer, Boolean, Enumeration, Set, Color
  std::function<void(TObject&, std::int64_t)> setOrd;
  std::function<std::string(const TObject&)> getStr;   // String
  std::function<void(TObject&, const std::string&)> setStr;
  std::function<double(const TObject&)> getFloat;      // Float
  std::function<void(TObject&, double)> setFloat;
  std::function<TObject*(const TObject&)> getObj;      // Component, Class
  std::function<void(TObject&, TObject*)> setObj;      // Component (null for a nil reference)
  std::function<std::string(const TObject&)> getMethodName;  // Method: "" when unassigned
  // Binds the event to the method `name` of `root`; an empty name clears it. At design time
  // (root without that method) only the name is kept.
  std::function<void(TObject&, const std::string& name, TObject* root)> setMethod;
};

struct TFieldInfo {
  std::string name;
  const class TClassInfo* classType = nullptr;
  // Stores `c` in the field; false when `c` is not of the field's class.
  std::function<bool(TObject& self, TComponent* c)> bind;
};

struct TMethodInfo {
  std::string name;
  // A std::function<void(Args...)> bound to `self`, in a std::any.
  std::function<std::any(TObject& self)> bind;
};

class TClassInfo {
 public:
  std::string name;
  const TClassInfo* parent = nullptr;
  std::function<TComponent*(TComponent* owner)> factory;  // null: not creatable from form data

  // Published properties, inherited ones first, in streaming order.
  std::vector<TPropInfo> properties;
  // Every declared property, published or not (what a descendant may publish).
  std::vector<TPropInfo> declared;
  std::vector<TFieldInfo> fields;    // this class's own, in declaration order
  std::vector<TMethodInfo> methods;  // this class's own, in declaration order

  bool InheritsFrom(const TClassInfo& other) const;
  const TPropInfo* FindProperty(std::string_view propName) const;  // published, any case
  const TFieldInfo* FindField(std::string_view fieldName) const;   // searches ancestors
  const TMethodInfo* FindMethod(std::string_view methodName) const;
  // A class named in a published field of this class or an ancestor (what Delphi calls the
  // field class table: the classes a form's data may use without global registration).
  const TClassInfo* FindFieldClass(std::string_view className) const;
};

bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive

// Names of an enumeration type's values, in ordinal order. Specialise with FW_ENUM_NAMES at
// global scope: FW_ENUM_NAMES(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")
template <class E>
struct TEnumNames;

#define FW_ENUM_NAMES(E, ...)                                   \
  template <>                                                   \
  struct TEnumNames<E> {                                        \
    static std::span<const char* const> Get() {                 \
      static const char* const names[] = {__VA_ARGS__};         \
      return names;                                             \
    }                                                           \
  }

// (Not RegisterClass: windows.h defines that name as a macro.)
// Global class registry (class name -> class info) used by form data for classes that are not
// in the root's field class table. The controls register themselves (RegisterFrameworkClasses,
// Forms.h) before form data is read into a form.
void RegisterComponentClass(const TClassInfo& info);
const TClassInfo* GetClass(std::string_view className);  // null when unknown
// Every registered class, for diagnostics.
std::vector<const TClassInfo*> RegisteredClasses();

// Registers a class from a static object: `static RegisterClassOf<TFoo> registerFoo;`. A static
// library drops object files that nothing references, so libraries whose classes only form
// data names must be linked whole (tools/formc does that).
template <class C>
struct RegisterClassOf {
  RegisterClassOf() { RegisterComponentClass(C::StaticClass()); }
};

// Identifier <-> integer for TColor values (clBtnFace, clNavy, ...).
std::optional<std::string> ColorToIdent(std::int32_t color);
std::optional<std::int32_t> IdentToColor(std::string_view ident);

// Design-time file names: a designer-side component that takes a file in (a keeper of file
// bytes, say) asks here which real file a stored name stands for. The form compiler installs a
// resolver (its --map options, names relative to the form description's folder); without one
// the name is used as it is.
void SetDesignFileResolver(std::function<std::string(const std::string&)> resolver);
std::string ResolveDesignFile(const std::string& storedName);
