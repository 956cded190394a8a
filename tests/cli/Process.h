#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrix::test {

// What a finished program left behind.
struct Outcome {
  int status = -1;  // the exit status; 128 + the signal when a signal ended it
  std::string out;  // standard output (from the terminal when it was one)
  std::string err;  // standard error
  // What the program left on the terminal when standard input was one:
  // the echo of what was typed, if any.
  std::string terminal;
};

// A program run from a test, as a process of its own: arguments and
// environment as given, standard output and error captured. Standard input
// is a pipe fed with `input`, or, for the terminal cases, one end of a
// pseudo-terminal shared with standard output.
class Process {
public:
  struct Options {
    // Variables to set (a value) or remove (none) in the test's environment.
    std::map<std::string, std::optional<std::string>> env;
    std::string input;            // standard input, when it is a pipe
    bool stdinTerminal = false;   // standard input is the terminal
    bool stdoutTerminal = false;  // standard output is the terminal
    bool stderrTerminal = false;  // standard error is the terminal (read as `terminal`)
    std::string workDir;          // the program's working directory, if not ours
    std::string stdoutFile;       // standard output opened on this file, if given
  };

  Process(const std::string& program, const std::vector<std::string>& args, const Options& options);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Reads standard error until what was read holds `text`; false when the
  // stream ended first.
  bool WaitForErr(std::string_view text);
  // Reads the terminal until what was read holds `text`; false when the
  // terminal was closed first.
  bool WaitForTerminal(std::string_view text);
  [[nodiscard]] const std::string& TerminalSoFar() const { return outcome_.terminal; }
  // Whether the terminal echoes what is typed now (its settings as the
  // program left them).
  [[nodiscard]] bool TerminalEchoes() const;
  // Types on the terminal, as a user would.
  void Type(std::string_view text);
  // Sends the program a signal.
  void Signal(int signal);
  [[nodiscard]] pid_t Pid() const { return pid_; }
  // Reads everything to the end and waits for the program to exit.
  Outcome Finish();

private:
  void ReadAvailable(bool block);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  int terminal_ = -1;  // the pseudo-terminal's parent side
  int settings_ = -1;  // the same, kept open to read the settings after the end
  bool stdoutTerminal_ = false;
  Outcome outcome_;
  bool finished_ = false;
};

// vantrix-diff with arguments, an environment made reproducible (no
// VANTRIX_DB*_PASSWORD, NO_COLOR or PGPASSWORD from the test's own
// environment, SOURCE_DATE_EPOCH = 1720000000 = 2024-07-03T09:46:40Z), and
// `options` on top.
Outcome RunDiff(const std::vector<std::string>& args, Process::Options options = {});
Process::Options DiffOptions(Process::Options options = {});

// Runs a program to its end.
Outcome RunProcess(const std::string& program, const std::vector<std::string>& args,
                   const Process::Options& options = {});

}  // namespace vantrix::test
