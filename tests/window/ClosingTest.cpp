// Closing the main window while a Compare waits on a server that has stopped
// answering ends the program at once, with status 0, in a process of its
// own (ClosingChild.cpp) built with the same sanitizers as the tests.
#include <gtest/gtest.h>

#include <chrono>

#include "Process.h"

namespace vantrix::test {
namespace {

// The engines wait 10 s for a server's answer; a program that waited for
// the Compare to give up would take at least that long.
constexpr auto kAtOnce = std::chrono::seconds(5);

TEST(ClosingTest, ClosingTheWindowDuringACompareEndsTheProgramAtOnceWithStatusZero) {
  Process child(VANTRIX_CLOSING_CHILD, {}, {});
  ASSERT_TRUE(child.WaitForErr("closing\n")) << child.Finish().err;
  const auto closed = std::chrono::steady_clock::now();
  ASSERT_TRUE(child.WaitForErr("quit ")) << child.Finish().err;
  const auto quit = std::chrono::steady_clock::now();
  const Outcome outcome = child.Finish();

  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_LT(quit - closed, kAtOnce) << outcome.err;
  EXPECT_NE(outcome.err.find("quit 0\n"), std::string::npos) << outcome.err;
  // The program quit while the Compare still waited on the server, which
  // then went away; the reading ended afterwards without touching anything
  // of the closed window (the sanitizers would have said so).
  EXPECT_NE(outcome.err.find("still waiting 1\n"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("reading ended\n"), std::string::npos) << outcome.err;
  EXPECT_EQ(outcome.err.find("ERROR: AddressSanitizer"), std::string::npos) << outcome.err;
}

}  // namespace
}  // namespace vantrix::test
