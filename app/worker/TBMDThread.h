#pragma once
// The window's background worker: each Start runs OnExecute once on a fresh thread and reports
// the beginning and the end of the run through OnStart and OnTerminate on the UI thread. A
// TBMDThreadGroup counts the running threads of its members and tells when the first one starts
// and the last one ends.
//
// What the window relies on:
// - OnStart runs on the thread that called Start (the UI thread), before the worker begins;
// - OnExecute runs on the worker thread;
// - Stop only raises the worker's Terminated flag, which OnExecute polls; nothing is killed;
// - OnTerminate runs on the UI thread after OnExecute has returned (also by an exception, which
//   is kept, never shown), and the worker waits until it has run;
// - Start while a worker is alive does nothing at all.
//
// The component knows nothing of the toolkit: it reaches the UI thread through a UiDispatcher,
// which must outlive it. Everything but OnExecute and the worker's own calls (Terminated,
// Percent) belongs to the UI thread. Bind the handlers before the first Start.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tw::worker {

class UiDispatcher;
class UiTimer;
class TBMDThread;
class TBMDThreadGroup;
class TBMDExecuteThread;

/// Sender is the component whose run is concerned (for group events: the member thread), Thread
/// its worker, Data the argument of Start, by reference so that a handler can replace it.
using TBMDThreadDataNotifyEvent =
    std::function<void(TBMDThread &Sender, TBMDExecuteThread &Thread, void *&Data)>;
using TBMDThreadUpdateNotifyEvent = std::function<void(
    TBMDThread &Sender, TBMDExecuteThread &Thread, void *&Data, std::int32_t Percent)>;

/// Thread priority on a seven-step scale, 0 idle to 6 time-critical.
namespace priority {
inline constexpr int Idle = 0;
inline constexpr int Lowest = 1;
inline constexpr int Lower = 2;
inline constexpr int Normal = 3;
inline constexpr int Higher = 4;
inline constexpr int Highest = 5;
inline constexpr int TimeCritical = 6;
} // namespace priority

/// The worker of one run.
class TBMDExecuteThread {
public:
  TBMDExecuteThread(const TBMDExecuteThread &) = delete;
  TBMDExecuteThread &operator=(const TBMDExecuteThread &) = delete;
  ~TBMDExecuteThread();

  /// True once a stop was requested. While the worker is suspended, the worker's call waits here
  /// until it is resumed: a suspended run pauses at its next look at the flag.
  bool Terminated() const;
  /// Progress value that the update timer hands to OnUpdate; 0 at the start.
  std::int32_t Percent() const { return m_percent.load(std::memory_order_relaxed); }
  void setPercent(std::int32_t percent) { m_percent.store(percent, std::memory_order_relaxed); }
  /// The argument of Start; events get it by reference. Used by the worker during OnExecute and
  /// by the UI thread before and after, never by both at once.
  void *&Data() { return m_data; }
  /// The component that started this run.
  TBMDThread &Owner() const { return m_owner; }
  /// The error that escaped OnExecute (or OnTerminate), kept rather than shown; null when none.
  /// Read it on the UI thread in OnTerminate or later.
  std::exception_ptr FatalException() const { return m_fatalException; }

private:
  friend class TBMDThread;
  TBMDExecuteThread(TBMDThread &owner, void *data, int priorityStep);

  void run(std::function<void(TBMDThread &, TBMDExecuteThread &, void *&)> execute);
  void suspend();
  void resume();
  void resumeFully();
  void requestStop();
  void applyPriority(int priorityStep);

  TBMDThread &m_owner;
  void *m_data;
  std::atomic<std::int32_t> m_percent{0};
  std::atomic<bool> m_terminated{false};
  std::atomic<int> m_priority;
  std::atomic<long> m_osThreadId{0};
  std::exception_ptr m_fatalException;

  mutable std::mutex m_suspendMutex;
  mutable std::condition_variable m_resumed;
  int m_suspendCount = 1; // workers are created suspended
  std::atomic<bool> m_suspended{true};

  /// Set while the UI thread runs this worker's finish step; the thread cannot be joined then.
  bool m_finishing = false;
  std::thread m_thread;
};

/// The part that threads and groups share: three events, group membership, update priority and
/// the lock taken around the UI-thread events.
class TBMDThreadBase {
public:
  TBMDThreadBase(const TBMDThreadBase &) = delete;
  TBMDThreadBase &operator=(const TBMDThreadBase &) = delete;
  virtual ~TBMDThreadBase();

  TBMDThreadUpdateNotifyEvent OnUpdate;
  TBMDThreadDataNotifyEvent OnStart;
  TBMDThreadDataNotifyEvent OnTerminate;

  /// The group this object belongs to, or nullptr.
  TBMDThreadGroup *ThreadGroup() const { return m_threadGroup; }
  /// Leaves the current group and joins `group` (nullptr: none). A join that would make a cycle
  /// is refused, and the object then belongs to no group.
  void setThreadGroup(TBMDThreadGroup *group);

  int UpdatePriority() const { return m_updatePriority; }
  void setUpdatePriority(int value) { m_updatePriority = value; }

