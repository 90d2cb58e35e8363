// A regular-expression search through the "VBScript.RegExp" automation object.
//
// `create` sets up and runs a search; the read operations then work on what the last `create`
// left. Match and group indices are 1-based; an index outside the existing matches or groups
// (0 included) gives the empty text. No operation shows anything or fails loudly.
//
// Each object initialises the automation apartment of the calling thread once, when it is made
// (a copy too), and releases it once, in `destroy` or else in the destructor.
#pragma once

#include "base/text.h"
#include "platform/automation/automation.h"

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;
  // The source is left destroyed (it releases nothing more).
  RegexObject(RegexObject&& other) noexcept;
  RegexObject& operator=(RegexObject&& other) noexcept;

  // Releases the automation objects and the apartment. Later calls do nothing; afterwards the
  // read operations give 0 or the empty text.
  void destroy();
  // A new object sharing this one's automation objects (one more reference each) with a copy of
  // its subject.
  RegexObject copy() const;

  // Runs `pattern` over `subject`. `expand_quotes` turns every "#引号" of the pattern into a
  // double quote first. True when the search could run, whether or not anything matched; false
  // when the pattern was rejected or no regular-expression object could be made.
  bool create(const Text& pattern, const Text& subject, bool case_sensitive = false,
              bool multiline = true, bool global = true, bool expand_quotes = false);

  // The pattern of the last `create` (after quote expansion); empty before any.
  Text pattern() const;
  // The subject with the first match, or every match when the search was global, replaced by
  // `replacement`: $& the match, $1 to $99 its groups, $` and $' the text before and after it,
  // $$ a dollar sign.
  Text replace(const Text& replacement = Text()) const;
  int match_count() const;
  // When `position` is given it receives the 0-based byte offset of the result text in the
  // subject, searched (letter case significant) from the byte at which the match starts, so for
  // a match the match itself; for a group the first occurrence of the group's text from the start
  // of its match on. -2 when that search finds nothing; an empty result text gives 0 in a
  // non-empty subject (an empty search is found at the first byte).
  Text match_text(int match_index, int* position = nullptr) const;
  Text submatch_text(int match_index, int group_index, int* position = nullptr) const;
  // The number of captured groups of the first match; 0 when there is no match.
  int submatch_count() const;

 private:
  platform::automation::ComObject item(int match_index) const;
  int position_of(const Text& found, const platform::automation::ComObject& match) const;

  platform::automation::ComObject regexp_;
  platform::automation::ComObject matches_;
  platform::automation::Variant subject_{std::int32_t{0}};
  bool live_ = true;
};
