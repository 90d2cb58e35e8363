#include "platform/curl/cookie_store.h"

#include <array>
#include <mutex>

#include "platform/curl/cookie_store_impl.h"

namespace platform::curl {
namespace {

void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<CookieStore::Impl*>(user)->mutexes[data].lock();
}

void unlock(CURL*, curl_lock_data data, void* user) {
  static_cast<CookieStore::Impl*>(user)->mutexes[data].unlock();
}

}  // namespace

CookieStore::CookieStore() : impl_(std::make_unique<Impl>()) {
  ensure_global_init();
  ShareHandle share(curl_share_init());
  if (!share) return;
  const bool ok =
      curl_share_setopt(share.get(), CURLSHOPT_LOCKFUNC, lock) == CURLSHE_OK &&
      curl_share_setopt(share.get(), CURLSHOPT_UNLOCKFUNC, unlock) == CURLSHE_OK &&
      curl_share_setopt(share.get(), CURLSHOPT_USERDATA, impl_.get()) == CURLSHE_OK &&
      curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK;
  if (ok) impl_->share = std::move(share);
}

CookieStore::~CookieStore() = default;

bool CookieStore::valid() const {
  return static_cast<bool>(impl_->share);
}

}  // namespace platform::curl
