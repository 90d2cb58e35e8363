// RAII owners of the libcurl handles, and the once-per-process library initialisation.
// Internal to platform/curl (tests and benchmarks may use it too).
#pragma once

#include <curl/curl.h>

#include <utility>

namespace platform::curl {

// curl_global_init, once per process and thread-safe. libcurl is never cleaned up: it lives
// as long as the process.
void ensure_global_init();

// One owner of a libcurl handle: copy deleted, move nulls the source.
template <typename Handle, typename Free>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle* handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  Handle* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset() {
    if (handle_) Free{}(std::exchange(handle_, nullptr));
  }

 private:
  Handle* handle_ = nullptr;
};

struct FreeEasy {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct FreeMulti {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct FreeShare {
  void operator()(CURLSH* h) const { curl_share_cleanup(h); }
};
struct FreeList {
  void operator()(curl_slist* h) const { curl_slist_free_all(h); }
};

using EasyHandle = Owned<CURL, FreeEasy>;
using MultiHandle = Owned<CURLM, FreeMulti>;
using ShareHandle = Owned<CURLSH, FreeShare>;

// A curl_slist that grows at its end.
class HeaderList {
 public:
  // False when libcurl could not add the line; the list is unchanged then.
  bool append(const char* line) {
    curl_slist* grown = curl_slist_append(list_.get(), line);
    if (!grown) return false;
    if (!list_) list_ = Owned<curl_slist, FreeList>(grown);
    return true;
  }
  curl_slist* get() const { return list_.get(); }

 private:
  Owned<curl_slist, FreeList> list_;
};

}  // namespace platform::curl
