#include "base/regex_object.h"

#include <string>
#include <utility>

#include "base/literal.h"
#include "platform/codepage/codepage.h"

namespace automation = platform::automation;
using automation::ComObject;
using automation::Variant;

namespace {

// A 1-based index of this interface as the component's 0-based number.
Variant component_index(int index) { return Variant(static_cast<double>(index) - 1); }

// The 1-based byte position in the CP936 form of `units` at which character `n` (0-based, as
// the component counts) begins. Every character converts to as many bytes as it came from
// (an undecodable byte became one replacement character, which converts back to one "?").
int byte_position_of_character(const std::u16string* units, int n) {
  if (!units || n <= 0) return 1;
  const std::u16string_view prefix =
      std::u16string_view(*units).substr(0, static_cast<std::size_t>(n));
  return static_cast<int>(platform::codepage::utf16_to_cp936(prefix).size()) + 1;
}

}  // namespace

RegexObject::RegexObject() { automation::co_initialize(); }

RegexObject::~RegexObject() { destroy(); }

RegexObject::RegexObject(RegexObject&& other) noexcept
    : regexp_(std::move(other.regexp_)),
      matches_(std::move(other.matches_)),
      subject_(std::move(other.subject_)),
      live_(std::exchange(other.live_, false)) {}

RegexObject& RegexObject::operator=(RegexObject&& other) noexcept {
  if (this != &other) {
    destroy();
    regexp_ = std::move(other.regexp_);
    matches_ = std::move(other.matches_);
    subject_ = std::move(other.subject_);
    live_ = std::exchange(other.live_, false);
  }
  return *this;
}

void RegexObject::destroy() {
  if (!live_) return;
  live_ = false;
  automation::com_clear(regexp_);
  automation::com_clear(matches_);
  automation::variant_clear(subject_);
  automation::co_uninitialize();
}

RegexObject RegexObject::copy() const {
  RegexObject out;
  automation::com_copy(out.regexp_, regexp_);
  automation::com_copy(out.matches_, matches_);
  automation::variant_copy(out.subject_, subject_);
  return out;
}

bool RegexObject::create(const Text& pattern, const Text& subject, bool case_sensitive,
                         bool multiline, bool global, bool expand_quotes) {
  automation::com_clear(regexp_);
  automation::com_clear(matches_);
  automation::com_create(regexp_, "VBScript.RegExp");
  automation::com_set_property(regexp_, "IgnoreCase", Variant(!case_sensitive));
  automation::com_set_property(regexp_, "Multiline", Variant(multiline));
  // The component has no such member: this write fails silently and changes nothing.
  automation::com_set_property(regexp_, "Singleline", Variant(true));
  automation::com_set_property(regexp_, "Global", Variant(global));

  const Text pattern_text =
      expand_quotes ? replace_text(pattern, ZH("#引号"), "\"", 1, -1, true) : pattern;
  Variant pattern_value;
  automation::variant_assign_text(pattern_value, pattern_text.view());
  automation::com_set_property(regexp_, "Pattern", pattern_value);

  automation::variant_assign_text(subject_, subject.view());
  matches_ = automation::com_call<ComObject>(regexp_, "Execute", {subject_});
  return !automation::com_is_empty(matches_);
}

Text RegexObject::pattern() const {
  return Text::result(automation::com_get_property<std::string>(regexp_, "Pattern"));
}

Text RegexObject::replace(const Text& replacement) const {
  Variant value;
  automation::variant_assign_text(value, replacement.view());
  std::string out = automation::com_call<std::string>(regexp_, "Replace", {subject_, value});
  automation::variant_clear(value);
  return Text::result(std::move(out));
}

int RegexObject::match_count() const {
  return static_cast<int>(automation::com_get_property<double>(matches_, "Count"));
}

ComObject RegexObject::item(int match_index) const {
  return automation::com_get_property<ComObject>(matches_, "Item",
                                                 {component_index(match_index)});
}

int RegexObject::position_of(const Text& found, const ComObject& match) const {
  const Text s = Text::result(automation::variant_text(subject_));
  const int first = static_cast<int>(automation::com_get_property<double>(match, "FirstIndex"));
  const int start = byte_position_of_character(subject_.string(), first);
  return find_text(s, found, start) - 1;
}

Text RegexObject::match_text(int match_index, int* position) const {
  const ComObject match = item(match_index);
  Text result = Text::result(automation::com_get_property<std::string>(match, "Value"));
  if (position) *position = position_of(result, match);
  return result;
}

Text RegexObject::submatch_text(int match_index, int group_index, int* position) const {
  const ComObject match = item(match_index);
  const ComObject groups = automation::com_get_property<ComObject>(match, "SubMatches");
  Text result = Text::result(
      automation::com_get_property<std::string>(groups, "Item", {component_index(group_index)}));
  if (position) *position = position_of(result, match);
  return result;
}

int RegexObject::submatch_count() const {
  const ComObject first = item(1);
  const ComObject groups = automation::com_get_property<ComObject>(first, "SubMatches");
  return static_cast<int>(automation::com_get_property<double>(groups, "Count"));
}
