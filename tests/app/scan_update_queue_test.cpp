// The road of a scan's updates from the worker to the page's lists: order, batching, the bound
// on rows waiting, the hand-off before the end of the run, and what the worker reads of the page.

#include "app/ScanUpdateQueue.h"

#include "QueueDispatcher.h"
#include "app/worker/TBMDThread.h"
#include "lists/CheckableList.h"
#include "scan/IgnoreIndex.h"
#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tw::app::ScanUpdateQueue;
using tw::app::WindowScanSession;
using tw::lists::CheckableList;
using tw::scan::ErrorRow;
using tw::worker::TBMDExecuteThread;
using tw::worker::TBMDThread;

namespace {

class ScanUpdateQueueTest : public ::testing::Test {
protected:
  tw::test::QueueDispatcher ui;
  CheckableList groups{false};
  CheckableList errors{true};
  std::vector<std::string> statusTexts;
  ScanUpdateQueue queue{ui, groups, errors,
                        [this](const std::string &text) { statusTexts.push_back(text); }};

  void SetUp() override {
    tw::scan::rebuildScanGroupList(groups);
    queue.mirrorGroupChecks();
  }

  static ErrorRow row(const std::string &type, const std::string &key) {
    return {type, key, "C:\\missing.exe", "c:\\missing.exe"};
  }

  std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (int i = 0; i < errors.count(); ++i) out.push_back(errors.row(i).caption);
    return out;
  }
};

} // namespace

TEST_F(ScanUpdateQueueTest, AppliesUpdatesInTheWorkersOrderOnTheUiThread) {
  std::thread worker([&] {
    queue.appendErrorRow(row("Uninstall", "HKEY_LOCAL_MACHINE\\U\\a"));
    queue.showStatus("HKEY_LOCAL_MACHINE\\U\\a");
    queue.setGroupErrorCount(10, "1");
    queue.appendErrorRow(row("Application", "HKEY_LOCAL_MACHINE\\A\\b"));
    queue.appendErrorRow(row("Shared DLLs", "HKEY_LOCAL_MACHINE\\S\\c"));
    queue.showStatus("HKEY_LOCAL_MACHINE\\S\\c");
    queue.setGroupErrorCount(0, "1");
  });
  worker.join();
  // Nothing reaches the lists before the UI thread handles its events.
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(groups.row(10).subItem(tw::scan::GroupCountSubItem), "0");

  ui.processEvents();
  EXPECT_EQ(captions(), (std::vector<std::string>{"Application", "Shared DLLs", "Uninstall"}));
  EXPECT_TRUE(errors.row(0).checked);
  EXPECT_EQ(errors.row(0).subItem(tw::scan::KeyNameSubItem), "HKEY_LOCAL_MACHINE\\A\\b");
  EXPECT_EQ(groups.row(10).subItem(tw::scan::GroupCountSubItem), "1");
  EXPECT_EQ(groups.row(0).subItem(tw::scan::GroupCountSubItem), "1");
  // The label shows the latest text; earlier ones could never be seen.
  ASSERT_FALSE(statusTexts.empty());
  EXPECT_EQ(statusTexts.back(), "HKEY_LOCAL_MACHINE\\S\\c");
}

TEST_F(ScanUpdateQueueTest, WorkerWaitsWhenTheUiThreadFallsBehind) {
  const std::size_t total = ScanUpdateQueue::MaxQueuedRows + 500;
  std::atomic<std::size_t> appended{0};
  std::thread worker([&] {
    for (std::size_t i = 0; i < total; ++i) {
      queue.appendErrorRow(row(i % 2 ? "Uninstall" : "Font File", "HKEY_CURRENT_USER\\k\\" + std::to_string(i)));
      ++appended;
    }
  });
  while (appended.load() < ScanUpdateQueue::MaxQueuedRows) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(appended.load(), ScanUpdateQueue::MaxQueuedRows) << "the worker ran ahead unbounded";
  EXPECT_TRUE(ui.processUntil([&] { return errors.count() == static_cast<int>(total); }));
  worker.join();
  EXPECT_EQ(errors.row(0).caption, "Font File");
  EXPECT_EQ(errors.row(errors.count() - 1).caption, "Uninstall");
}

TEST_F(ScanUpdateQueueTest, RowsOfARunArriveBeforeItsEnd) {
  TBMDThread thread(ui);
  const int rowsReported = 3000;
  int rowsAtEnd = -1;
  std::string countAtEnd;
  thread.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    WindowScanSession session(queue, worker);
    for (int i = 0; i < rowsReported; ++i)
      session.appendErrorRow(row(i % 3 ? "CLSID" : "Help File", "HKEY_CLASSES_ROOT\\CLSID\\" + std::to_string(i)));
    session.setGroupErrorCount(1, std::to_string(rowsReported));
  };
  // No explicit flush here: the order of posted work alone must bring every row first.
  thread.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&) {
    rowsAtEnd = errors.count();
    countAtEnd = groups.row(1).subItem(tw::scan::GroupCountSubItem);
  };
  thread.Start();
  ASSERT_TRUE(ui.processUntil([&] { return !thread.IsRunning(); }));
  EXPECT_EQ(rowsAtEnd, rowsReported);
  EXPECT_EQ(countAtEnd, std::to_string(rowsReported));
}

TEST_F(ScanUpdateQueueTest, SessionReadsStopFlagGroupChecksAndIgnoreList) {
  groups.setChecked(3, false);
  queue.mirrorGroupChecks();
  auto ignoreList = std::make_shared<const tw::scan::IgnoreIndex>(std::vector<tw::scan::IgnoreEntry>{
      {"HKEY_CURRENT_USER", "Software", "x"}});
  queue.setIgnoreList(ignoreList);

  TBMDThread thread(ui);
  std::atomic<bool> sawUnchecked{false}, sawChecked{false}, sawIgnore{false}, sawStop{false};
  std::atomic<bool> started{false};
  thread.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    WindowScanSession session(queue, worker);
    sawUnchecked = !session.isGroupChecked(3);
    sawChecked = session.isGroupChecked(2) && !session.isGroupChecked(12) && !session.isGroupChecked(-1);
    sawIgnore = session.ignoreList() == ignoreList && session.ignoreList()->ignores("HKEY_CURRENT_USER\\Software\\x");
    started = true;
    while (!session.stopRequested()) std::this_thread::sleep_for(1ms);
    sawStop = true;
  };
  thread.Start();
  while (!started.load()) std::this_thread::sleep_for(1ms);
  // A new list swapped in while the scan runs is what later error tests see.
  queue.setIgnoreList(nullptr);
  EXPECT_EQ(queue.ignoreList(), nullptr);
  thread.Stop();
  ASSERT_TRUE(ui.processUntil([&] { return !thread.IsRunning(); }));
  EXPECT_TRUE(sawUnchecked.load());
  EXPECT_TRUE(sawChecked.load());
  EXPECT_TRUE(sawIgnore.load());
  EXPECT_TRUE(sawStop.load());
}

TEST_F(ScanUpdateQueueTest, FlushTaskOutlivingTheQueueDoesNothing) {
  auto shortLived = std::make_unique<ScanUpdateQueue>(ui, groups, errors, nullptr);
  std::thread worker([&] { shortLived->appendErrorRow(row("Uninstall", "HKEY_LOCAL_MACHINE\\x\\y")); });
  worker.join();
  shortLived.reset(); // its flush task is still waiting in the event queue
  ui.processEvents();
  EXPECT_TRUE(errors.isEmpty());
}
