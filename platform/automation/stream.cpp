// "Adodb.Stream": a byte buffer written as binary and read back as text decoded from a charset,
// over iconv (platform/codepage).
//
// Members: "Type" (1 binary, 2 text; default 2), "Mode" (stored; writable only while closed),
// "State" (0 closed, 1 open), "Open"(), "Close"(), "Write"(byte array; binary streams),
// "Position" (bytes; 0 to "Size"), "Size", "EOS", "Charset" (default "Unicode"), "ReadText"([-1])
// (text streams; decodes everything from "Position" to the end and moves "Position" there).
// "Type" and "Charset" can change while open only at position 0.
//
// "Charset" takes any label; "ReadText" resolves it as browsers resolve charset labels
// (encoding_labels.h) and fails for a label that names no encoding iconv can decode. A byte order
// mark of the charset at the start of the stream is skipped. Malformed input and characters the
// target lacks become replacements (codepage.h): U+FFFD in a UTF-16 result, "?" in CP936 text.
// Wanted as text, "ReadText" converts from the charset straight to CP936.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/automation/dispatch.h"
#include "platform/automation/encoding_labels.h"
#include "platform/codepage/codepage.h"

namespace platform::automation {
namespace {

constexpr std::int32_t kTypeBinary = 1;
constexpr std::int32_t kTypeText = 2;
constexpr std::int32_t kReadAll = -1;

std::string_view bom_of(std::string_view iconv_name) {
  if (iconv_name == "UTF-8") return "\xEF\xBB\xBF";
  if (iconv_name == "UTF-16LE") return "\xFF\xFE";
  if (iconv_name == "UTF-16BE") return "\xFE\xFF";
  return {};
}

class Stream final : public Dispatch {
 public:
  std::optional<Variant> get(std::string_view name, ArgSpan args) override {
    if (same_name(name, "ReadText")) {
      std::optional<std::string> utf16 = read_text(args, "UTF-16LE");
      if (!utf16) return std::nullopt;
      std::u16string units(utf16->size() / 2, u'\0');
      std::memcpy(units.data(), utf16->data(), units.size() * 2);
      return Variant(std::move(units));
    }
    if (same_name(name, "Open")) {
      if (!args.empty() || open_) return std::nullopt;
      open_ = true;
      return Variant();
    }
    if (same_name(name, "Close")) {
      if (!args.empty() || !open_) return std::nullopt;
      open_ = false;
      shared_.reset();
      owned_.clear();
      position_ = 0;
      return Variant();
    }
    if (same_name(name, "Write")) {
      if (args.size() != 1 || !open_ || type_ != kTypeBinary) return std::nullopt;
      std::shared_ptr<const std::string> data = args[0].value->bytes();
      if (!data) return std::nullopt;
      write(std::move(data));
      return Variant();
    }
    if (!args.empty()) return std::nullopt;
    if (same_name(name, "Type")) return Variant(type_);
    if (same_name(name, "Mode")) return Variant(mode_);
    if (same_name(name, "State")) return Variant(std::int32_t{open_ ? 1 : 0});
    if (same_name(name, "Charset")) return Variant(codepage::cp936_to_utf16(charset_));
    if (!open_) return std::nullopt;
    if (same_name(name, "Position")) return Variant(static_cast<std::int32_t>(position_));
    if (same_name(name, "Size")) return Variant(static_cast<std::int32_t>(bytes().size()));
    if (same_name(name, "EOS")) return Variant(position_ == bytes().size());
    return std::nullopt;
  }

  std::optional<std::string> get_text(std::string_view name, ArgSpan args) override {
    if (same_name(name, "ReadText")) return read_text(args, "CP936");
    return Dispatch::get_text(name, args);
  }

  bool put(std::string_view name, const Variant& value) override {
    if (same_name(name, "Charset")) {
      std::optional<std::u16string> label = to_string16(value);
      if (!label || (open_ && position_ != 0)) return false;
      charset_ = codepage::utf16_to_cp936(*label);
      return true;
    }
    std::optional<std::int32_t> n = to_int(value);
    if (!n) return false;
    if (same_name(name, "Type")) {
      if ((*n != kTypeBinary && *n != kTypeText) || (open_ && position_ != 0)) return false;
      type_ = *n;
      return true;
    }
    if (same_name(name, "Mode")) {
      if (open_) return false;
      mode_ = *n;
      return true;
    }
    if (same_name(name, "Position")) {
      if (!open_ || *n < 0 || static_cast<std::size_t>(*n) > bytes().size()) return false;
      position_ = static_cast<std::size_t>(*n);
      return true;
    }
    return false;
  }

 private:
  std::string_view bytes() const { return shared_ ? std::string_view(*shared_) : owned_; }

  // A write into an empty stream adopts the byte array's bytes without copying them; any later
  // write copies them once into the stream's own buffer.
  void write(std::shared_ptr<const std::string> data) {
    if (position_ == 0 && bytes().empty()) {
      position_ = data->size();
      shared_ = std::move(data);
      return;
    }
    if (shared_) {
      owned_.assign(*shared_);
      shared_.reset();
    }
    const std::size_t overlap = std::min(data->size(), owned_.size() - position_);
    owned_.replace(position_, overlap, *data);
    position_ += data->size();
  }

  // The rest of the stream decoded from the charset into `to` (an iconv name).
  std::optional<std::string> read_text(ArgSpan args, const char* to) {
    if (args.size() > 1 || !open_ || type_ != kTypeText) return std::nullopt;
    if (args.size() == 1 && to_int(*args[0].value) != kReadAll) return std::nullopt;
    const char* from = iconv_name_for_label(charset_);
    if (!from) return std::nullopt;
    std::string_view rest = bytes().substr(position_);
    const std::string_view bom = bom_of(from);
    if (position_ == 0 && !bom.empty() && rest.starts_with(bom)) rest.remove_prefix(bom.size());
    std::optional<std::string> text =
        rest.empty() ? std::optional<std::string>(std::string()) : codepage::convert(rest, from, to);
    if (text) position_ = bytes().size();
    return text;
  }

  std::int32_t type_ = kTypeText;
  std::int32_t mode_ = 0;
  bool open_ = false;
  std::string charset_ = "Unicode";
  std::shared_ptr<const std::string> shared_;
  std::string owned_;
  std::size_t position_ = 0;
};

}  // namespace

std::shared_ptr<Dispatch> make_stream() { return std::make_shared<Stream>(); }

}  // namespace platform::automation
