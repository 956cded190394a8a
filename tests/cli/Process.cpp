#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <tuple>

extern char** environ;

namespace vantrix::test {
namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed: " + std::strerror(errno));
}

std::vector<std::string> Environment(const Process::Options& options) {
  std::map<std::string, std::string> vars;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::size_t eq = text.find('=');
    if (eq != std::string::npos) vars[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> env;
  for (const auto& [name, value] : vars) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A pseudo-terminal of 80 columns whose output arrives unchanged (no
// "\r\n" for "\n"); its child side is opened but not made controlling.
std::pair<int, int> OpenTerminal() {
  const int parent = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  Check(parent >= 0, "posix_openpt");
  Check(grantpt(parent) == 0 && unlockpt(parent) == 0, "grantpt");
  char name[128];
  Check(ptsname_r(parent, name, sizeof name) == 0, "ptsname_r");
  const int child = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  Check(child >= 0, "open pts");
  termios settings{};
  Check(tcgetattr(child, &settings) == 0, "tcgetattr");
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  Check(tcsetattr(child, TCSANOW, &settings) == 0, "tcsetattr");
  winsize size{};
  size.ws_col = 80;
  size.ws_row = 24;
  ioctl(child, TIOCSWINSZ, &size);
  return {parent, child};
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const Options& options) {
  std::vector<std::string> argTexts = {program};
  argTexts.insert(argTexts.end(), args.begin(), args.end());
  std::vector<std::string> envTexts = Environment(options);
  std::vector<char*> argv = Pointers(argTexts);
  std::vector<char*> envp = Pointers(envTexts);
  const std::string workDir = options.workDir;
  int outFile = -1;
  if (!options.stdoutFile.empty()) {
    outFile = open(options.stdoutFile.c_str(), O_WRONLY | O_CLOEXEC);
    Check(outFile >= 0, "open the standard output file");
  }
  stdoutTerminal_ = options.stdoutTerminal;

  int out[2];
  int err[2];
  int in[2] = {-1, -1};
  Check(pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0, "pipe2");
  int terminalChild = -1;
  if (options.stdinTerminal || options.stdoutTerminal || options.stderrTerminal) {
    std::tie(terminal_, terminalChild) = OpenTerminal();
    settings_ = fcntl(terminal_, F_DUPFD_CLOEXEC, 0);
  }
  if (!options.stdinTerminal) Check(pipe2(in, O_CLOEXEC) == 0, "pipe2");

  pid_ = fork();
  Check(pid_ >= 0, "fork");
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    setsid();
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    dup2(options.stdinTerminal ? terminalChild : in[0], STDIN_FILENO);
    dup2(outFile >= 0 ? outFile : options.stdoutTerminal ? terminalChild : out[1], STDOUT_FILENO);
    dup2(options.stderrTerminal ? terminalChild : err[1], STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (outFile >= 0) close(outFile);
  if (terminalChild >= 0) close(terminalChild);
  outFd_ = out[0];
  errFd_ = err[0];
  if (options.stdoutTerminal) CloseFd(outFd_);
  if (options.stderrTerminal) CloseFd(errFd_);
  if (!options.stdinTerminal) {
    close(in[0]);
    std::string_view input = options.input;
    // Small inputs only: the pipe holds them whatever the program does.
    while (!input.empty()) {
      const ssize_t n = write(in[1], input.data(), input.size());
      if (n <= 0) break;
      input.remove_prefix(static_cast<std::size_t>(n));
    }
    close(in[1]);
  }
}

Process::~Process() {
  if (!finished_) {
    kill(pid_, SIGKILL);
    Finish();
  }
  if (settings_ >= 0) close(settings_);
}

void Process::ReadAvailable(bool block) {
  struct Stream {
    int* fd;
    std::string* text;
  };
  std::vector<Stream> streams;
  if (outFd_ >= 0) streams.push_back({&outFd_, &outcome_.out});
  if (errFd_ >= 0) streams.push_back({&errFd_, &outcome_.err});
  if (terminal_ >= 0) streams.push_back({&terminal_, &outcome_.terminal});
  if (streams.empty()) return;
  std::vector<pollfd> fds;
  for (const Stream& s : streams) fds.push_back({*s.fd, POLLIN, 0});
  const int ready = poll(fds.data(), fds.size(), block ? -1 : 0);
  if (ready < 0 && errno == EINTR) return;
  Check(ready >= 0, "poll");
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = read(*streams[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      streams[i].text->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      // The end, or EIO from a terminal nobody holds any more.
      CloseFd(*streams[i].fd);
    }
  }
}

bool Process::WaitForErr(std::string_view text) {
  while (outcome_.err.find(text) == std::string::npos) {
    if (errFd_ < 0) return false;
    ReadAvailable(true);
  }
  return true;
}

bool Process::WaitForTerminal(std::string_view text) {
  while (outcome_.terminal.find(text) == std::string::npos) {
    if (terminal_ < 0) return false;
    ReadAvailable(true);
  }
  return true;
}

bool Process::TerminalEchoes() const {
  termios settings{};
  Check(tcgetattr(settings_, &settings) == 0, "tcgetattr");
  return (settings.c_lflag & ECHO) != 0;
}

void Process::Type(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(terminal_, text.data(), text.size());
    Check(n > 0, "write to the terminal");
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void Process::Signal(int signal) { kill(pid_, signal); }

Outcome Process::Finish() {
  if (finished_) return outcome_;
  while (outFd_ >= 0 || errFd_ >= 0) ReadAvailable(true);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  // The program is gone: what it left on the terminal can be read now.
  while (terminal_ >= 0) ReadAvailable(true);
  finished_ = true;
  if (stdoutTerminal_) outcome_.out = std::move(outcome_.terminal);
  outcome_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome_;
}

Process::Options DiffOptions(Process::Options options) {
  for (const char* name : {"VANTRIX_DB1_PASSWORD", "VANTRIX_DB2_PASSWORD", "VANTRIX_VERIFY_PASSWORD",
                           "NO_COLOR", "PGPASSWORD",
                           "SOURCE_DATE_EPOCH"}) {
    options.env.try_emplace(name, std::nullopt);
  }
  if (!options.env.at("SOURCE_DATE_EPOCH")) options.env["SOURCE_DATE_EPOCH"] = "1720000000";
  return options;
}

Outcome RunDiff(const std::vector<std::string>& args, Process::Options options) {
  return RunProcess(VANTRIX_DIFF_BINARY, args, DiffOptions(std::move(options)));
}

Outcome RunProcess(const std::string& program, const std::vector<std::string>& args,
                   const Process::Options& options) {
  Process process(program, args, options);
  return process.Finish();
}

}  // namespace vantrix::test
