// The resident memory of the test process, for tests that bound how much a hostile input may
// make the program allocate (Linux /proc).
#pragma once

#include <fstream>
#include <string>

namespace test_support {

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:"); -1 when it cannot be read.
inline long status_kib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return -1;
}

// Starts a new peak of the resident set from the current one; false where Linux does not allow
// it.
inline bool reset_peak_rss() {
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  clear_refs.flush();
  return static_cast<bool>(clear_refs);
}

}  // namespace test_support
