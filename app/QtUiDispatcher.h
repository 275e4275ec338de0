#pragma once
// The workers' way to the UI thread, over Qt's event loop: posted tasks are queued events of one
// object that lives on the UI thread, so they run in the order they were posted.

#include "app/worker/UiDispatcher.h"

#include <QObject>

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
  QObject m_receiver;
};

} // namespace tw::app
