#include "app/ListActionThread.h"

#include "app/worker/TBMDThread.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace tw::app {

namespace {
/// Counts the rows the action removes from its copy and hands the share done to the worker's
/// progress value, which the update timer carries to the UI thread.
class RemovalCounter : public lists::CheckableListObserver {
public:
  RemovalCounter(worker::TBMDExecuteThread &worker, int total) : m_worker(worker), m_total(total) {}

  void rowsAboutToBeRemoved(int first, int last) override {
    if (m_total <= 0) return;
    m_done += last - first + 1;
    m_worker.setPercent(static_cast<std::int32_t>(static_cast<long long>(m_done) * 100 / m_total));
  }
  void rowsAboutToBeInserted(int, int) override {}
  void rowsInserted() override {}
  void rowsRemoved() override {}
  void rowsChanged(int, int) override {}
  void aboutToReset() override {}
  void reset() override {}

private:
  worker::TBMDExecuteThread &m_worker;
  int m_total;
  int m_done = 0;
};

/// What an error that escaped the action says to the user.
std::string messageOf(const std::exception_ptr &error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception &e) {
    return std::string("The action stopped unexpectedly: ") + e.what() + ".";
  } catch (...) {
    return "The action stopped unexpectedly.";
  }
}
} // namespace

ListActionThread::ListActionThread(worker::UiDispatcher &dispatcher)
    : m_thread(std::make_unique<worker::TBMDThread>(dispatcher)) {
  // The progress is read a few times a second: often enough to follow, too seldom to cost.
  m_thread->setRefreshInterval(40);
  m_thread->setUpdateEnabled(true);
  m_thread->OnExecute = [this](worker::TBMDThread &, worker::TBMDExecuteThread &worker, void *&) {
    // Only read here: the page that shows the list is disabled until the action ends.
    m_rows = std::make_unique<lists::CheckableList>(m_list->copy());
    RemovalCounter counter(worker, m_total);
    m_rows->setObserver(&counter);
    m_result = m_action(*m_rows);
    m_rows->setObserver(nullptr);
  };
  m_thread->OnUpdate = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&,
                              std::int32_t percent) {
    if (m_progress) m_progress(percent);
  };
  m_thread->OnTerminate = [this](worker::TBMDThread &, worker::TBMDExecuteThread &worker, void *&) {
    repair::ActionResult result = std::move(m_result);
    if (const std::exception_ptr error = worker.FatalException()) {
      // The list stays as it was; what the action did before it stopped is not known here.
      result = repair::ActionResult();
      result.fail(repair::ActionResult::Status::RegistryRefused, messageOf(error));
    } else if (m_rows) {
      m_list->swapRows(*m_rows);
    }
    // The rows the list showed before go on a thread of their own: freeing tens of thousands of
    // them would hold up the window.
    m_disposal = std::thread([rows = std::move(m_rows)]() mutable { rows.reset(); });
    m_list = nullptr;
    m_action = nullptr;
    m_progress = nullptr;
    const Finished finished = std::exchange(m_finished, nullptr);
    if (finished) finished(result);
  };
}

ListActionThread::~ListActionThread() {
  m_thread.reset();
  if (m_disposal.joinable()) m_disposal.join();
}

bool ListActionThread::isRunning() const { return m_thread->IsRunning(); }

bool ListActionThread::start(lists::CheckableList &list, Action action, Progress progress,
                             Finished finished) {
  if (isRunning()) return false;
  if (m_disposal.joinable()) m_disposal.join();
  m_list = &list;
  m_total = static_cast<int>(list.checkedRows().size());
  m_action = std::move(action);
  m_progress = std::move(progress);
  m_finished = std::move(finished);
  m_result = repair::ActionResult::ok();
  m_thread->Start();
  return true;
}

} // namespace tw::app
