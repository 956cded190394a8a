#include "cli/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace vantrix::cli {
namespace {

// The temporary file to remove if a signal ends the program while it
// exists: a fixed buffer, since a signal handler may not allocate.
std::array<char, PATH_MAX> pendingPath{};
constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
std::array<struct sigaction, kSignals.size()> previousActions;

extern "C" void RemoveAndRaise(int signal) {
  if (pendingPath[0] != '\0') ::unlink(pendingPath.data());
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void Guard(const std::string& path) {
  if (path.size() >= pendingPath.size()) return;
  std::memcpy(pendingPath.data(), path.c_str(), path.size() + 1);
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    struct sigaction action {};
    action.sa_handler = RemoveAndRaise;
    sigemptyset(&action.sa_mask);
    sigaction(kSignals[i], &action, &previousActions[i]);
  }
}

void Unguard() {
  if (pendingPath[0] == '\0') return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    sigaction(kSignals[i], &previousActions[i], nullptr);
  }
  pendingPath[0] = '\0';
}

std::filesystem::path FolderOf(const std::string& target) {
  const std::filesystem::path folder = std::filesystem::path(target).parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// A target that is there and no regular file (/dev/null, a pipe, a
// terminal) is written to where it is: a file renamed over it would take
// the device's place.
bool InPlace(const std::string& target) {
  std::error_code ec;
  const auto status = std::filesystem::status(target, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
         !std::filesystem::is_directory(status);
}

}  // namespace

bool CanWriteReport(const std::string& target, std::string& reason) {
  std::error_code ec;
  if (std::filesystem::is_directory(target, ec)) {
    reason = "it is a folder";
    return false;
  }
  if (InPlace(target)) {
    if (::access(target.c_str(), W_OK) != 0) {
      reason = std::strerror(errno);
      return false;
    }
    return true;
  }
  const std::filesystem::path folder = FolderOf(target);
  if (!std::filesystem::is_directory(folder, ec)) {
    reason = "its folder \"" + folder.string() + "\" does not exist";
    return false;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    reason = "its folder \"" + folder.string() + "\": " + std::strerror(errno);
    return false;
  }
  return true;
}

ReportFile::~ReportFile() { Discard(); }

bool ReportFile::Open(const std::string& target, std::string& reason) {
  target_ = target;
  if (InPlace(target)) {
    inPlace_ = true;
    stream_.open(target, std::ios::binary | std::ios::out);
    if (!stream_) {
      reason = std::strerror(errno);
      return false;
    }
    return true;
  }
  const std::filesystem::path path(target);
  std::string pattern =
      (FolderOf(target) / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  // A report is as readable as any file made here, not only by its owner.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temporary_ = pattern;
  Guard(temporary_);
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) {
    reason = std::strerror(errno);
    Discard();
    return false;
  }
  return true;
}

bool ReportFile::Commit(std::string& reason) {
  errno = 0;
  stream_.flush();
  stream_.close();
  if (!stream_) {
    reason = errno != 0 ? std::strerror(errno) : "writing failed";
    Discard();
    return false;
  }
  if (inPlace_) return true;
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    reason = std::strerror(errno);
    Discard();
    return false;
  }
  temporary_.clear();
  Unguard();
  return true;
}

void ReportFile::Discard() {
  if (stream_.is_open()) stream_.close();
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  Unguard();
}

}  // namespace vantrix::cli
