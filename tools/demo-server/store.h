#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace demo {

// Accounts and payment orders, in memory only. Every member may be called from any thread.
// Account names, passwords and tokens are compared as plain bytes.
class Store {
 public:
  enum class SignUp { created, exists, empty_value };
  enum class Login { ok, wrong_password, unknown_account, no_random };
  enum class Order { created, bad_sign, bad_price };

  SignUp sign_up(const std::string& uid, const std::string& pwd);

  // On `ok`, *token holds the account's fresh token, which replaces any earlier one;
  // otherwise *token is left unchanged.
  Login login(const std::string& uid, const std::string& pwd, std::string* token);

  // Requires the account's current token as `sign` and a price of the form 12 or 12.5 or 12.50,
  // above zero. On `created`, *order_id holds the new order's id; otherwise it is unchanged.
  Order create_order(const std::string& uid, const std::string& sign, const std::string& price,
                     std::string* order_id);

  // Cancels (forgets) an open order of that account; false when there is none with that id.
  bool cancel_order(const std::string& uid, const std::string& order_id);

  static bool valid_price(const std::string& price);

 private:
  struct Account {
    std::string password;
    std::string token;  // empty until the first login
  };
  struct OpenOrder {
    std::string uid;
    std::string price;
  };

  std::mutex mutex_;
  std::map<std::string, Account> accounts_;
  std::map<std::string, OpenOrder> orders_;
  std::uint64_t order_counter_ = 0;
};

// 32 lower-case hex digits from the kernel's CSPRNG; empty if it cannot be read.
std::optional<std::string> random_token();

}  // namespace demo
