#include "app/TraceScanFeed.h"

#include "app/worker/UiDispatcher.h"
#include "tools/uIE.h"

#include <cassert>
#include <utility>

namespace tw::app {

TraceScanFeed::TraceScanFeed(worker::UiDispatcher &dispatcher, lists::CheckableList &files,
                             std::function<void(const std::string &)> showText)
    : m_dispatcher(dispatcher), m_files(files), m_showText(std::move(showText)),
      m_self(std::make_shared<std::atomic<TraceScanFeed *>>(this)) {}

TraceScanFeed::~TraceScanFeed() { m_self->store(nullptr); }

void TraceScanFeed::appendRow(lists::Row row) {
  std::unique_lock lock(m_mutex);
  m_drained.wait(lock, [this] { return m_rows.size() < MaxQueuedRows; });
  m_text = row.subItem(tools::TraceFullPathSubItem) + row.subItem(tools::TraceFileNameSubItem);
  m_textChanged = true;
  // The UI thread took the last batch with its buffer; a new one is sized for a full batch.
  if (m_rows.capacity() == 0) m_rows.reserve(MaxQueuedRows);
  m_rows.push_back(std::move(row));
  scheduleFlush(lock);
}

void TraceScanFeed::showText(std::string text) {
  std::unique_lock lock(m_mutex);
  m_text = std::move(text);
  m_textChanged = true;
  scheduleFlush(lock);
}

void TraceScanFeed::scheduleFlush(std::unique_lock<std::mutex> &lock) {
  if (m_flushScheduled) return;
  m_flushScheduled = true;
  lock.unlock();
  m_dispatcher.post([self = m_self] {
    if (TraceScanFeed *feed = self->load()) feed->flush();
  });
  lock.lock();
}

void TraceScanFeed::flush() {
  assert(m_dispatcher.isUiThread() && "the page's lists belong to the UI thread");
  std::vector<lists::Row> rows;
  std::string text;
  bool textChanged = false;
  {
    std::lock_guard lock(m_mutex);
    rows.swap(m_rows);
    textChanged = std::exchange(m_textChanged, false);
    if (textChanged) text = m_text;
    m_flushScheduled = false;
  }
  m_drained.notify_all();
  m_files.appendRows(std::move(rows));
  if (textChanged && m_showText) m_showText(text);
}

} // namespace tw::app
