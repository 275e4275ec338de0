#pragma once
// The road from a traces scan (or the deletion of a cleanup) on the worker thread to the traces
// page on the UI thread. Files found wait here and reach the file list in batches: one posted
// task hands over every row waiting at that moment. The worker waits while a full batch waits,
// so the UI thread never has more than one batch to place at a time, however large the folders.
// Only the latest progress text is kept; the label shows nothing older.
//
// Toolkit-free: the UI thread is reached through a worker::UiDispatcher.

#include "lists/CheckableList.h"

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
}

namespace tw::app {

class TraceScanFeed {
public:
  /// Rows the worker may run ahead of the UI thread.
  static constexpr std::size_t MaxQueuedRows = 4096;

  /// Feeds `files` (the file list) and `showText` (the progress label); both belong to the UI
  /// thread and must outlive the feed, as must `dispatcher`.
  TraceScanFeed(worker::UiDispatcher &dispatcher, lists::CheckableList &files,
                std::function<void(const std::string &)> showText);
  ~TraceScanFeed();
  TraceScanFeed(const TraceScanFeed &) = delete;
  TraceScanFeed &operator=(const TraceScanFeed &) = delete;

  // --- worker thread ---------------------------------------------------------------------
  /// Queues a row; the label will show its full path. Waits while MaxQueuedRows rows wait.
  void appendRow(lists::Row row);
  /// Sets the text the label shows next.
  void showText(std::string text);

  // --- UI thread -------------------------------------------------------------------------
  /// Hands every waiting row to the list and the latest text to the label.
  void flush();

private:
  void scheduleFlush(std::unique_lock<std::mutex> &lock);

  worker::UiDispatcher &m_dispatcher;
  lists::CheckableList &m_files;
  std::function<void(const std::string &)> m_showText;

  std::mutex m_mutex;
  std::condition_variable m_drained;
  std::vector<lists::Row> m_rows;
  std::string m_text;
  bool m_textChanged = false;
  bool m_flushScheduled = false;
  /// Shared with the posted flush tasks, which may outlive the feed in the event loop.
  std::shared_ptr<std::atomic<TraceScanFeed *>> m_self;
};

} // namespace tw::app
