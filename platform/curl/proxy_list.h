// The named-proxy list both request stacks take: entries separated by ';' or blanks, each
// "[scheme=]host[:port]" (a "scheme://" before the host is skipped; port 80 when left out).
// An entry with a scheme serves only that scheme, one without serves every scheme.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::curl {

struct ProxyEntry {
  std::string scheme;  // lower case; empty: every scheme
  std::string server;  // host:port
};

// The entries in their order; empty entries, and entries with nothing after the scheme, are
// left out.
std::vector<ProxyEntry> parse_proxy_list(std::string_view list);

// The server of the first entry naming `scheme` ("http" or "https"), else of the first entry
// without a scheme; empty when no entry serves it.
std::string proxy_for(const std::vector<ProxyEntry>& entries, std::string_view scheme);

}  // namespace platform::curl
