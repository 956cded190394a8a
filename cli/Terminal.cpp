#include "cli/Terminal.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>

namespace vantrix::cli {
namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The settings to restore if a signal ends the program during the prompt.
termios savedTermios;
constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
std::array<struct sigaction, kSignals.size()> previousActions;

extern "C" void RestoreAndRaise(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios);
  WriteAll(STDERR_FILENO, "\n");
  // Whatever was to happen on this signal before the prompt happens now.
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    if (kSignals[i] == signal) sigaction(signal, &previousActions[i], nullptr);
  }
  ::raise(signal);
}

void SetSignalHandlers(bool install) {
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    if (install) {
      struct sigaction action {};
      action.sa_handler = RestoreAndRaise;
      sigemptyset(&action.sa_mask);
      sigaction(kSignals[i], &action, &previousActions[i]);
    } else {
      sigaction(kSignals[i], &previousActions[i], nullptr);
    }
  }
}

// Bytes of UTF-8 text that fill at most `columns` characters.
std::size_t FitColumns(const std::string& text, std::size_t columns) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == columns) return i;
    ++characters;
  }
  return text.size();
}

}  // namespace

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

std::optional<std::string> PromptPassword(const std::string& prompt) {
  termios current{};
  if (tcgetattr(STDIN_FILENO, &current) != 0) return std::nullopt;
  savedTermios = current;
  termios silent = current;
  silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  silent.c_lflag |= ECHONL;
  SetSignalHandlers(true);
  // Echo goes off before the prompt appears, so nothing typed after it is
  // ever shown.
  if (tcsetattr(STDIN_FILENO, TCSANOW, &silent) != 0) {
    SetSignalHandlers(false);
    return std::nullopt;
  }
  WriteAll(STDERR_FILENO, prompt);
  std::string line;
  bool ended = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
      break;
    }
    if (c == '\n') break;
    line += c;
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &current);
  SetSignalHandlers(false);
  WriteAll(STDERR_FILENO, "\n");
  if (ended && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

ProgressLine::ProgressLine(int fd, std::string text, std::chrono::milliseconds delay)
    : fd_(fd), text_(std::move(text)) {
  timer_ = std::thread([this, delay] { Wait(delay); });
}

ProgressLine::~ProgressLine() { Done(); }

void ProgressLine::Wait(std::chrono::milliseconds delay) {
  std::unique_lock lock(mutex_);
  if (wake_.wait_for(lock, delay, [this] { return done_; })) return;
  WriteAll(fd_, Fitted());
  shown_ = true;
}

std::string ProgressLine::Fitted() const {
  std::size_t columns = 80;
  winsize size{};
  if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) columns = size.ws_col;
  // One column short of the width, so that the cursor stays on the line.
  return text_.substr(0, FitColumns(text_, columns - 1));
}

void ProgressLine::Update(std::string text) {
  std::lock_guard lock(mutex_);
  text_ = std::move(text);
  if (shown_ && !done_) WriteAll(fd_, "\r\033[K" + Fitted());
}

void ProgressLine::Done() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (timer_.joinable()) timer_.join();
  if (shown_) {
    WriteAll(fd_, "\r\033[K");
    shown_ = false;
  }
}

}  // namespace vantrix::cli
