// Inside the automation layer: the interface every automation class implements, the class
// factories, and the value coercions the classes share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/automation/automation.h"

namespace platform::automation {

using ArgSpan = std::span<const Arg>;

class Dispatch {
 public:
  virtual ~Dispatch() = default;

  // Reads property `name` or calls method `name` (one dispatch, as late-bound callers use it).
  // nullopt for an unknown member, wrong arguments or an error raised by the object.
  virtual std::optional<Variant> get(std::string_view name, ArgSpan args) = 0;
  // Writes property `name`; false on failure.
  virtual bool put(std::string_view name, const Variant& value) = 0;
  // As `get`, with the result wanted as CP936 text. By default `get` rendered by variant_text; a
  // class overrides it where it can deliver the text without a UTF-16 step.
  virtual std::optional<std::string> get_text(std::string_view name, ArgSpan args);
};

// The ASCII-case-insensitive comparison of member names and ProgIDs.
bool same_name(std::string_view a, std::string_view b);

std::shared_ptr<Dispatch> make_regexp();
std::shared_ptr<Dispatch> make_stream();

// Coercions of argument and property values, as late-bound callers expect them. nullopt when the
// value cannot be coerced.
// bool: bool; a number (non-zero is true); empty is false.
std::optional<bool> to_bool(const Variant& v);
// double: a number; a bool (-1 or 0); empty is 0.
std::optional<double> to_number(const Variant& v);
// An integer from a number, rounded half to even as the platform coerces doubles; nullopt for a
// value outside the 32-bit range.
std::optional<std::int32_t> to_int(const Variant& v);
// A string: a string; a number or bool in its text form; empty is "".
std::optional<std::u16string> to_string16(const Variant& v);

}  // namespace platform::automation
