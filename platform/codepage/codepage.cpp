#include "platform/codepage/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace platform::codepage {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// The encodings whose descriptors are kept between conversions: the ones converted on every
// request. Resetting the shift state returns their descriptors to exactly the state of a fresh
// one. That does not hold for every encoding: a decoder from "UTF-16" or "UTF-32" keeps the
// byte order that the first text's byte-order mark chose, so any other name gets a descriptor
// of its own per conversion.
bool kept_between_conversions(const char* name) {
  for (const char* kept : {"CP936", "UTF-16LE", "UTF-8", "UTF-32LE"}) {
    if (std::strcmp(name, kept) == 0) return true;
  }
  return false;
}

// Opening a descriptor costs more than converting a short text, so each thread keeps the
// descriptors it opened, one per (from, to) pair, for its later conversions. A handful of
// pairs is all the program uses; past that the least recently used idle one is closed. A
// descriptor serves one conversion at a time: a pair asked for while its descriptor is busy
// (the probe below, on a conversion into UTF-32LE) gets a descriptor of its own for that use.
class DescriptorCache {
 public:
  struct Entry {
    std::string from;
    std::string to;
    iconv_t cd = kNoDescriptor;
    bool busy = false;
    std::uint64_t last_use = 0;
  };

  ~DescriptorCache() {
    gone_ = true;
    for (Entry& entry : entries_) {
      if (entry.cd != kNoDescriptor) iconv_close(entry.cd);
    }
  }

  // The thread's cache; null while the thread is ending and its cache is gone.
  static DescriptorCache* of_thread() {
    if (gone_) return nullptr;
    thread_local DescriptorCache cache;
    return &cache;
  }

  // A descriptor for the pair: the cached one, marked busy in `entry`, or, when that one is
  // busy or every slot is, one opened for this use alone (`entry` null). kNoDescriptor when
  // iconv does not know a name.
  iconv_t open(const char* from, const char* to, Entry*& entry) {
    entry = nullptr;
    Entry* slot = nullptr;  // to open into: an empty one, else the least recently used idle one
    for (Entry& cached : entries_) {
      if (cached.cd != kNoDescriptor && cached.from == from && cached.to == to) {
        if (cached.busy) return iconv_open(to, from);
        entry = &use(cached);
        return cached.cd;
      }
      if (cached.busy) continue;
      if (!slot || (slot->cd != kNoDescriptor &&
                    (cached.cd == kNoDescriptor || cached.last_use < slot->last_use))) {
        slot = &cached;
      }
    }
    const iconv_t cd = iconv_open(to, from);
    if (cd == kNoDescriptor || !slot) return cd;
    if (slot->cd != kNoDescriptor) iconv_close(slot->cd);
    slot->from = from;
    slot->to = to;
    slot->cd = cd;
    entry = &use(*slot);
    return cd;
  }

 private:
  static constexpr std::size_t kPairs = 8;

  Entry& use(Entry& entry) {
    entry.busy = true;
    entry.last_use = ++clock_;
    return entry;
  }

  static thread_local bool gone_;
  std::array<Entry, kPairs> entries_;
  std::uint64_t clock_ = 0;
};

thread_local bool DescriptorCache::gone_ = false;

// A descriptor for one conversion, in its initial shift state: the thread's cached one for
// the pair, or one opened for this use alone.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) {
    DescriptorCache* cache = kept_between_conversions(from) && kept_between_conversions(to)
                                 ? DescriptorCache::of_thread()
                                 : nullptr;
    cd_ = cache ? cache->open(from, to, entry_) : iconv_open(to, from);
    if (entry_) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  ~IconvHandle() {
    if (entry_) {
      entry_->busy = false;
    } else if (valid()) {
      iconv_close(cd_);
    }
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != kNoDescriptor; }
  iconv_t get() const { return cd_; }

 private:
  DescriptorCache::Entry* entry_ = nullptr;
  iconv_t cd_ = kNoDescriptor;
};