  virtual bool IsRunning() const = 0;
  /// Start with no data: the only form the window uses.
  void Start() { Start(nullptr); }
  virtual void Start(void *Data) = 0;
  virtual void Stop() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

protected:
  TBMDThreadBase() = default;

  /// Tells `group` of every running worker below this object, as started or as ended.
  virtual void notifyRunningWorkers(TBMDThreadGroup &group, bool started) = 0;
  /// Adds the threads this object stands for to `out`: itself, or a group's all-threads list.
  virtual void collectThreads(std::vector<TBMDThread *> &out) const = 0;
  /// Leaves the group for good; each class calls it from its destructor, while it can still
  /// answer IsRunning.
  void leaveGroupOnDestruction();

  /// Re-entrant, so that a handler may call back into the component; a group guards its count
  /// and lists with it too.
  mutable std::recursive_mutex m_lock;

private:
  friend class TBMDThreadGroup;
  TBMDThreadGroup *m_threadGroup = nullptr;
  int m_updatePriority = 0;
};

/// One restartable background job.
class TBMDThread : public TBMDThreadBase {
public:
  explicit TBMDThread(UiDispatcher &dispatcher);
  /// Waits for a running worker to see its stop flag, handling UI events meanwhile; the run's
  /// OnTerminate is not called then.
  ~TBMDThread() override;

  TBMDThreadDataNotifyEvent OnExecute;

  bool IsRunning() const override { return m_current != nullptr; }
  using TBMDThreadBase::Start;
  /// Starts a run with `Data`; does nothing while a worker is alive.
  void Start(void *Data) override;
  /// Asks the running worker to stop (resuming it if suspended) and returns at once.
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  int Priority() const { return m_priority; }
  /// Stores the priority step (0..6) and applies it to a running worker at once.
  void setPriority(int step);
  bool UpdateEnabled() const { return m_updateEnabled; }
  void setUpdateEnabled(bool enabled);
  /// Interval of the update timer in milliseconds (100 by default).
  int RefreshInterval() const;
  void setRefreshInterval(int milliseconds);

  /// The live worker, or nullptr when idle.
  TBMDExecuteThread *Worker() const { return m_current.get(); }

private:
  friend class TBMDExecuteThread;

  void notifyRunningWorkers(TBMDThreadGroup &group, bool started) override;
  void collectThreads(std::vector<TBMDThread *> &out) const override;

  /// The finish step, on the UI thread, once OnExecute has returned.
  void WorkerFinished(TBMDExecuteThread &worker);
  /// The finish step while the component is being destroyed: only clears the worker.
  void WorkerFinishedSilently(TBMDExecuteThread &worker);
  void finishOnUiThread(TBMDExecuteThread &worker);
  void UpdateTick();
  void joinEndedWorkers();

  UiDispatcher &m_dispatcher;
  std::unique_ptr<UiTimer> m_updateTimer;
  std::unique_ptr<TBMDExecuteThread> m_current;
  /// Workers whose run has ended; their threads are joined at the next Start or at destruction.
  std::vector<std::unique_ptr<TBMDExecuteThread>> m_ended;
  int m_priority = priority::Normal;
  bool m_updateEnabled = false;
  bool m_finishSilently = false;
};

/// A set of threads and sub-groups with a count of their running threads.
class TBMDThreadGroup : public TBMDThreadBase {
public:
  TBMDThreadGroup() = default;
  /// Detaches the direct members (each sub-group keeps its own threads) and leaves the parent.
  ~TBMDThreadGroup() override;

  /// For every member thread's tick, start and end.
  TBMDThreadUpdateNotifyEvent OnThreadUpdate;
  TBMDThreadDataNotifyEvent OnThreadStart;
  TBMDThreadDataNotifyEvent OnThreadTerminate;

  bool IsRunning() const override { return RunningCount() > 0; }
  int RunningCount() const;
  using TBMDThreadBase::Start;
  /// Start, Stop, Suspend and Resume act on every direct member in joining order.
  void Start(void *Data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;

  /// The direct members in joining order.
  std::vector<TBMDThreadBase *> Members() const;
  /// Every thread that joined, directly or through a sub-group (as it stood when it joined).
  std::vector<TBMDThread *> AllThreads() const;

private:
  friend class TBMDThreadBase;
  friend class TBMDThread;

  void notifyRunningWorkers(TBMDThreadGroup &group, bool started) override;
  void collectThreads(std::vector<TBMDThread *> &out) const override;

  void NotifyStarted(TBMDThread &member, TBMDExecuteThread &worker, void *&data);
  void NotifyTerminated(TBMDThread &member, TBMDExecuteThread &worker, void *&data);
  void NotifyUpdate(TBMDThread &member, TBMDExecuteThread &worker, void *&data,
                    std::int32_t percent, int updatePriority);
  /// False when `member` is this group or one of its ancestors.
  bool JoinGroup(TBMDThreadBase &member);
  void LeaveGroup(TBMDThreadBase &member);
  bool isSelfOrAncestor(const TBMDThreadBase &object) const;

  std::vector<TBMDThreadBase *> m_members;
  std::vector<TBMDThread *> m_allThreads;
  int m_runningCount = 0;
};

} // namespace tw::worker
