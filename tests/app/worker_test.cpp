// The worker component on a UI thread without a toolkit: which thread runs each event, the
// hand-off at the end of a run, the stop flag, groups and their counts.

#include "app/worker/TBMDThread.h"

#include "QueueDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tw::test::QueueDispatcher;
using tw::worker::TBMDExecuteThread;
using tw::worker::TBMDThread;
using tw::worker::TBMDThreadGroup;

namespace {

/// A latch the UI thread opens to let a worker go on.
class Gate {
public:
  void open() { m_open.store(true); }
  void waitOpen() const {
    while (!m_open.load()) std::this_thread::sleep_for(1ms);
  }

private:
  std::atomic<bool> m_open{false};
};

class WorkerTest : public ::testing::Test {
protected:
  QueueDispatcher ui;
  std::vector<std::string> events; // written on the UI thread only
  std::thread::id uiThread = std::this_thread::get_id();

  /// Binds OnStart/OnTerminate to record "start"/"terminate" and check the thread they run on.
  void recordUiEvents(TBMDThread &t, const std::string &suffix = "") {
    t.OnStart = [this, suffix](TBMDThread &, TBMDExecuteThread &, void *&) {
      EXPECT_EQ(std::this_thread::get_id(), uiThread);
      events.push_back("start" + suffix);
    };
    t.OnTerminate = [this, suffix](TBMDThread &, TBMDExecuteThread &, void *&) {
      EXPECT_EQ(std::this_thread::get_id(), uiThread);
      events.push_back("terminate" + suffix);
    };
  }

  bool finishes(TBMDThread &t) {
    return ui.processUntil([&] { return !t.IsRunning(); });
  }
};

} // namespace

TEST_F(WorkerTest, RunsExecuteOnWorkerAndReportsStartAndEndOnUiThread) {
  TBMDThread t(ui);
  recordUiEvents(t);
  std::atomic<bool> onWorker{false};
  int payload = 7;
  t.OnExecute = [&](TBMDThread &sender, TBMDExecuteThread &worker, void *&data) {
    onWorker.store(std::this_thread::get_id() != uiThread && &sender == &t &&
                   &worker.Owner() == &t && data == &payload);
    static int replaced = 0;
    data = &replaced; // a handler may replace Data; OnTerminate sees the new one
  };
  void *seenAtEnd = nullptr;
  t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&data) { seenAtEnd = data; };

  t.Start(&payload);
  EXPECT_TRUE(t.IsRunning());
  ASSERT_TRUE(finishes(t));
  EXPECT_TRUE(onWorker.load());
  ASSERT_NE(seenAtEnd, nullptr);
  EXPECT_NE(seenAtEnd, &payload);
}

TEST_F(WorkerTest, EndOfRunWaitsForTheUiThread) {
  TBMDThread t(ui);
  std::atomic<bool> executeReturned{false};
  bool terminated = false;
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { executeReturned.store(true); };
  t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    // The worker object is still valid during the call.
    terminated = !worker.Terminated() && !t.IsRunning();
  };
  t.Start();
  while (!executeReturned.load()) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  // Without the UI thread handling events the run cannot end.
  EXPECT_TRUE(t.IsRunning());
  EXPECT_FALSE(terminated);
  ASSERT_TRUE(finishes(t));
  EXPECT_TRUE(terminated);
}

TEST_F(WorkerTest, StartWhileRunningIsIgnored) {
  TBMDThread t(ui);
  recordUiEvents(t);
  Gate gate;
  std::atomic<int> runs{0};
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) {
    ++runs;
    gate.waitOpen();
  };
  t.Start();
  t.Start();
  t.Start();
  gate.open();
  ASSERT_TRUE(finishes(t));
  ui.processFor(20ms);
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "terminate"}));
}