bool starts_with_ci(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view replacement_for(std::string_view to) {
  if (starts_with_ci(to, "UTF-16BE")) return {"\xFF\xFD", 2};
  if (starts_with_ci(to, "UTF-16")) return {"\xFD\xFF", 2};
  if (starts_with_ci(to, "UTF-8")) return "\xEF\xBF\xBD";
  return "?";
}

// The length of the one character at the start of `in` when it is a well-formed character of
// `from`, else 0.
std::size_t valid_char_length(const char* from, const char* in, std::size_t left) {
  IconvHandle probe("UTF-32LE", from);
  if (!probe.valid()) return 0;
  char out[8];
  char* inp = const_cast<char*>(in);
  std::size_t inleft = left;
  char* outp = out;
  std::size_t outleft = 4;  // room for exactly one character
  iconv(probe.get(), &inp, &inleft, &outp, &outleft);
  return outleft == 0 ? left - inleft : 0;
}

std::string run(IconvHandle& cd, const char* from, std::string_view to, std::string_view bytes) {
  std::string out;
  out.resize(bytes.size() * 2 + 16);
  std::size_t used = 0;
  const std::string_view replacement = replacement_for(to);

  char* inp = const_cast<char*>(bytes.data());
  std::size_t inleft = bytes.size();
  auto emit = [&](std::string_view piece) {
    if (out.size() - used < piece.size()) out.resize(out.size() * 2 + piece.size());
    std::memcpy(out.data() + used, piece.data(), piece.size());
    used += piece.size();
  };

  while (true) {
    char* outp = out.data() + used;
    std::size_t outleft = out.size() - used;
    // On the final round (no input left) flush the shift state.
    std::size_t rc = inleft > 0 ? iconv(cd.get(), &inp, &inleft, &outp, &outleft)
                                : iconv(cd.get(), nullptr, nullptr, &outp, &outleft);
    used = static_cast<std::size_t>(outp - out.data());
    if (rc != static_cast<std::size_t>(-1)) {
      if (inleft == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2 + 16);
      continue;
    }
    if (errno == EILSEQ) {
      // Either a malformed sequence (skip one code unit: a byte, or two for UTF-16 input, so that
      // a lone surrogate does not shift the units after it) or a character the target lacks
      // (skip it).
      std::size_t n = valid_char_length(from, inp, inleft);
      if (n == 0) n = std::min(starts_with_ci(from, "UTF-16") ? std::size_t{2} : 1, inleft);
      emit(replacement);
      inp += n;
      inleft -= n;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    // EINVAL: an incomplete sequence ends the input.
    emit(replacement);
    inleft = 0;
  }
  out.resize(used);
  return out;
}

std::u16string units_from_bytes(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

std::string_view bytes_of(std::u16string_view units) {
  return {reinterpret_cast<const char*>(units.data()), units.size() * 2};
}

// Below 0x80 CP936 and UTF-8 are ASCII, byte for byte and unit for unit: a text of such bytes
// (or units) alone converts without iconv.
bool all_ascii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool all_ascii(std::u16string_view units) {
  return std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x80; });
}

}  // namespace

std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to) {
  IconvHandle cd(to, from);
  if (!cd.valid()) return std::nullopt;
  return run(cd, from, to, bytes);
}

std::u16string cp936_to_utf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (all_ascii(bytes)) return std::u16string(bytes.begin(), bytes.end());
  return units_from_bytes(*convert(bytes, "CP936", "UTF-16LE"));
}

std::string utf16_to_cp936(std::u16string_view units) {
  if (units.empty()) return {};
  if (all_ascii(units)) {
    std::string bytes(units.size(), '\0');
    std::transform(units.begin(), units.end(), bytes.begin(),
                   [](char16_t u) { return static_cast<char>(u); });
    return bytes;
  }
  return *convert(bytes_of(units), "UTF-16LE", "CP936");
}

std::string utf8_to_cp936(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (all_ascii(utf8)) return std::string(utf8);
  return *convert(utf8, "UTF-8", "CP936");
}

std::string cp936_to_utf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (all_ascii(bytes)) return std::string(bytes);
  return *convert(bytes, "CP936", "UTF-8");
}

}  // namespace platform::codepage
