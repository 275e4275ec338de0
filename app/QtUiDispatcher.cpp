#include "app/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#ifdef __linux__
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace tw::app {

namespace {
class QtUiTimer : public worker::UiTimer {
public:
  explicit QtUiTimer(std::function<void()> tick) {
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(tick));
  }
  void setInterval(int milliseconds) override { m_timer.setInterval(milliseconds); }
  int interval() const override { return m_timer.interval(); }
  void setEnabled(bool enabled) override {
    if (enabled)
      m_timer.start();
    else
      m_timer.stop();
  }
  bool isEnabled() const override { return m_timer.isActive(); }

private:
  QTimer m_timer;
};
} // namespace

QtUiDispatcher::QtUiDispatcher() {
#ifdef __linux__
  m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wakeFd < 0) return; // the queued-event wake-up below serves instead
  m_wakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
  QObject::connect(m_wakeNotifier.get(), &QSocketNotifier::activated, &m_receiver, [this] {
    std::uint64_t wakes = 0;
    // Resets the counter; every task posted so far runs below.
    [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &wakes, sizeof wakes);
    runPostedTasks();
  });
#endif
}

QtUiDispatcher::~QtUiDispatcher() {
  m_wakeNotifier.reset();
#ifdef __linux__
  if (m_wakeFd >= 0) ::close(m_wakeFd);
#endif
}

bool QtUiDispatcher::isUiThread() const { return QThread::currentThread() == m_receiver.thread(); }

void QtUiDispatcher::post(std::function<void()> task) {
  {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
    if (m_wakePending) return;
    m_wakePending = true;
  }
#ifdef __linux__
  if (m_wakeFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    return;
  }
#endif
  QMetaObject::invokeMethod(&m_receiver, [this] { runPostedTasks(); }, Qt::QueuedConnection);
}

void QtUiDispatcher::runPostedTasks() {
  // Only the tasks waiting now: a worker that keeps posting must not keep the event loop from
  // painting and from its timers. What it posts from here on comes with a wake-up of its own.
  std::size_t waiting = 0;
  {
    std::lock_guard lock(m_mutex);
    m_wakePending = false;
    waiting = m_tasks.size();
  }
  for (; waiting > 0; --waiting) {
    std::function<void()> task;
    {
      std::lock_guard lock(m_mutex);
      // A task that ran a nested event loop may have run the rest already.
      if (m_tasks.empty()) return;
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    task();
  }
}

void QtUiDispatcher::processEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<worker::UiTimer> QtUiDispatcher::createTimer(std::function<void()> tick) {
  return std::make_unique<QtUiTimer>(std::move(tick));
}

} // namespace tw::app
