#pragma once
// How a worker component reaches the UI thread without knowing the toolkit: the window hands the
// components an implementation over its event loop (app/QtUiDispatcher.h), the tests one over a
// plain task queue.

#include <functional>
#include <memory>

namespace tw::worker {

/// A repeating timer whose ticks run on the UI thread. Created stopped.
class UiTimer {
public:
  virtual ~UiTimer() = default;
  virtual void setInterval(int milliseconds) = 0;
  virtual int interval() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
};

class UiDispatcher {
public:
  virtual ~UiDispatcher() = default;

  /// True when the caller runs on the UI thread.
  virtual bool isUiThread() const = 0;

  /// Queues `task` to run on the UI thread after every task queued before it, and returns at
  /// once. Safe from any thread. Tasks queued once the dispatcher is gone are dropped.
  virtual void post(std::function<void()> task) = 0;

  /// Runs `task` on the UI thread and returns when it has run there; runs it at once when
  /// called on the UI thread. The UI thread must keep handling events meanwhile.
  void postAndWait(std::function<void()> task);

  /// Handles the events waiting on the UI thread, and waits for one if there are none. The UI
  /// thread calls it in a loop while it waits for a worker to end.
  virtual void processEvents() = 0;

  /// A timer on the UI thread that calls `tick` on every tick.
  virtual std::unique_ptr<UiTimer> createTimer(std::function<void()> tick) = 0;
};

} // namespace tw::worker
