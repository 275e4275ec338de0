#include "app/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

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

QtUiDispatcher::QtUiDispatcher() = default;

QtUiDispatcher::~QtUiDispatcher() = default;

bool QtUiDispatcher::isUiThread() const { return QThread::currentThread() == m_receiver.thread(); }

void QtUiDispatcher::post(std::function<void()> task) {
  QMetaObject::invokeMethod(&m_receiver, std::move(task), Qt::QueuedConnection);
}

void QtUiDispatcher::processEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<worker::UiTimer> QtUiDispatcher::createTimer(std::function<void()> tick) {
  return std::make_unique<QtUiTimer>(std::move(tick));
}

} // namespace tw::app
