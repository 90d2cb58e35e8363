#include "platform/automation/automation.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/automation/dispatch.h"
#include "platform/codepage/codepage.h"

namespace platform::automation {
namespace {

thread_local int apartment_count = 0;

struct ClassEntry {
  std::string_view progid;
  std::shared_ptr<Dispatch> (*make)();
};

const ClassEntry kClasses[] = {
    {"VBScript.RegExp", make_regexp},
    {"Adodb.Stream", make_stream},
};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string format_double(double d) {
  if (d == 0) return "0";  // also for -0
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15G", d);
  return buffer;
}

std::u16string ascii_to_utf16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

ArgSpan span_of(Args args) { return ArgSpan(args.begin(), args.size()); }

std::optional<Variant> get_value(const ComObject& object, std::string_view name, Args args) {
  if (object.empty()) return std::nullopt;
  return object.dispatch()->get(name, span_of(args));
}

std::string get_string(const ComObject& object, std::string_view name, Args args) {
  if (object.empty()) return {};
  return object.dispatch()->get_text(name, span_of(args)).value_or(std::string());
}

ComObject get_object(const ComObject& object, std::string_view name, Args args) {
  std::optional<Variant> v = get_value(object, name, args);
  if (!v || !v->object()) return {};
  return *v->object();
}

}  // namespace

// ---- apartment ----

void co_initialize() { ++apartment_count; }

void co_uninitialize() {
  if (apartment_count > 0) --apartment_count;
}

int co_initialize_count() { return apartment_count; }

// ---- Dispatch defaults and shared helpers ----

std::optional<std::string> Dispatch::get_text(std::string_view name, ArgSpan args) {
  std::optional<Variant> v = get(name, args);
  if (!v) return std::nullopt;
  return variant_text(*v);
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

std::optional<bool> to_bool(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty: return false;
    case Variant::Kind::kBool: return *v.boolean();
    case Variant::Kind::kInteger: return *v.integer() != 0;
    case Variant::Kind::kDouble: return *v.real() != 0;
    default: return std::nullopt;
  }
}

std::optional<double> to_number(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty: return 0.0;
    case Variant::Kind::kBool: return *v.boolean() ? -1.0 : 0.0;
    case Variant::Kind::kInteger: return static_cast<double>(*v.integer());
    case Variant::Kind::kDouble: return *v.real();
    default: return std::nullopt;
  }
}

std::optional<std::int32_t> to_int(const Variant& v) {
  std::optional<double> d = to_number(v);
  if (!d || !std::isfinite(*d)) return std::nullopt;
  const double r = std::nearbyint(*d);  // the default rounding mode: half to even
  if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(r);
}

std::optional<std::u16string> to_string16(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kString: return *v.string();
    case Variant::Kind::kEmpty:
    case Variant::Kind::kBool:
    case Variant::Kind::kInteger:
    case Variant::Kind::kDouble: return ascii_to_utf16(variant_text(v));
    default: return std::nullopt;
  }
}

// ---- Variant ----

Variant Variant::byte_array(std::string bytes) {
  Variant v;
  v.value_ = Bytes{std::make_shared<const std::string>(std::move(bytes))};
  return v;
}

std::shared_ptr<const std::string> Variant::bytes() const {
  const Bytes* b = std::get_if<Bytes>(&value_);
  return b ? b->data : nullptr;
}

// ---- operations ----

bool com_create(ComObject& target, std::string_view progid) {
  if (apartment_count <= 0) return false;
  for (const ClassEntry& entry : kClasses) {
    if (!same_name(entry.progid, progid)) continue;
    std::shared_ptr<Dispatch> object = entry.make();
    if (!object) return false;
    target = ComObject(std::move(object));
    return true;
  }
  return false;
}

bool com_set_property(const ComObject& object, std::string_view name, const Variant& value) {
  return !object.empty() && object.dispatch()->put(name, value);
}

template <>
std::string com_get_property<std::string>(const ComObject& object, std::string_view name,
                                          Args args) {
  return get_string(object, name, args);
}

template <>
double com_get_property<double>(const ComObject& object, std::string_view name, Args args) {
  std::optional<Variant> v = get_value(object, name, args);
  if (!v) return 0;
  return to_number(*v).value_or(0);
}

template <>
ComObject com_get_property<ComObject>(const ComObject& object, std::string_view name, Args args) {
  return get_object(object, name, args);
}

template <>
Variant com_get_property<Variant>(const ComObject& object, std::string_view name, Args args) {
  return get_value(object, name, args).value_or(Variant());
}

template <>
void com_call<void>(const ComObject& object, std::string_view method, Args args) {
  get_value(object, method, args);
}

template <>
std::string com_call<std::string>(const ComObject& object, std::string_view method, Args args) {
  return get_string(object, method, args);
}

template <>
ComObject com_call<ComObject>(const ComObject& object, std::string_view method, Args args) {
  return get_object(object, method, args);
}

template <>
Variant com_call<Variant>(const ComObject& object, std::string_view method, Args args) {
  return get_value(object, method, args).value_or(Variant());
}

void com_clear(ComObject& object) { object = ComObject(); }

bool com_is_empty(const ComObject& object) { return object.empty(); }

void com_copy(ComObject& target, const ComObject& source) { target = source; }

void variant_assign_text(Variant& v, std::string_view cp936) {
  v = Variant(codepage::cp936_to_utf16(cp936));
}

void variant_assign_bytes(Variant& v, std::string_view bytes) {
  v = Variant::byte_array(std::string(bytes));
}

std::string variant_text(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kBool: return *v.boolean() ? "-1" : "0";
    case Variant::Kind::kInteger: return std::to_string(*v.integer());
    case Variant::Kind::kDouble: return format_double(*v.real());
    case Variant::Kind::kString: return codepage::utf16_to_cp936(*v.string());
    default: return {};
  }
}

void variant_clear(Variant& v) { v = Variant(); }

void variant_copy(Variant& target, const Variant& source) { target = source; }

}  // namespace platform::automation
