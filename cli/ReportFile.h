#pragma once

#include <fstream>
#include <string>

// A report written to a file whole or not at all: into a temporary file
// beside the target, renamed over the target once complete, so that a run
// that fails or is interrupted leaves an earlier report as it was. A target
// that is no regular file (/dev/null, a pipe) is written to directly.
namespace vantrix::cli {

// Whether a report could be written as `target`: its folder exists and is
// writable, and it is no folder itself. False with the reason.
bool CanWriteReport(const std::string& target, std::string& reason);

class ReportFile {
public:
  ReportFile() = default;
  ~ReportFile();  // removes the temporary file unless committed
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Makes the temporary file beside `target`; false with the reason. While
  // it exists, an interrupting signal removes it before the program ends.
  bool Open(const std::string& target, std::string& reason);
  std::ostream& Stream() { return stream_; }
  // Writes everything out and renames the file over the target; false
  // with the reason, the temporary file removed.
  bool Commit(std::string& reason);

private:
  void Discard();

  std::string target_;
  std::string temporary_;
  // The target is no regular file (/dev/null, a pipe): written directly.
  bool inPlace_ = false;
  std::ofstream stream_;
};

}  // namespace vantrix::cli
