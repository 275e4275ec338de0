#include "app/ScanUpdateQueue.h"

#include "app/worker/TBMDThread.h"
#include "app/worker/UiDispatcher.h"
#include "lists/CheckableList.h"
#include "scan/ScanLists.h"

#include <cassert>

namespace tw::app {

ScanUpdateQueue::ScanUpdateQueue(worker::UiDispatcher &dispatcher, lists::CheckableList &groups,
                                 lists::CheckableList &errors,
                                 std::function<void(const std::string &)> showStatus)
    : m_dispatcher(dispatcher), m_groups(groups), m_errors(errors),
      m_showStatus(std::move(showStatus)),
      m_self(std::make_shared<std::atomic<ScanUpdateQueue *>>(this)) {
  mirrorGroupChecks();
}

ScanUpdateQueue::~ScanUpdateQueue() { m_self->store(nullptr); }

void ScanUpdateQueue::mirrorGroupChecks() {
  for (std::size_t i = 0; i < m_groupChecked.size(); ++i) {
    const int row = static_cast<int>(i);
    m_groupChecked[i].store(row < m_groups.count() && m_groups.row(row).checked);
  }
}

void ScanUpdateQueue::setIgnoreList(std::shared_ptr<const scan::IgnoreIndex> ignoreList) {
  std::lock_guard lock(m_ignoreMutex);
  m_ignoreList = std::move(ignoreList);
}

bool ScanUpdateQueue::isGroupChecked(int groupIndex) const {
  if (groupIndex < 0 || static_cast<std::size_t>(groupIndex) >= m_groupChecked.size())
    return false;
  return m_groupChecked[static_cast<std::size_t>(groupIndex)].load();
}

std::shared_ptr<const scan::IgnoreIndex> ScanUpdateQueue::ignoreList() const {
  std::lock_guard lock(m_ignoreMutex);
  return m_ignoreList;
}

void ScanUpdateQueue::showStatus(const std::string &text) {
  std::unique_lock lock(m_mutex);
  // Only the latest text can be seen; the label is rewritten for every entry a scanner examines.
  m_status = text;
  m_statusChanged = true;
  scheduleFlush(lock);
}

void ScanUpdateQueue::setGroupErrorCount(int groupIndex, const std::string &text) {
  std::unique_lock lock(m_mutex);
  enqueue({groupIndex, text, {}}, lock);
}

void ScanUpdateQueue::appendErrorRow(scan::ErrorRow row) {
  std::unique_lock lock(m_mutex);
  m_drained.wait(lock, [this] { return m_queuedRows < MaxQueuedRows; });
  ++m_queuedRows;
  lock.unlock();
  lists::Row listRow = scan::makeErrorListRow(std::move(row));
  lock.lock();
  enqueue({-1, {}, std::move(listRow)}, lock);
}

void ScanUpdateQueue::enqueue(Update update, std::unique_lock<std::mutex> &lock) {
  // The UI thread took the last batch with its buffer; a new one is sized for a full batch.
  if (m_updates.capacity() == 0) m_updates.reserve(MaxQueuedRows);
  m_updates.push_back(std::move(update));
  scheduleFlush(lock);
}

void ScanUpdateQueue::scheduleFlush(std::unique_lock<std::mutex> &lock) {
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  lock.unlock();
  // Posted behind everything the worker has posted before, and before the end of its run.
  m_dispatcher.post([self = m_self] {
    if (ScanUpdateQueue *queue = self->load()) queue->flush();
  });
  lock.lock();
}

std::size_t ScanUpdateQueue::queuedRowCount() const {
  std::lock_guard lock(m_mutex);
  return m_queuedRows;
}

void ScanUpdateQueue::flush() {
  assert(m_dispatcher.isUiThread() && "the page's lists belong to the UI thread");
  std::vector<Update> updates;
  std::string status;
  bool statusChanged = false;
  {
    std::lock_guard lock(m_mutex);
    updates.swap(m_updates);
    m_queuedRows = 0;
    statusChanged = m_statusChanged;
    m_statusChanged = false;
    // Copied rather than taken, so that the worker's text keeps its buffer for the next entry.
    if (statusChanged) status = m_status;
    m_flushScheduled = false;
  }
  m_drained.notify_all();

  std::vector<lists::Row> rows;
  rows.reserve(updates.size());
  auto handOverRows = [&] {
    if (rows.empty()) return;
    m_errors.appendRows(std::move(rows));
    rows.clear();
  };
  for (Update &u : updates) {
    if (u.groupIndex < 0) {
      rows.push_back(std::move(u.row));
      continue;
    }
    handOverRows();
    if (u.groupIndex < m_groups.count())
      m_groups.setSubItem(u.groupIndex, scan::GroupCountSubItem, std::move(u.countText));
  }
  handOverRows();
  if (statusChanged && m_showStatus) m_showStatus(status);
}

// ---------------------------------------------------------------------------------------------

WindowScanSession::WindowScanSession(ScanUpdateQueue &queue, const worker::TBMDExecuteThread &worker)
    : m_queue(queue), m_worker(worker) {}

bool WindowScanSession::stopRequested() const { return m_worker.Terminated(); }

bool WindowScanSession::isGroupChecked(int groupIndex) const {
  return m_queue.isGroupChecked(groupIndex);
}

void WindowScanSession::showStatus(const std::string &text) { m_queue.showStatus(text); }

void WindowScanSession::setGroupErrorCount(int groupIndex, const std::string &text) {
  m_queue.setGroupErrorCount(groupIndex, text);
}

void WindowScanSession::appendErrorRow(scan::ErrorRow row) { m_queue.appendErrorRow(std::move(row)); }

std::shared_ptr<const scan::IgnoreIndex> WindowScanSession::ignoreList() const {
  return m_queue.ignoreList();
}

} // namespace tw::app