TEST_F(WorkerTest, StopBeforeTheWorkerRunsSkipsExecuteButNotTerminate) {
  TBMDThread t(ui);
  std::atomic<bool> executed{false};
  bool terminated = false;
  // OnStart runs before the worker is resumed: a Stop there is a stop before its first moment.
  t.OnStart = [&](TBMDThread &sender, TBMDExecuteThread &, void *&) { sender.Stop(); };
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { executed.store(true); };
  t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&) { terminated = true; };
  t.Start();
  ASSERT_TRUE(finishes(t));
  EXPECT_FALSE(executed.load());
  EXPECT_TRUE(terminated);
}

TEST_F(WorkerTest, StopOnlyRaisesTheFlagAndTerminateFollowsExecute) {
  TBMDThread t(ui);
  recordUiEvents(t);
  t.Stop(); // idle: nothing
  EXPECT_TRUE(events.empty());

  std::atomic<bool> sawStop{false};
  std::atomic<bool> running{false};
  Gate leave;
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    running.store(true);
    while (!worker.Terminated()) std::this_thread::sleep_for(1ms);
    sawStop.store(true);
    leave.waitOpen(); // keeps OnExecute busy after it saw the stop
  };
  t.Start();
  while (!running.load()) std::this_thread::sleep_for(1ms);
  t.Stop(); // returns while OnExecute still runs: it only raises the flag
  while (!sawStop.load()) std::this_thread::sleep_for(1ms);
  ui.processFor(20ms);
  EXPECT_TRUE(t.IsRunning());
  EXPECT_EQ(events, (std::vector<std::string>{"start"}));
  leave.open();
  ASSERT_TRUE(finishes(t));
  EXPECT_EQ(events, (std::vector<std::string>{"start", "terminate"}));
}

TEST_F(WorkerTest, StartFromInsideTerminateStartsANewRun) {
  TBMDThread t(ui);
  std::atomic<int> runs{0};
  int terminates = 0;
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { ++runs; };
  t.OnTerminate = [&](TBMDThread &sender, TBMDExecuteThread &, void *&) {
    if (++terminates == 1) sender.Start();
  };
  t.Start();
  ASSERT_TRUE(ui.processUntil([&] { return terminates == 2; }));
  EXPECT_EQ(runs.load(), 2);
  EXPECT_FALSE(t.IsRunning());
}

TEST_F(WorkerTest, ErrorInExecuteIsKeptAndTerminateStillRuns) {
  TBMDThread t(ui);
  std::string kept;
  t.OnExecute = [](TBMDThread &, TBMDExecuteThread &, void *&) {
    throw std::runtime_error("Invalid data type for 'Path'");
  };
  t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    try {
      if (worker.FatalException()) std::rethrow_exception(worker.FatalException());
    } catch (const std::exception &e) {
      kept = e.what();
    }
  };
  t.Start();
  ASSERT_TRUE(finishes(t));
  EXPECT_EQ(kept, "Invalid data type for 'Path'");
}

TEST_F(WorkerTest, FailingStartHandlerLeavesNoWorkerBehind) {
  TBMDThread t(ui);
  std::atomic<bool> executed{false};
  int terminates = 0;
  t.OnStart = [](TBMDThread &, TBMDExecuteThread &, void *&) { throw std::runtime_error("x"); };
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { executed.store(true); };
  t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&) { ++terminates; };
  EXPECT_THROW(t.Start(), std::runtime_error);
  ASSERT_TRUE(finishes(t));
  EXPECT_FALSE(executed.load());
  EXPECT_EQ(terminates, 1);
}

TEST_F(WorkerTest, DestructionWaitsForTheLoopToSeeTheStopAndSkipsTerminate) {
  std::atomic<bool> sawStop{false};
  std::atomic<bool> running{false};
  int terminates = 0;
  {
    TBMDThread t(ui);
    t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
      running.store(true);
      while (!worker.Terminated()) std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(30ms); // the loop finishes its current entry
      sawStop.store(true);
    };
    t.OnTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&) { ++terminates; };
    t.Start();
    while (!running.load()) std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(sawStop.load());
  EXPECT_EQ(terminates, 0);
}

