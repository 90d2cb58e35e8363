// An in-memory cookie store that exchanges can share (libcurl's cookie engine behind a share
// handle). An exchange without a store neither sends nor stores any cookie of its own.
#pragma once

#include <memory>

namespace platform::curl {

class CookieStore {
 public:
  CookieStore();
  ~CookieStore();
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // False when libcurl could not make the share handle; exchanges then ignore the store.
  bool valid() const;

  // Contract: the store outlives every exchange it is attached to. Safe to share between
  // threads (libcurl locks it through the store's own mutexes).
  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::curl
