#pragma once
// A UI thread without a toolkit for the worker tests: the thread that creates the dispatcher is
// the UI thread, posted tasks wait in a queue until it calls processEvents, and timers tick there.

#include "app/worker/UiDispatcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tw::test {

class QueueDispatcher : public worker::UiDispatcher {
public:
  QueueDispatcher() : m_uiThread(std::this_thread::get_id()) {}

  bool isUiThread() const override { return std::this_thread::get_id() == m_uiThread; }

  void post(std::function<void()> task) override {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
    m_posted.notify_all();
  }

  /// Runs the tasks waiting now and the timers that are due; waits up to 5 ms for a task when
  /// there is nothing to do.
  void processEvents() override {
    std::deque<std::function<void()>> tasks;
    {
      std::unique_lock lock(m_mutex);
      m_posted.wait_for(lock, std::chrono::milliseconds(5), [this] { return !m_tasks.empty(); });
      tasks.swap(m_tasks);
    }
    for (auto &task : tasks) task();
    tickDueTimers();
  }

  /// Handles events until `done` holds; false if it still does not after `timeout`.
  template <class Predicate>
  bool processUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      processEvents();
    }
    return true;
  }

  /// Handles events for `duration`.
  void processFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) processEvents();
  }

  std::unique_ptr<worker::UiTimer> createTimer(std::function<void()> tick) override {
    auto timer = std::make_unique<Timer>(*this, std::move(tick));
    m_timers.push_back(timer.get());
    return timer;
  }

private:
  class Timer : public worker::UiTimer {
  public:
    Timer(QueueDispatcher &owner, std::function<void()> tick)
        : m_owner(owner), m_tick(std::move(tick)) {}
    ~Timer() override { std::erase(m_owner.m_timers, this); }
    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override {
      m_enabled = enabled;
      m_due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_interval);
    }
    bool isEnabled() const override { return m_enabled; }

    QueueDispatcher &m_owner;
    std::function<void()> m_tick;
    int m_interval = 0;
    bool m_enabled = false;
    std::chrono::steady_clock::time_point m_due;
  };

  void tickDueTimers() {
    const auto now = std::chrono::steady_clock::now();
    for (Timer *t : std::vector<Timer *>(m_timers)) {
      // A tick may have destroyed another timer.
      if (std::find(m_timers.begin(), m_timers.end(), t) == m_timers.end()) continue;
      if (!t->m_enabled || now < t->m_due) continue;
      t->m_due = now + std::chrono::milliseconds(t->m_interval);
      t->m_tick();
    }
  }

  std::thread::id m_uiThread;
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<std::function<void()>> m_tasks;
  std::vector<Timer *> m_timers;
};

} // namespace tw::test
