#include "tools/demo-server/store.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace demo {

std::optional<std::string> random_token() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  token.reserve(2 * sizeof bytes);
  for (unsigned char b : bytes) {
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 0x0F]);
  }
  return token;
}

bool Store::valid_price(const std::string& price) {
  size_t i = 0;
  while (i < price.size() && price[i] >= '0' && price[i] <= '9') ++i;
  const size_t int_digits = i;
  if (int_digits == 0 || int_digits > 9) return false;
  size_t frac_digits = 0;
  if (i < price.size() && price[i] == '.') {
    ++i;
    while (i < price.size() && price[i] >= '0' && price[i] <= '9') ++i, ++frac_digits;
    if (frac_digits == 0 || frac_digits > 2) return false;
  }
  if (i != price.size()) return false;
  return price.find_first_of("123456789") != std::string::npos;
}

Store::SignUp Store::sign_up(const std::string& uid, const std::string& pwd) {
  if (uid.empty() || pwd.empty()) return SignUp::empty_value;
  std::lock_guard lock(mutex_);
  const bool inserted = accounts_.try_emplace(uid, Account{pwd, {}}).second;
  return inserted ? SignUp::created : SignUp::exists;
}

Store::Login Store::login(const std::string& uid, const std::string& pwd, std::string* token) {
  std::optional<std::string> fresh = random_token();
  std::lock_guard lock(mutex_);
  const auto it = accounts_.find(uid);
  if (it == accounts_.end()) return Login::unknown_account;
  if (it->second.password != pwd) return Login::wrong_password;
  if (!fresh) return Login::no_random;
  it->second.token = *fresh;
  *token = std::move(*fresh);
  return Login::ok;
}

Store::Order Store::create_order(const std::string& uid, const std::string& sign,
                                 const std::string& price, std::string* order_id) {
  std::lock_guard lock(mutex_);
  const auto account = accounts_.find(uid);
  if (account == accounts_.end() || account->second.token.empty() ||
      account->second.token != sign) {
    return Order::bad_sign;
  }
  if (!valid_price(price)) return Order::bad_price;

  // Local date and time plus a counter that never repeats within this process.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char id[48];
  const size_t date_len = std::strftime(id, sizeof id, "%Y%m%d%H%M%S", &local);
  std::snprintf(id + date_len, sizeof id - date_len, "%04llu",
                static_cast<unsigned long long>(++order_counter_));
  orders_.emplace(id, OpenOrder{uid, price});
  *order_id = id;
  return Order::created;
}

bool Store::cancel_order(const std::string& uid, const std::string& order_id) {
  std::lock_guard lock(mutex_);
  const auto it = orders_.find(order_id);
  if (it == orders_.end() || it->second.uid != uid) return false;
  orders_.erase(it);
  return true;
}

}  // namespace demo
