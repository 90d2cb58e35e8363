// Late-bound automation objects: a reference-counted object handle, a tagged value, and the
// operations that read, write and call members of an object by name.
//
// Texts cross this interface as CP936 bytes (std::string / std::string_view); a Variant holds
// its strings as UTF-16.
//
// Failures are silent. An empty object, a member name the object does not know, a wrong number
// or kind of arguments, and an error raised by the object all end the operation with the empty
// value of the wanted kind (empty string, 0, empty ComObject, empty Variant) or false for a
// write. Nothing is shown and nothing is thrown.
//
// Objects are made by ProgID (ASCII letter case ignored) from a registry of two classes:
//   "VBScript.RegExp"  regular expressions (regexp.cpp)
//   "Adodb.Stream"     a byte/text stream decoding declared charsets (stream.cpp)
// Member names ignore ASCII letter case as well.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace platform::automation {

// ---- the per-thread apartment ----
// Stand-ins for the initialisation of the automation platform on the calling thread: a count per
// thread. Objects can be made (com_create) only while the count is above zero; an uninitialize
// at zero is ignored. Objects already made keep working after the count drops.
void co_initialize();
void co_uninitialize();
int co_initialize_count();

// Initialises the apartment for the lifetime of the scope.
class ApartmentScope {
 public:
  ApartmentScope() { co_initialize(); }
  ~ApartmentScope() { co_uninitialize(); }
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
};

class Dispatch;  // the object behind a handle (dispatch.h)

// A reference-counted handle: empty, or holding one object. A copy holds the same object (one
// more reference); a move leaves the source empty. The object goes away with its last reference.
class ComObject {
 public:
  ComObject() = default;
  explicit ComObject(std::shared_ptr<Dispatch> object) : object_(std::move(object)) {}

  bool empty() const { return object_ == nullptr; }
  Dispatch* dispatch() const { return object_.get(); }
  // The number of handles (and values) holding the object; 0 when empty.
  long reference_count() const { return object_.use_count(); }

 private:
  std::shared_ptr<Dispatch> object_;
};

// A tagged value: empty, bool, 32-bit integer, double, string (UTF-16), byte array or object.
// Copies of a byte array share its immutable bytes; copies of an object add a reference.
//
// -Wmaybe-uninitialized is off for the implicit copies and moves of this class: with the
// sanitizer instrumentation, GCC 12 no longer sees that std::variant moves only the alternative
// it holds, and reports the string or shared_ptr alternatives of a temporary holding a bool or
// a number as "may be used uninitialized" wherever such a temporary is moved. The warning stays
// on everywhere else.
#if defined(__GNUC__) && !defined(__clang__)  // clang knows no such warning
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
class Variant {
 public:
  enum class Kind { kEmpty, kBool, kInteger, kDouble, kString, kBytes, kObject };

  Variant() = default;
  explicit Variant(bool v) : value_(v) {}
  explicit Variant(std::int32_t v) : value_(v) {}
  explicit Variant(double v) : value_(v) {}
  explicit Variant(std::u16string v) : value_(std::move(v)) {}
  explicit Variant(ComObject v) : value_(std::move(v)) {}
  // A pointer would otherwise convert to bool; strings go through variant_assign_text.
  Variant(const char*) = delete;
  static Variant byte_array(std::string bytes);

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_empty() const { return kind() == Kind::kEmpty; }
  // Each accessor returns null unless the Variant holds that kind.
  const bool* boolean() const { return std::get_if<bool>(&value_); }
  const std::int32_t* integer() const { return std::get_if<std::int32_t>(&value_); }
  const double* real() const { return std::get_if<double>(&value_); }
  const std::u16string* string() const { return std::get_if<std::u16string>(&value_); }
  const ComObject* object() const { return std::get_if<ComObject>(&value_); }
  // The bytes of a byte array, shared; null for any other kind.
  std::shared_ptr<const std::string> bytes() const;

 private:
  struct Bytes {
    std::shared_ptr<const std::string> data;
  };
  std::variant<std::monostate, bool, std::int32_t, double, std::u16string, Bytes, ComObject>
      value_;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// One argument of a call, by reference. An argument list lives for the full expression of the
// call, so temporaries may be passed: com_call<void>(obj, "Item", {Variant(0.0)}).
struct Arg {
  Arg(const Variant& v) : value(&v) {}  // NOLINT(google-explicit-constructor): braced lists
  const Variant* value;
};
using Args = std::initializer_list<Arg>;

// Makes an object of the class `progid` into `target`, releasing the object it held. False, and
// `target` unchanged, for an unknown ProgID or when the thread has not initialised the apartment.
bool com_create(ComObject& target, std::string_view progid);

// Writes property `name`. True when it was written.
bool com_set_property(const ComObject& object, std::string_view name, const Variant& value);

// Reads property `name` (with `args`, e.g. an index) as the kind `Want`: std::string (CP936
// text of the value, as variant_text renders it), double (a number; booleans are -1 and 0),
// ComObject, or Variant. On failure the empty value of that kind.
template <typename Want>
Want com_get_property(const ComObject& object, std::string_view name, Args args = {});
template <>
std::string com_get_property<std::string>(const ComObject&, std::string_view, Args);
template <>
double com_get_property<double>(const ComObject&, std::string_view, Args);
template <>
ComObject com_get_property<ComObject>(const ComObject&, std::string_view, Args);
template <>
Variant com_get_property<Variant>(const ComObject&, std::string_view, Args);

// Calls method `name` with `args`, with the result as the kind `Want`: void (none),
// std::string, ComObject or Variant. On failure the empty value of that kind.
template <typename Want>
Want com_call(const ComObject& object, std::string_view method, Args args = {});
template <>
void com_call<void>(const ComObject&, std::string_view, Args);
template <>
std::string com_call<std::string>(const ComObject&, std::string_view, Args);
template <>
ComObject com_call<ComObject>(const ComObject&, std::string_view, Args);
template <>
Variant com_call<Variant>(const ComObject&, std::string_view, Args);

// Releases the object held; `object` becomes empty.
void com_clear(ComObject& object);
bool com_is_empty(const ComObject& object);
// `target` releases its object and refers to the source's, which gains one reference.
void com_copy(ComObject& target, const ComObject& source);

// `v` holds a string: `cp936` converted to UTF-16.
void variant_assign_text(Variant& v, std::string_view cp936);
// `v` holds a byte array with a copy of `bytes` (zero bytes included).
void variant_assign_bytes(Variant& v, std::string_view bytes);
// The value as CP936 text: true "-1", false "0", numbers in ordinary decimal form (a double with
// up to 15 significant digits, an exponent only for very large or small values), empty -> "".
// The empty string for a value that cannot be converted (a byte array, an object).
std::string variant_text(const Variant& v);
void variant_clear(Variant& v);
void variant_copy(Variant& target, const Variant& source);

}  // namespace platform::automation
