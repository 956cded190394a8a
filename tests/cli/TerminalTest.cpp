// The progress line: nothing while work is quick, the line once the delay
// has passed, erased when the work is done. Driven through a pipe, which
// the line treats as an 80-column terminal.
#include "cli/Terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vantrix::cli {
namespace {

class ProgressLineTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(pipe2(fds_, O_CLOEXEC), 0); }
  void TearDown() override {
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  // Reads until `size` bytes have come.
  std::string Read(std::size_t size) {
    std::string text;
    while (text.size() < size) {
      char buffer[512];
      const ssize_t n = read(fds_[0], buffer, std::min(sizeof buffer, size - text.size()));
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
  // Everything left, once the writing end is closed.
  std::string Rest() {
    close(fds_[1]);
    fds_[1] = -1;
    return Read(static_cast<std::size_t>(-1) / 2);
  }
  int fds_[2] = {-1, -1};
};

TEST_F(ProgressLineTest, ShownOnceTheDelayHasPassedAndErasedWhenDone) {
  ProgressLine line(fds_[1], "Reading DB 1 (sqlite:/x.db)...", std::chrono::milliseconds(0));
  EXPECT_EQ(Read(30), "Reading DB 1 (sqlite:/x.db)...");
  line.Done();
  line.Done();
  EXPECT_EQ(Rest(), "\r\033[K");
}

TEST_F(ProgressLineTest, QuickWorkShowsNothing) {
  { ProgressLine line(fds_[1], "Reading DB 2 (mysql://h/db)...", std::chrono::hours(1)); }
  EXPECT_EQ(Rest(), "");
}

TEST_F(ProgressLineTest, ALongLineIsCutToTheWidthCountingCharactersNotBytes) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "\xC3\xA9";  // é
  ProgressLine line(fds_[1], text, std::chrono::milliseconds(0));
  const std::string shown = Read(79 * 2);
  line.Done();
  EXPECT_EQ(shown, text.substr(0, 79 * 2));
  EXPECT_EQ(Rest(), "\r\033[K");
}

}  // namespace
}  // namespace vantrix::cli
