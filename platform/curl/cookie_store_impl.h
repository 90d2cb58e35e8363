// The inside of CookieStore, for the exchange that attaches it.
#pragma once

#include <array>
#include <mutex>

#include "platform/curl/cookie_store.h"
#include "platform/curl/handles.h"

namespace platform::curl {

struct CookieStore::Impl {
  // One mutex per kind of shared data, as libcurl may hold two kinds at once. Declared before
  // the share handle, which is cleaned up first and may still lock.
  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes;
  ShareHandle share;
};

}  // namespace platform::curl
