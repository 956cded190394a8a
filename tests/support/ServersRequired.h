#pragma once

#include <cstdlib>
#include <string_view>

namespace vantrix::test {

// Whether the test servers must be there: scripts/test starts them all and
// says so with VANTRIX_TEST_SERVERS_REQUIRED=1, so that a test that needs
// one fails instead of passing by skipping. Outside scripts/test such a
// test is skipped.
inline bool ServersRequired() {
  const char* value = std::getenv("VANTRIX_TEST_SERVERS_REQUIRED");
  return value && std::string_view(value) == "1";
}

}  // namespace vantrix::test

// Leaves the current test for want of something it needs: a failure when
// the test servers are required, a skip otherwise.
#define VANTRIX_MISSING(why)                            \
  do {                                                  \
    if (::vantrix::test::ServersRequired()) FAIL() << (why); \
    GTEST_SKIP() << (why);                              \
  } while (false)
