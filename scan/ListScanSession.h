#pragma once
// A scan session that writes straight into the page's two lists, on the thread that runs the
// scan. tidewell-cli and the tests use it; the window hands the same updates to its UI thread
// instead.

#include "scan/ScanSession.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace tw::lists {
class CheckableList;
}

namespace tw::scan {

class ListScanSession : public ScanSession {
public:
  /// A session on `groups` (the twelve group rows) and `errors` (the sorted error list); both
  /// must outlive it. It ignores nothing until setIgnoreList is called.
  ListScanSession(lists::CheckableList &groups, lists::CheckableList &errors);

  /// The ignore list that every later error test uses; nullptr ignores nothing.
  void setIgnoreList(std::shared_ptr<const IgnoreIndex> ignoreList);
  /// Raises the stop flag; safe from any thread.
  void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
  /// Called with every status text (the status label), besides keeping the last one.
  void setStatusListener(std::function<void(const std::string &)> listener);
  /// The last status text written.
  const std::string &status() const { return m_status; }

  bool stopRequested() const override;
  bool isGroupChecked(int groupIndex) const override;
  void showStatus(const std::string &text) override;
  void setGroupErrorCount(int groupIndex, const std::string &text) override;
  void appendErrorRow(ErrorRow row) override;
  std::shared_ptr<const IgnoreIndex> ignoreList() const override;

private:
  lists::CheckableList &m_groups;
  lists::CheckableList &m_errors;
  std::shared_ptr<const IgnoreIndex> m_ignoreList;
  std::atomic<bool> m_stop{false};
  std::string m_status;
  std::function<void(const std::string &)> m_statusListener;
};

} // namespace tw::scan
