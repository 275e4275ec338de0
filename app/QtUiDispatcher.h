#pragma once
// The workers' way to the UI thread, over Qt's event loop. Posted tasks wait in a queue of our
// own, in the order they were posted, and a wake-up makes the UI thread's event loop run them.
// The wake-up carries no data: on Linux it is an eventfd that the event loop watches, so nothing
// allocated on a worker crosses to the UI thread behind Qt's uninstrumented locks, and thread
// checkers see every hand-over (the queue's mutex, the eventfd's write and read).

#include "app/worker/UiDispatcher.h"

#include <QObject>
#include <QSocketNotifier>

#include <deque>
#include <memory>
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
  /// Runs the tasks waiting at the wake-up one by one, so that a task which runs a nested event
  /// loop lets the tasks after it run in order there.
  void runPostedTasks();

  QObject m_receiver;
  int m_wakeFd = -1; ///< eventfd the UI thread's loop watches; -1 where there is none
  std::unique_ptr<QSocketNotifier> m_wakeNotifier;
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_tasks;
  bool m_wakePending = false;
};

} // namespace tw::app
