// "VBScript.RegExp": regular expressions over PCRE2 in 16-bit code units.
//
// Members: "IgnoreCase", "Multiline", "Global" (bool, default false) and "Pattern" (string,
// default ""), read and write; "Execute"(subject) -> match collection; "Test"(subject) -> bool;
// "Replace"(subject, replacement) -> string. A match collection has "Count" and "Item"(i from 0);
// a match has "Value", "FirstIndex", "Length" and "SubMatches" ("Count", "Item"(i from 0); a
// group that took no part in the match gives the empty value). There is no "Singleline".
//
// The dialect is the JavaScript-style one the patterns are written in. Subjects and patterns are
// UTF-16 code units, each CP936 character one unit, so "FirstIndex" and "Length" count characters.
// Compile options:
// - no UTF and no UCP (and both locked out, so (*UTF) or (*UCP) in a pattern fails): every code
//   unit is one character, as in the dialect, and no invalid-surrogate check is needed; \w, \d,
//   \s and letter case folding are ASCII-only;
// - PCRE2_ALT_BSUX: \uhhhh and \xhh as in the dialect, a \u, \U or \x without its hex digits is a
//   literal letter; unknown escapes of letters are literal too (EXTRA_BAD_ESCAPE_IS_LITERAL);
// - PCRE2_ALLOW_EMPTY_CLASS: [] matches nothing and [^] any character;
// - PCRE2_MATCH_UNSET_BACKREF: a back reference to a group that took no part matches "";
// - PCRE2_DOLLAR_ENDONLY: without "Multiline", $ matches only at the very end;
// - newline CR, LF or CRLF: '.' matches no line terminator, and with "Multiline" (PCRE2_MULTILINE)
//   ^ and $ match at them. (LS and PS cannot occur: CP936 has no such characters.)
// - "IgnoreCase" is PCRE2_CASELESS. PCRE2's own extra syntax (lookbehind, named groups, \h, \v,
//   \R, ...) keeps its PCRE2 meaning.
//
// Searching: after a match the next search starts at its end, one unit further after an empty
// match (so "x*" on "axb" finds "", "x", "", ""). Each search is bounded by match, depth and heap
// limits: a pattern that would backtrack catastrophically reaches a limit, which counts as no
// (further) match; matches found before it stand.
//
// "Replace" replaces the first match, or every match with "Global", by the replacement with these
// expansions: $$ a dollar sign, $& the match, $` the text before it, $' the text after it, $n and
// $nn (1 to 99) a captured group, the two-digit form when that group exists ("" for a group that
// took no part). Any other $ is literal.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/automation/dispatch.h"

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 16
#endif
#include <pcre2.h>

