#pragma once
// The road from a scan on the worker thread to the scan page on the UI thread. The worker's
// updates (error rows, group counts, the status text) wait here in the order it issued them and
// are applied on the UI thread in that order, in batches: one posted task applies every update
// waiting at that moment, with the rows between two other updates handed to the sorted error
// list at once. What the worker reads of the page (the group check marks, the ignore list) is
// mirrored here so that it can read it without touching the UI thread's lists.
//
// Toolkit-free: the UI thread is reached through a worker::UiDispatcher.

#include "lists/CheckableList.h"
#include "scan/ScanSession.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tw::worker {
class UiDispatcher;
class TBMDExecuteThread;
} // namespace tw::worker

namespace tw::app {

class ScanUpdateQueue {
public:
  /// Rows the worker may run ahead of the UI thread. It waits when this many are queued, so one
  /// batch, and so the longest pause of the event loop, stays small whatever the scan finds.
  static constexpr std::size_t MaxQueuedRows = 4096;

  /// Feeds `groups` (the twelve group rows) and `errors` (the sorted error list); `showStatus`
  /// writes the status label. All belong to the UI thread and must outlive the queue, as must
  /// `dispatcher`.
  ScanUpdateQueue(worker::UiDispatcher &dispatcher, lists::CheckableList &groups,
                  lists::CheckableList &errors, std::function<void(const std::string &)> showStatus);
  ~ScanUpdateQueue();
  ScanUpdateQueue(const ScanUpdateQueue &) = delete;
  ScanUpdateQueue &operator=(const ScanUpdateQueue &) = delete;

  // --- UI thread ---------------------------------------------------------------------------

  /// Copies the group rows' check marks for the worker to read; call after every change.
  void mirrorGroupChecks();
  /// Swaps in the ignore list that every later error test uses (nullptr ignores nothing).
  void setIgnoreList(std::shared_ptr<const scan::IgnoreIndex> ignoreList);
  /// Applies every update waiting now. The scan's end calls it so that nothing of the run is
  /// left behind.
  void flush();
  /// Rows the worker has queued that have not reached the list yet (from any thread).
  std::size_t queuedRowCount() const;

  // --- worker thread (through the session) --------------------------------------------------

  bool isGroupChecked(int groupIndex) const;
  std::shared_ptr<const scan::IgnoreIndex> ignoreList() const;
  void showStatus(const std::string &text);
  void setGroupErrorCount(int groupIndex, const std::string &text);
  /// Queues a row; waits while MaxQueuedRows rows wait already (the UI thread keeps applying
  /// them, also while it waits for the worker to end).
  void appendErrorRow(scan::ErrorRow row);

private:
  struct Update {
    int groupIndex = -1; ///< a group count when >= 0, otherwise an error row
    std::string countText;
    lists::Row row; ///< made on the worker, so the UI thread only places it
  };

  void enqueue(Update update, std::unique_lock<std::mutex> &lock);
  void scheduleFlush(std::unique_lock<std::mutex> &lock);

  worker::UiDispatcher &m_dispatcher;
  lists::CheckableList &m_groups;
  lists::CheckableList &m_errors;
  std::function<void(const std::string &)> m_showStatus;

  std::array<std::atomic<bool>, 12> m_groupChecked{};

  mutable std::mutex m_ignoreMutex;
  std::shared_ptr<const scan::IgnoreIndex> m_ignoreList;

  mutable std::mutex m_mutex;
  std::condition_variable m_drained;
  std::vector<Update> m_updates;
  std::size_t m_queuedRows = 0;
  std::string m_status;
  bool m_statusChanged = false;
  bool m_flushScheduled = false;
  /// Shared with the posted flush tasks, which may outlive the queue in the event loop.
  std::shared_ptr<std::atomic<ScanUpdateQueue *>> m_self;
};

/// The session of one scan run: what the scan body sees of the page, through the queue, with
/// the run's worker for the stop flag. Lives on the worker thread for the run.
class WindowScanSession : public scan::ScanSession {
public:
  WindowScanSession(ScanUpdateQueue &queue, const worker::TBMDExecuteThread &worker);

  bool stopRequested() const override;
  bool isGroupChecked(int groupIndex) const override;
  void showStatus(const std::string &text) override;
  void setGroupErrorCount(int groupIndex, const std::string &text) override;
  void appendErrorRow(scan::ErrorRow row) override;
  std::shared_ptr<const scan::IgnoreIndex> ignoreList() const override;

private:
  ScanUpdateQueue &m_queue;
  const worker::TBMDExecuteThread &m_worker;
};

} // namespace tw::app
