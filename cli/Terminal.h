#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// What vantrix-diff does on a terminal: a progress line while a side is
// read, and a password prompt that does not echo.
namespace vantrix::cli {

bool IsTerminal(int fd);

// Writes `prompt` to standard error, reads one line from standard input
// (a terminal) with echo off and gives it back without its line break.
// The terminal's settings are restored afterwards, also when the program
// is interrupted while waiting. None at end of input or on failure.
std::optional<std::string> PromptPassword(const std::string& prompt);

// A line on a terminal (`fd`, standard error) that says what the program is
// waiting for: written only once `delay` has passed without Done(), so that
// quick work shows nothing, and erased by Done(). It is cut to the
// terminal's width so that erasing it erases all of it.
class ProgressLine {
public:
  ProgressLine(int fd, std::string text,
               std::chrono::milliseconds delay = std::chrono::milliseconds(500));
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Says something else from now on; a line already shown is written
  // again with the new text.
  void Update(std::string text);
  // Stops the timer and erases the line if it was written. Idempotent.
  void Done();

private:
  void Wait(std::chrono::milliseconds delay);

  // The line as shown, cut to the terminal's width.
  [[nodiscard]] std::string Fitted() const;

  const int fd_;
  std::string text_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool shown_ = false;
  std::thread timer_;
};

}  // namespace vantrix::cli