namespace platform::automation {
namespace {

constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKib = 64 * 1024;

constexpr std::uint32_t kCompileOptions = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                                          PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY |
                                          PCRE2_NEVER_UTF | PCRE2_NEVER_UCP |
                                          PCRE2_NEVER_BACKSLASH_C;

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
using Code = std::shared_ptr<const pcre2_code>;
using MatchData = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using MatchContext = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using CompileContext = std::unique_ptr<pcre2_compile_context, CompileContextFree>;

PCRE2_SPTR units(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

// `pattern` compiled with `options`; null when it does not compile.
Code compile(const std::u16string& pattern, std::uint32_t options) {
  CompileContext context(pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
  pcre2_set_compile_extra_options(context.get(), PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code =
      pcre2_compile(units(pattern), pattern.size(), options, &error, &error_offset, context.get());
  if (!code) return nullptr;
  return Code(code, CodeFree{});
}

// Compiling costs more than a search over a short subject, and the same few patterns come back
// on every request, so each thread keeps the patterns it compiled last, by pattern and options.
// A compiled pattern is never changed once made (each search has match data of its own), so
// objects share it, on any thread. A pattern that does not compile is not kept.
class CompiledPatterns {
 public:
  static Code get(const std::u16string& pattern, std::uint32_t options) {
    thread_local CompiledPatterns kept;
    return kept.find_or_compile(pattern, options);
  }

 private:
  static constexpr std::size_t kKept = 8;

  struct Entry {
    std::u16string pattern;
    std::uint32_t options = 0;
    Code code;
    std::uint64_t last_use = 0;
  };

  Code find_or_compile(const std::u16string& pattern, std::uint32_t options) {
    Entry* slot = &entries_[0];  // to compile into: an empty one, else the least recently used
    for (Entry& entry : entries_) {
      if (entry.code && entry.options == options && entry.pattern == pattern) {
        entry.last_use = ++clock_;
        return entry.code;
      }
      if (slot->code && (!entry.code || entry.last_use < slot->last_use)) slot = &entry;
    }
    Code code = compile(pattern, options);
    if (code) *slot = Entry{pattern, options, code, ++clock_};
    return code;
  }

  std::array<Entry, kKept> entries_;
  std::uint64_t clock_ = 0;
};

// The matches of one search, in a form that outlives the RegExp that made them.
struct MatchList {
  std::shared_ptr<const std::u16string> subject;
  std::size_t slots = 1;              // captured groups + 1
  std::vector<std::size_t> offsets;   // per match, slots (start, end) pairs; PCRE2_UNSET if unset

  std::size_t count() const { return offsets.size() / (2 * slots); }
  const std::size_t* match(std::size_t i) const { return offsets.data() + i * 2 * slots; }
  // The text of slot `g` of match `i`; nullopt for a group that took no part.
  std::optional<std::u16string> text(std::size_t i, std::size_t g) const {
    const std::size_t* m = match(i);
    if (m[2 * g] == PCRE2_UNSET) return std::nullopt;
    return subject->substr(m[2 * g], m[2 * g + 1] - m[2 * g]);
  }
};

using SharedList = std::shared_ptr<const MatchList>;

std::optional<std::size_t> index_argument(ArgSpan args, std::size_t count) {
  if (args.size() != 1) return std::nullopt;
  std::optional<std::int32_t> i = to_int(*args[0].value);
  if (!i || *i < 0 || static_cast<std::size_t>(*i) >= count) return std::nullopt;
  return static_cast<std::size_t>(*i);
}

Variant count_value(std::size_t n) { return Variant(static_cast<std::int32_t>(n)); }

class SubMatches final : public Dispatch {
 public:
  SubMatches(SharedList list, std::size_t index) : list_(std::move(list)), index_(index) {}

  std::optional<Variant> get(std::string_view name, ArgSpan args) override {
    const std::size_t groups = list_->slots - 1;
    if (same_name(name, "Count") && args.empty()) return count_value(groups);
    if (same_name(name, "Item")) {
      std::optional<std::size_t> g = index_argument(args, groups);
      if (!g) return std::nullopt;
      std::optional<std::u16string> text = list_->text(index_, *g + 1);
      return text ? Variant(std::move(*text)) : Variant();
    }
    return std::nullopt;
  }
  bool put(std::string_view, const Variant&) override { return false; }

 private:
  SharedList list_;
  std::size_t index_;
};

class Match final : public Dispatch {
 public:
  Match(SharedList list, std::size_t index) : list_(std::move(list)), index_(index) {}

  std::optional<Variant> get(std::string_view name, ArgSpan args) override {
    if (!args.empty()) return std::nullopt;
    const std::size_t* m = list_->match(index_);
    if (same_name(name, "Value")) return Variant(*list_->text(index_, 0));
    if (same_name(name, "FirstIndex")) return count_value(m[0]);
    if (same_name(name, "Length")) return count_value(m[1] - m[0]);
    if (same_name(name, "SubMatches"))
      return Variant(ComObject(std::make_shared<SubMatches>(list_, index_)));
    return std::nullopt;
  }
  bool put(std::string_view, const Variant&) override { return false; }

 private:
  SharedList list_;
  std::size_t index_;
};

class MatchCollection final : public Dispatch {
 public:
  explicit MatchCollection(SharedList list) : list_(std::move(list)) {}

  std::optional<Variant> get(std::string_view name, ArgSpan args) override {
    if (same_name(name, "Count") && args.empty()) return count_value(list_->count());
    if (same_name(name, "Item")) {
      std::optional<std::size_t> i = index_argument(args, list_->count());
      if (!i) return std::nullopt;
      return Variant(ComObject(std::make_shared<Match>(list_, *i)));
    }
    return std::nullopt;
  }
  bool put(std::string_view, const Variant&) override { return false; }

 private:
  SharedList list_;
};

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Appends `replacement` with its $ expansions for the match `m` (slots pairs) of `subject`.
void append_expansion(std::u16string& out, std::u16string_view replacement,
                      std::u16string_view subject, const std::size_t* m, std::size_t groups) {
  auto append_slot = [&](std::size_t g) {
    if (m[2 * g] != PCRE2_UNSET) out.append(subject.substr(m[2 * g], m[2 * g + 1] - m[2 * g]));
  };
  const std::size_t n = replacement.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = replacement[i];
    if (c != u'$' || i + 1 == n) {
      out += c;
      continue;
    }
    const char16_t next = replacement[i + 1];
    if (next == u'$') {
      out += u'$';
      ++i;
    } else if (next == u'&') {
      append_slot(0);
      ++i;
    } else if (next == u'`') {
      out.append(subject.substr(0, m[0]));
      ++i;
    } else if (next == u'\'') {
      out.append(subject.substr(m[1]));
      ++i;
    } else if (is_digit(next)) {
      const std::size_t one = next - u'0';
      const bool has_two = i + 2 < n && is_digit(replacement[i + 2]);
      const std::size_t two = has_two ? one * 10 + (replacement[i + 2] - u'0') : 0;
      if (has_two && two >= 1 && two <= groups) {
        append_slot(two);
        i += 2;
      } else if (one >= 1 && one <= groups) {
        append_slot(one);
        ++i;
      } else {
        out += u'$';
      }
    } else {
      out += u'$';
    }
  }
}

class RegExp final : public Dispatch {
 public:
  std::optional<Variant> get(std::string_view name, ArgSpan args) override {
    if (args.empty()) {
      if (same_name(name, "IgnoreCase")) return Variant(ignore_case_);
      if (same_name(name, "Multiline")) return Variant(multiline_);
      if (same_name(name, "Global")) return Variant(global_);
      if (same_name(name, "Pattern")) return Variant(pattern_);
      return std::nullopt;
    }
    if (same_name(name, "Execute") && args.size() == 1) return execute(*args[0].value);
    if (same_name(name, "Test") && args.size() == 1) return test(*args[0].value);
    if (same_name(name, "Replace") && args.size() == 2)
      return replace(*args[0].value, *args[1].value);
    return std::nullopt;
  }

  bool put(std::string_view name, const Variant& value) override {
    bool* flag = same_name(name, "IgnoreCase") ? &ignore_case_
                 : same_name(name, "Multiline") ? &multiline_
                 : same_name(name, "Global")    ? &global_
                                                : nullptr;
    if (flag) {
      std::optional<bool> b = to_bool(value);
      if (!b) return false;
      if (*flag != *b) code_.reset();
      *flag = *b;
      return true;
    }
    if (same_name(name, "Pattern")) {
      std::optional<std::u16string> s = to_string16(value);
      if (!s) return false;
      pattern_ = std::move(*s);
      code_.reset();
      return true;
    }
    return false;
  }

 private:
  // The pattern compiled with the current options; null when it does not compile.
  const pcre2_code* compiled() {
    if (code_) return code_.get();
    std::uint32_t options = kCompileOptions;
    if (ignore_case_) options |= PCRE2_CASELESS;
    if (multiline_) options |= PCRE2_MULTILINE;
    code_ = CompiledPatterns::get(pattern_, options);
    return code_.get();
  }

  pcre2_match_context* match_context() {
    if (!match_context_) {
      match_context_.reset(pcre2_match_context_create(nullptr));
      if (!match_context_) return nullptr;
      pcre2_set_match_limit(match_context_.get(), kMatchLimit);
      pcre2_set_depth_limit(match_context_.get(), kDepthLimit);
      pcre2_set_heap_limit(match_context_.get(), kHeapLimitKib);
    }
    return match_context_.get();
  }

  // Runs the search over `subject`, calling `found(ovector)` per match: the first match, or
  // every match with "Global". False when the search could not run.
  template <typename Found>
  bool for_each_match(const std::u16string& subject, Found&& found) {
    const pcre2_code* code = compiled();
    pcre2_match_context* context = match_context();
    if (!code || !context) return false;
    MatchData data(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!data) return false;
    const std::size_t length = subject.size();
    std::size_t start = 0;
    while (start <= length) {
      // No match, and a limit reached, both end the search.
      if (pcre2_match(code, units(subject), length, start, 0, data.get(), context) < 0) break;
      const std::size_t* m = pcre2_get_ovector_pointer(data.get());
      found(m);
      if (!global_) break;
      start = m[1] > m[0] ? m[1] : m[0] + 1;
    }
    return true;
  }

  std::size_t slots() const {
    std::uint32_t captures = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    return captures + 1;
  }

  std::optional<Variant> execute(const Variant& subject_value) {
    std::optional<std::u16string> subject = to_string16(subject_value);
    if (!subject) return std::nullopt;
    if (!compiled()) return std::nullopt;
    auto list = std::make_shared<MatchList>();
    list->subject = std::make_shared<const std::u16string>(std::move(*subject));
    list->slots = slots();
    const bool ran = for_each_match(*list->subject, [&](const std::size_t* m) {
      list->offsets.insert(list->offsets.end(), m, m + 2 * list->slots);
    });
    if (!ran) return std::nullopt;
    return Variant(ComObject(std::make_shared<MatchCollection>(std::move(list))));
  }

  std::optional<Variant> test(const Variant& subject_value) {
    std::optional<std::u16string> subject = to_string16(subject_value);
    if (!subject) return std::nullopt;
    bool any = false;
    if (!for_each_match(*subject, [&](const std::size_t*) { any = true; })) return std::nullopt;
    return Variant(any);
  }

  std::optional<Variant> replace(const Variant& subject_value, const Variant& replacement_value) {
    std::optional<std::u16string> subject = to_string16(subject_value);
    std::optional<std::u16string> replacement = to_string16(replacement_value);
    if (!subject || !replacement) return std::nullopt;
    if (!compiled()) return std::nullopt;
    const std::size_t groups = slots() - 1;
    std::u16string out;
    out.reserve(subject->size());
    std::size_t last = 0;
    const bool ran = for_each_match(*subject, [&](const std::size_t* m) {
      if (m[0] < last) return;
      out.append(*subject, last, m[0] - last);
      append_expansion(out, *replacement, *subject, m, groups);
      last = m[1];
    });
    if (!ran) return std::nullopt;
    out.append(*subject, last);
    return Variant(std::move(out));
  }

  bool ignore_case_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::u16string pattern_;
  Code code_;
  MatchContext match_context_;
};

}  // namespace

std::shared_ptr<Dispatch> make_regexp() { return std::make_shared<RegExp>(); }

}  // namespace platform::automation
