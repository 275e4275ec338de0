#pragma once
// The workers' way to the UI thread, over Qt's event loop. Posted tasks wait in a queue of our
// own, in the order they were posted, and a queued event to an object on the UI thread runs
// them there. The queue's own mutex makes the hand-over of each task's data visible to thread
// checkers, which cannot see through Qt's event queue.

#include "app/worker/UiDispatcher.h"

#include <QObject>

#include <deque>
#include <mutex>

namespace tw::app {

class QtUiDispatcher : public worker::UiDispatcher {
public:
  /// A dispatcher for the thread that creates it, which must run Qt's event loop. It must
  /// outlive every component that uses it.
  QtUiDispatcher();
  ~QtUiDispatcher() override;

  bool isUiThread() const override;
  void post(std::function<void()> task) override;
  void processEvents() override;
  std::unique_ptr<worker::UiTimer> createTimer(std::function<void()> tick) override;

private:
  /// Runs the waiting tasks one by one, so that a task which runs a nested event loop lets the
  /// tasks after it run in order there.
  void runPostedTasks();

  QObject m_receiver;
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_tasks;
  bool m_wakePending = false;
};

} // namespace tw::app
