#include "platform/curl/proxy_list.h"

#include <algorithm>

namespace platform::curl {

std::vector<ProxyEntry> parse_proxy_list(std::string_view list) {
  std::vector<ProxyEntry> entries;
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = std::min(list.find_first_of("; \t", at), list.size());
    std::string_view entry = list.substr(at, end - at);
    at = end + 1;
    if (entry.empty()) continue;
    ProxyEntry parsed;
    if (const std::size_t equals = entry.find('='); equals != std::string_view::npos) {
      parsed.scheme = entry.substr(0, equals);
      for (char& c : parsed.scheme) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      entry.remove_prefix(equals + 1);
    }
    if (const std::size_t slashes = entry.find("://"); slashes != std::string_view::npos) {
      entry.remove_prefix(slashes + 3);
    }
    if (entry.empty()) continue;
    const std::size_t colon = entry.rfind(':');
    const bool has_port =
        colon != std::string_view::npos && entry.find(']', colon) == std::string_view::npos;
    parsed.server = entry;
    if (!has_port) parsed.server.append(":80");
    entries.push_back(std::move(parsed));
  }
  return entries;
}

std::string proxy_for(const std::vector<ProxyEntry>& entries, std::string_view scheme) {
  for (const ProxyEntry& entry : entries) {
    if (entry.scheme == scheme) return entry.server;
  }
  for (const ProxyEntry& entry : entries) {
    if (entry.scheme.empty()) return entry.server;
  }
  return {};
}

}  // namespace platform::curl
