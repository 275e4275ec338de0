#pragma once
// Runs an action of the window over one of its lists (fixing the checked errors, restoring the
// checked records) on a worker, so that the window keeps painting and shows progress while
// tens of thousands of rows are done.
//
// The action works on a copy of the list's rows, which the worker makes when it starts; the
// list on the page stays as it is until the action has ended, and then takes the copy's rows in
// one step. So the rows, their order and everything the action writes are exactly what the action
// would have left running on the page's list, and the view sees one reset instead of a signal
// per row. While the action runs, the caller may only read the list (the view paints it), and
// must leave whatever else the action works on alone.

#include "lists/CheckableList.h"
#include "repair/ActionResult.h"

#include <functional>
#include <memory>
#include <thread>

namespace tw::worker {
class UiDispatcher;
class TBMDThread;
} // namespace tw::worker

namespace tw::app {

class ListActionThread {
public:
  /// The work; runs on the worker over the copy of the list.
  using Action = std::function<repair::ActionResult(lists::CheckableList &rows)>;
  /// Told on the UI thread, every few dozen milliseconds, how much is done (0 to 100).
  using Progress = std::function<void(int percent)>;
  /// Told on the UI thread once the list shows the result.
  using Finished = std::function<void(const repair::ActionResult &result)>;

  /// `dispatcher` must outlive the object.
  explicit ListActionThread(worker::UiDispatcher &dispatcher);
  /// Waits for a running action to end, handling events meanwhile; its list is then not
  /// updated and `Finished` is not called.
  ~ListActionThread();
  ListActionThread(const ListActionThread &) = delete;
  ListActionThread &operator=(const ListActionThread &) = delete;

  bool isRunning() const;

  /// Starts `action` over a copy of `list`; progress counts the rows the action removes
  /// against the checked rows. Returns false, doing nothing, while an action runs.
  bool start(lists::CheckableList &list, Action action, Progress progress, Finished finished);

private:
  std::unique_ptr<worker::TBMDThread> m_thread;
  lists::CheckableList *m_list = nullptr;
  std::unique_ptr<lists::CheckableList> m_rows;
  Action m_action;
  Progress m_progress;
  Finished m_finished;
  int m_total = 0;
  repair::ActionResult m_result;
  /// Frees the rows the list held before the last action.
  std::thread m_disposal;
};

} // namespace tw::app
