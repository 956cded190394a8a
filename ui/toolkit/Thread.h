#pragma once

#include <functional>

#include <QThread>

namespace vantrix::ui {

// A worker thread whose body is a function set by its owner. Start runs
// Run once on the thread; starting a thread that is still running does
// nothing. The destructor waits for a running body to end.
class Thread : public QThread {
public:
  explicit Thread(QObject* parent = nullptr) : QThread(parent) {}
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() override { wait(); }

  std::function<void()> Run;
  // 5 is the normal priority.
  int Priority = 5;

  void Start() { start(Priority == 5 ? QThread::NormalPriority : QThread::InheritPriority); }

protected:
  void run() override {
    if (Run) Run();
  }
};

}  // namespace vantrix::ui
