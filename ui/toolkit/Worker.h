#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QObject>

namespace vantrix::ui {

// Runs one piece of work at a time on a thread of its own, and hands its end
// back to the thread this object lives in (the user-interface thread), so
// that the window stays alive while a server keeps it waiting.
//
// The work gets values, never widgets: whatever it needs is copied into it
// before it starts, and whatever it finds is kept in its own data until its
// `done` runs here. Abandoning the work (or destroying this object) does not
// stop its thread, which may be blocked in a connection attempt: the thread
// runs on to its end by itself, releases the work's data there, and its end
// reaches nothing.
class Worker : public QObject {
  Q_OBJECT

public:
  explicit Worker(QObject* parent = nullptr);
  // Abandons the work in progress.
  ~Worker() override;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts `work` on a new thread; `done` runs on this object's thread once
  // the work has ended, unless it was abandoned first. Refused (false, and
  // nothing started) while other work is in progress.
  bool Start(std::function<void()> work, std::function<void()> done);
  // Work has started and neither ended nor been abandoned.
  [[nodiscard]] bool Running() const { return running_ != nullptr; }
  // Gives up the work in progress: its `done` never runs. Answers whether
  // there was any.
  bool Abandon();

  // Threads started by any Worker that have not ended yet, abandoned ones
  // included.
  static int ThreadsAlive();
  // Waits until no such thread is left, for at most `timeout`; answers
  // whether none is left.
  static bool WaitForThreads(std::chrono::milliseconds timeout);

private:
  struct Run;
  void Finish(const std::shared_ptr<Run>& run);

  std::shared_ptr<Run> running_;
  std::function<void()> done_;
};

}  // namespace vantrix::ui
