#include "tools/demo-server/cp936.h"

#include <iconv.h>

#include <cerrno>

namespace demo {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  IconvHandle(IconvHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = invalid(); }
  IconvHandle& operator=(IconvHandle&&) = delete;

  bool valid() const { return handle_ != invalid(); }
  iconv_t get() const { return handle_; }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t handle_;
};

}  // namespace

std::optional<std::string> to_cp936(std::string_view utf8) {
  IconvHandle cd("CP936", "UTF-8");
  if (!cd.valid()) return std::nullopt;

  // No character takes more bytes in CP936 than in UTF-8.
  std::string out(utf8.size(), '\0');
  char* in_ptr = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  if (iconv(cd.get(), &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace demo
