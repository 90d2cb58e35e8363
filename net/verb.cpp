#include "net/verb.h"

const char* verb_name(int verb) {
  static constexpr const char* kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                           "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  if (verb < 0 || verb > 7) return kVerbs[0];
  return kVerbs[verb];
}
