#include "net/charset.h"

#include <optional>
#include <string>

#include "base/regex_object.h"
#include "platform/automation/automation.h"
#include "platform/events/events.h"

namespace automation = platform::automation;
using automation::ComObject;
using automation::Variant;

namespace {

constexpr const char* kMetaCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
constexpr int kSearchedBytes = 1024;

constexpr std::int32_t kTypeBinary = 1;     // adTypeBinary
constexpr std::int32_t kTypeText = 2;       // adTypeText
constexpr std::int32_t kModeReadWrite = 3;  // adModeReadWrite

// The whole body decoded from `charset` through an "Adodb.Stream" object, as CP936 text; an
// empty optional when no stream could be made or it could not decode.
std::optional<Text> decode_through_stream(const ByteSet& body_bytes, const Text& charset) {
  ComObject stream;
  if (!automation::com_create(stream, "Adodb.Stream")) return std::nullopt;
  Variant body;
  automation::variant_assign_bytes(body, body_bytes.view());
  automation::com_set_property(stream, "Type", Variant(kTypeBinary));
  automation::com_set_property(stream, "Mode", Variant(kModeReadWrite));
  automation::com_call<void>(stream, "Open");
  automation::com_call<void>(stream, "Write", {body});
  automation::com_set_property(stream, "Position", Variant(std::int32_t{0}));
  automation::com_set_property(stream, "Type", Variant(kTypeText));
  Variant charset_value;
  automation::variant_assign_text(charset_value, charset.view());
  automation::com_set_property(stream, "Charset", charset_value);
  std::string text = automation::com_call<std::string>(stream, "ReadText");
  automation::com_call<void>(stream, "Close");
  automation::com_clear(stream);
  automation::variant_clear(body);
  // A stream that cannot decode the charset reads nothing, while a non-empty body always
  // decodes to something: an empty reading of a non-empty body is a failure, and the body is
  // kept as it came rather than lost.
  if (text.empty() && !body_bytes.empty()) return std::nullopt;
  return Text::result(std::move(text));
}

}  // namespace

Text convert_declared_charset(const Text& body_text, const ByteSet& body_bytes) {
  automation::ApartmentScope apartment;
  std::optional<Text> converted;
  {
    RegexObject regex;
    if (!regex.create(kMetaCharsetPattern, text_left(body_text, kSearchedBytes))) return body_text;
    const Text charset = regex.submatch_text(1, 1);
    if (!charset.empty() && compare_text(charset, "gbk") != 0 &&
        compare_text(charset, "gb2312") != 0) {
      converted = decode_through_stream(body_bytes, charset);
    }
  }
  platform::process_events();
  return converted ? std::move(*converted) : body_text;
}