TEST_F(WorkerTest, SuspendedWorkerPausesAtTheFlagAndDestructionStillEnds) {
  std::atomic<int> polls{0};
  {
    TBMDThread t(ui);
    t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
      while (!worker.Terminated()) {
        ++polls;
        std::this_thread::sleep_for(1ms);
      }
    };
    t.Start();
    while (polls.load() < 3) std::this_thread::sleep_for(1ms);
    t.Suspend();
    std::this_thread::sleep_for(10ms); // the poll under way completes
    const int atSuspend = polls.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_LE(polls.load(), atSuspend + 1);
    t.Resume();
    const int atResume = polls.load();
    while (polls.load() < atResume + 3) std::this_thread::sleep_for(1ms);
    t.Suspend();
  } // destroyed while suspended: it must be resumed to see the stop, or this never returns
  EXPECT_GT(polls.load(), 5);
}

TEST_F(WorkerTest, UpdateTimerReportsPercentOnlyWhileRunning) {
  TBMDThread t(ui);
  t.setRefreshInterval(5);
  t.setUpdateEnabled(true);
  std::vector<int> percents;
  t.OnUpdate = [&](TBMDThread &, TBMDExecuteThread &, void *&, std::int32_t percent) {
    EXPECT_EQ(std::this_thread::get_id(), uiThread);
    percents.push_back(percent);
  };
  ui.processFor(20ms);
  EXPECT_TRUE(percents.empty()) << "no worker, no update";

  Gate done;
  t.OnExecute = [&](TBMDThread &, TBMDExecuteThread &worker, void *&) {
    worker.setPercent(42);
    done.waitOpen();
  };
  t.Start();
  ASSERT_TRUE(ui.processUntil([&] { return !percents.empty() && percents.back() == 42; }));
  done.open();
  ASSERT_TRUE(finishes(t));
  const auto count = percents.size();
  ui.processFor(20ms);
  EXPECT_EQ(percents.size(), count);
}

TEST_F(WorkerTest, GroupCountsOverlappingRunsAndFiresAtFirstStartAndLastEnd) {
  TBMDThreadGroup group;
  TBMDThread a(ui), b(ui);
  a.setThreadGroup(&group);
  b.setThreadGroup(&group);
  ASSERT_EQ(group.Members().size(), 2u);

  std::vector<std::string> groupEvents;
  group.OnStart = [&](TBMDThread &sender, TBMDExecuteThread &, void *&) {
    groupEvents.push_back(&sender == &a ? "start a" : "start b");
  };
  group.OnTerminate = [&](TBMDThread &sender, TBMDExecuteThread &, void *&) {
    groupEvents.push_back(&sender == &a ? "terminate a" : "terminate b");
  };
  int threadStarts = 0, threadTerminates = 0;
  group.OnThreadStart = [&](TBMDThread &, TBMDExecuteThread &, void *&) {
    ++threadStarts;
    EXPECT_GE(group.RunningCount(), 1); // the lock is re-entrant
  };
  group.OnThreadTerminate = [&](TBMDThread &, TBMDExecuteThread &, void *&) { ++threadTerminates; };

  Gate releaseA, releaseB;
  a.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { releaseA.waitOpen(); };
  b.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { releaseB.waitOpen(); };

  a.Start();
  b.Start();
  EXPECT_EQ(group.RunningCount(), 2);
  EXPECT_TRUE(group.IsRunning());
  releaseA.open();
  ASSERT_TRUE(finishes(a));
  EXPECT_EQ(group.RunningCount(), 1);
  releaseB.open();
  ASSERT_TRUE(finishes(b));
  EXPECT_EQ(group.RunningCount(), 0);
  EXPECT_EQ(groupEvents, (std::vector<std::string>{"start a", "terminate b"}));
  EXPECT_EQ(threadStarts, 2);
  EXPECT_EQ(threadTerminates, 2);

  // Leaving and joining a running thread keeps the count right and never below 0.
  Gate releaseAgain;
  a.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { releaseAgain.waitOpen(); };
  a.Start();
  EXPECT_EQ(group.RunningCount(), 1);
  a.setThreadGroup(nullptr);
  EXPECT_EQ(group.RunningCount(), 0);
  releaseAgain.open();
  ASSERT_TRUE(finishes(a));
  EXPECT_EQ(group.RunningCount(), 0);
  a.setThreadGroup(&group);
  a.setThreadGroup(&group); // the same group again: nothing
  EXPECT_EQ(group.Members().size(), 2u);
}

