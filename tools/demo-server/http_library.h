// cpp-httplib, and the <regex> it brings in, for the demo server and the tests that talk to it.
// Under the sanitizer instrumentation GCC 12 reports a false -Wmaybe-uninitialized inside
// libstdc++'s regex automaton (moving a std::function out of a state it has just built); it
// concerns the library's code only, so it is silenced around these two includes alone.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)  // clang knows no such warning
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <httplib.h>
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
