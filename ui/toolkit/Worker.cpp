#include "ui/toolkit/Worker.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace vantrix::ui {

namespace {

// The count of worker threads still running. It is never freed: a thread
// abandoned when the program ends may still count itself out while the
// program's static objects are being destroyed.
struct Threads {
  std::mutex mutex;
  std::condition_variable ended;
  int alive = 0;
};

Threads& TheThreads() {
  static auto* threads = new Threads;
  return *threads;
}

}  // namespace

// What the thread and this object share. The lock makes "hand the end back"
// and "abandon" exclusive: once Abandon has taken it, the thread never
// reaches the receiver, which may then be destroyed.
struct Worker::Run {
  std::mutex mutex;
  bool abandoned = false;
  Worker* receiver = nullptr;
};

Worker::Worker(QObject* parent) : QObject(parent) {}

Worker::~Worker() { Abandon(); }

bool Worker::Start(std::function<void()> work, std::function<void()> done) {
  if (running_) return false;
  auto run = std::make_shared<Run>();
  run->receiver = this;
  Threads& threads = TheThreads();
  {
    const std::lock_guard lock(threads.mutex);
    ++threads.alive;
  }
  try {
    std::thread([run, work = std::move(work)]() mutable {
      work();
      // The work's data goes here, on its own thread: closing what it still
      // holds may take time.
      work = nullptr;
      {
        const std::lock_guard lock(run->mutex);
        if (!run->abandoned) {
          Worker* receiver = run->receiver;
          QMetaObject::invokeMethod(
              receiver, [receiver, run] { receiver->Finish(run); }, Qt::QueuedConnection);
        }
      }
      Threads& all = TheThreads();
      const std::lock_guard lock(all.mutex);
      --all.alive;
      all.ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the work cannot start.
    const std::lock_guard lock(threads.mutex);
    --threads.alive;
    return false;
  }
  running_ = std::move(run);
  done_ = std::move(done);
  return true;
}

bool Worker::Abandon() {
  if (!running_) return false;
  {
    const std::lock_guard lock(running_->mutex);
    running_->abandoned = true;
  }
  running_.reset();
  done_ = nullptr;
  return true;
}

void Worker::Finish(const std::shared_ptr<Run>& run) {
  // An end handed back just before its work was abandoned arrives late.
  if (run != running_) return;
  running_.reset();
  const std::function<void()> done = std::move(done_);
  done_ = nullptr;
  if (done) done();
}

int Worker::ThreadsAlive() {
  Threads& threads = TheThreads();
  const std::lock_guard lock(threads.mutex);
  return threads.alive;
}

bool Worker::WaitForThreads(std::chrono::milliseconds timeout) {
  Threads& threads = TheThreads();
  std::unique_lock lock(threads.mutex);
  return threads.ended.wait_for(lock, timeout, [&threads] { return threads.alive == 0; });
}

}  // namespace vantrix::ui