TEST_F(WorkerTest, NestedGroupsTellTheParentAndRefuseCycles) {
  TBMDThreadGroup parent, child;
  TBMDThread t(ui);
  t.setThreadGroup(&child);
  child.setThreadGroup(&parent);
  EXPECT_EQ(parent.AllThreads(), std::vector<TBMDThread *>{&t});

  parent.setThreadGroup(&child); // a cycle: refused, parent belongs to no group
  EXPECT_EQ(parent.ThreadGroup(), nullptr);
  child.setThreadGroup(&child);
  EXPECT_EQ(child.ThreadGroup(), nullptr);
  child.setThreadGroup(&parent);

  std::vector<std::string> order;
  child.OnStart = [&](TBMDThread &, TBMDExecuteThread &, void *&) { order.push_back("child"); };
  parent.OnStart = [&](TBMDThread &, TBMDExecuteThread &, void *&) { order.push_back("parent"); };
  t.OnExecute = [](TBMDThread &, TBMDExecuteThread &, void *&) {};
  parent.Start(); // reaches t through child
  EXPECT_EQ(parent.RunningCount(), 1);
  EXPECT_EQ(child.RunningCount(), 1);
  // The parent chain is told before the child's own OnStart fires.
  EXPECT_EQ(order, (std::vector<std::string>{"parent", "child"}));
  ASSERT_TRUE(finishes(t));
  EXPECT_EQ(parent.RunningCount(), 0);
}

TEST_F(WorkerTest, DestroyingAParentKeepsTheSubGroupsThreads) {
  TBMDThreadGroup child;
  TBMDThread t(ui);
  t.setThreadGroup(&child);
  {
    TBMDThreadGroup parent;
    child.setThreadGroup(&parent);
  }
  EXPECT_EQ(child.ThreadGroup(), nullptr);
  EXPECT_EQ(t.ThreadGroup(), &child);
}

TEST_F(WorkerTest, GroupUpdateFollowsTheHighestRunningUpdatePriority) {
  TBMDThreadGroup group;
  TBMDThread low(ui), high(ui);
  low.setThreadGroup(&group);
  high.setThreadGroup(&group);
  high.setUpdatePriority(1);
  for (TBMDThread *t : {&low, &high}) {
    t->setRefreshInterval(5);
    t->setUpdateEnabled(true);
  }
  std::vector<TBMDThread *> groupUpdates;
  int threadUpdatesOfLow = 0;
  group.OnUpdate = [&](TBMDThread &sender, TBMDExecuteThread &, void *&, std::int32_t) {
    groupUpdates.push_back(&sender);
  };
  group.OnThreadUpdate = [&](TBMDThread &sender, TBMDExecuteThread &, void *&, std::int32_t) {
    if (&sender == &low) ++threadUpdatesOfLow;
  };
  Gate releaseLow, releaseHigh;
  low.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { releaseLow.waitOpen(); };
  high.OnExecute = [&](TBMDThread &, TBMDExecuteThread &, void *&) { releaseHigh.waitOpen(); };
  low.Start();
  high.Start();
  ASSERT_TRUE(ui.processUntil([&] { return threadUpdatesOfLow >= 3 && groupUpdates.size() >= 3; }));
  for (TBMDThread *sender : groupUpdates) EXPECT_EQ(sender, &high);

  releaseHigh.open();
  ASSERT_TRUE(finishes(high));
  groupUpdates.clear();
  ASSERT_TRUE(ui.processUntil([&] { return groupUpdates.size() >= 2; }));
  for (TBMDThread *sender : groupUpdates) EXPECT_EQ(sender, &low);
  releaseLow.open();
  ASSERT_TRUE(finishes(low));
}
