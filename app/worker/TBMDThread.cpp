#include "app/worker/TBMDThread.h"

#include "app/worker/UiDispatcher.h"

#include <algorithm>
#include <cassert>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tw::worker {

namespace {
/// The worker whose thread is the calling one, so that Terminated can tell the worker's own
/// look at the flag (which pauses while suspended) from the UI thread's.
thread_local const TBMDExecuteThread *t_currentWorker = nullptr;

constexpr int DefaultRefreshInterval = 100;

long currentOsThreadId() {
#ifdef __linux__
  return static_cast<long>(::syscall(SYS_gettid));
#else
  return 0;
#endif
}

/// Applies a priority step to an operating-system thread. On Linux the scale maps onto the
/// thread's nice value; raising the priority needs privileges and otherwise fails silently,
/// which only leaves the worker at normal priority.
void setOsThreadPriority(long osThreadId, int step) {
#ifdef __linux__
  static constexpr int NiceOfStep[] = {19, 10, 5, 0, -5, -10, -20};
  if (osThreadId == 0 || step < priority::Idle || step > priority::TimeCritical) return;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(osThreadId), NiceOfStep[step]);
#else
  (void)osThreadId;
  (void)step;
#endif
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TBMDExecuteThread

TBMDExecuteThread::TBMDExecuteThread(TBMDThread &owner, void *data, int priorityStep)
    : m_owner(owner), m_data(data), m_priority(priorityStep) {}

TBMDExecuteThread::~TBMDExecuteThread() {
  assert(!m_thread.joinable() && "a worker is freed before its thread was joined");
}

bool TBMDExecuteThread::Terminated() const {
  if (t_currentWorker == this && m_suspended.load()) {
    std::unique_lock lock(m_suspendMutex);
    m_resumed.wait(lock, [this] { return m_suspendCount == 0; });
  }
  return m_terminated.load();
}

void TBMDExecuteThread::suspend() {
  std::lock_guard lock(m_suspendMutex);
  ++m_suspendCount;
  m_suspended.store(true);
}

void TBMDExecuteThread::resume() {
  std::lock_guard lock(m_suspendMutex);
  if (m_suspendCount == 0) return;
  if (--m_suspendCount == 0) {
    m_suspended.store(false);
    m_resumed.notify_all();
  }
}

void TBMDExecuteThread::resumeFully() {
  std::lock_guard lock(m_suspendMutex);
  m_suspendCount = 0;
  m_suspended.store(false);
  m_resumed.notify_all();
}

void TBMDExecuteThread::requestStop() { m_terminated.store(true); }

void TBMDExecuteThread::applyPriority(int priorityStep) {
  m_priority.store(priorityStep);
  setOsThreadPriority(m_osThreadId.load(), priorityStep);
}

void TBMDExecuteThread::run(
    std::function<void(TBMDThread &, TBMDExecuteThread &, void *&)> execute) {
  t_currentWorker = this;
  // Published before the priority is read, so that a change made meanwhile on the UI thread is
  // applied either there or here.
  m_osThreadId.store(currentOsThreadId());
  setOsThreadPriority(m_osThreadId.load(), m_priority.load());

  // Created suspended: Start resumes the worker once OnStart has run.
  (void)Terminated();
  if (!m_terminated.load()) {
    try {
      if (execute) execute(m_owner, *this, m_data);
    } catch (...) {
      m_fatalException = std::current_exception();
    }
  }
  TBMDThread &owner = m_owner;
  owner.m_dispatcher.postAndWait([&owner, this] { owner.finishOnUiThread(*this); });
  t_currentWorker = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TBMDThreadBase

TBMDThreadBase::~TBMDThreadBase() {
  assert(!m_threadGroup && "a derived destructor must leave the group");
}

void TBMDThreadBase::setThreadGroup(TBMDThreadGroup *group) {
  if (group == m_threadGroup) return;
  if (m_threadGroup) m_threadGroup->LeaveGroup(*this);
  m_threadGroup = nullptr;
  if (group && group->JoinGroup(*this)) m_threadGroup = group;
}

void TBMDThreadBase::leaveGroupOnDestruction() {
  if (!m_threadGroup) return;
  m_threadGroup->LeaveGroup(*this);
  m_threadGroup = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TBMDThread

TBMDThread::TBMDThread(UiDispatcher &dispatcher)
    : m_dispatcher(dispatcher), m_updateTimer(dispatcher.createTimer([this] { UpdateTick(); })) {
  m_updateTimer->setInterval(DefaultRefreshInterval);
  m_updateTimer->setEnabled(false);
}

TBMDThread::~TBMDThread() {
  m_updateTimer->setEnabled(false);
  if (m_current) {
    assert(!m_current->m_finishing && "a component destroyed from inside its own OnTerminate");
    // The run ends without its OnTerminate; the window that would handle it is going away.
    m_finishSilently = true;
    m_current->requestStop();
    // A suspended worker would never see its stop flag.
    m_current->resumeFully();
    while (m_current) m_dispatcher.processEvents();
  }
  m_updateTimer.reset();
  leaveGroupOnDestruction();
  for (auto &ended : m_ended)
    if (ended->m_thread.joinable()) ended->m_thread.join();
}

void TBMDThread::Start(void *Data) {
  assert(m_dispatcher.isUiThread() && "Start belongs to the UI thread");
  if (m_current) return;
  joinEndedWorkers();

  auto worker = std::unique_ptr<TBMDExecuteThread>(new TBMDExecuteThread(*this, Data, m_priority));
  // The handler is copied for the run, so the worker never reads the component's fields.
  worker->m_thread = std::thread(&TBMDExecuteThread::run, worker.get(), OnExecute);
  m_current = std::move(worker);
  TBMDExecuteThread &w = *m_current;

  try {
    if (ThreadGroup()) ThreadGroup()->NotifyStarted(*this, w, w.m_data);
    if (OnStart) {
      std::lock_guard lock(m_lock);
      OnStart(*this, w, w.m_data);
    }
  } catch (...) {
    // A failed OnStart must not leave a suspended worker behind for ever: the run ends at once,
    // without OnExecute, through the usual finish step.
    w.requestStop();
    w.resumeFully();
    throw;
  }
  w.resume();
  if (m_updateEnabled) m_updateTimer->setEnabled(true);
}

void TBMDThread::Stop() {
  if (!m_current) return;
  // The flag goes up before the worker may run, so a worker stopped before its first moment
  // skips OnExecute.
  m_current->requestStop();
  m_current->resumeFully();
}

void TBMDThread::Suspend() {
  if (m_current) m_current->suspend();
}

void TBMDThread::Resume() {
  if (m_current) m_current->resume();
}

void TBMDThread::setPriority(int step) {
  m_priority = step;
  if (m_current) m_current->applyPriority(step);
}

void TBMDThread::setUpdateEnabled(bool enabled) {
  if (enabled == m_updateEnabled) return;
  m_updateEnabled = enabled;
  m_updateTimer->setEnabled(enabled);
}

int TBMDThread::RefreshInterval() const { return m_updateTimer->interval(); }

void TBMDThread::setRefreshInterval(int milliseconds) { m_updateTimer->setInterval(milliseconds); }

void TBMDThread::notifyRunningWorkers(TBMDThreadGroup &group, bool started) {
  if (!m_current) return;
  if (started)
    group.NotifyStarted(*this, *m_current, m_current->m_data);
  else
    group.NotifyTerminated(*this, *m_current, m_current->m_data);
}

void TBMDThread::collectThreads(std::vector<TBMDThread *> &out) const {
  out.push_back(const_cast<TBMDThread *>(this));
}

void TBMDThread::finishOnUiThread(TBMDExecuteThread &worker) {
  assert(m_current.get() == &worker && "finish step of a worker that is not the current one");
  if (m_finishSilently)
    WorkerFinishedSilently(worker);
  else
    WorkerFinished(worker);
}

void TBMDThread::WorkerFinished(TBMDExecuteThread &worker) {
  m_updateTimer->setEnabled(false);
  // From here on the component is idle and a new Start is accepted, also from OnTerminate; the
  // worker object stays valid until its thread is joined.
  worker.m_finishing = true;
  m_ended.push_back(std::move(m_current));
  try {
    if (ThreadGroup()) ThreadGroup()->NotifyTerminated(*this, worker, worker.m_data);
    if (OnTerminate) {
      std::lock_guard lock(m_lock);
      OnTerminate(*this, worker, worker.m_data);
    }
  } catch (...) {
    // The end of a run reports nothing, as an error of OnExecute does not.
    if (!worker.m_fatalException) worker.m_fatalException = std::current_exception();
  }
  worker.m_finishing = false;
  m_updateTimer->setEnabled(m_updateEnabled);
}

void TBMDThread::WorkerFinishedSilently(TBMDExecuteThread &worker) {
  (void)worker;
  m_ended.push_back(std::move(m_current));
}

void TBMDThread::UpdateTick() {
  if (!m_current) return;
  TBMDExecuteThread &w = *m_current;
  const std::int32_t percent = w.Percent();
  if (ThreadGroup()) ThreadGroup()->NotifyUpdate(*this, w, w.m_data, percent, UpdatePriority());
  if (OnUpdate) {
    std::lock_guard lock(m_lock);
    OnUpdate(*this, w, w.m_data, percent);
  }
}

void TBMDThread::joinEndedWorkers() {
  std::erase_if(m_ended, [](std::unique_ptr<TBMDExecuteThread> &w) {
    if (w->m_finishing) return false; // its thread waits for the finish step we are inside
    if (w->m_thread.joinable()) w->m_thread.join();
    return true;
  });
}

// ---------------------------------------------------------------------------------------------
// TBMDThreadGroup

TBMDThreadGroup::~TBMDThreadGroup() {
  // Only the direct members leave: a sub-group keeps its own threads.
  for (TBMDThreadBase *member : Members()) member->setThreadGroup(nullptr);
  leaveGroupOnDestruction();
}

int TBMDThreadGroup::RunningCount() const {
  std::lock_guard lock(m_lock);
  return m_runningCount;
}

std::vector<TBMDThreadBase *> TBMDThreadGroup::Members() const {
  std::lock_guard lock(m_lock);
  return m_members;
}

std::vector<TBMDThread *> TBMDThreadGroup::AllThreads() const {
  std::lock_guard lock(m_lock);
  return m_allThreads;
}

void TBMDThreadGroup::Start(void *Data) {
  for (TBMDThreadBase *member : Members()) member->Start(Data);
}

void TBMDThreadGroup::Stop() {
  for (TBMDThreadBase *member : Members()) member->Stop();
}

void TBMDThreadGroup::Suspend() {
  for (TBMDThreadBase *member : Members()) member->Suspend();
}

void TBMDThreadGroup::Resume() {
  for (TBMDThreadBase *member : Members()) member->Resume();
}

void TBMDThreadGroup::notifyRunningWorkers(TBMDThreadGroup &group, bool started) {
  for (TBMDThreadBase *member : Members())
    if (member->IsRunning()) member->notifyRunningWorkers(group, started);
}

void TBMDThreadGroup::collectThreads(std::vector<TBMDThread *> &out) const {
  std::lock_guard lock(m_lock);
  out.insert(out.end(), m_allThreads.begin(), m_allThreads.end());
}

void TBMDThreadGroup::NotifyStarted(TBMDThread &member, TBMDExecuteThread &worker, void *&data) {
  int oldCount = 0;
  {
    std::lock_guard lock(m_lock);
    oldCount = m_runningCount++;
    if (OnThreadStart) OnThreadStart(member, worker, data);
  }
  if (ThreadGroup()) ThreadGroup()->NotifyStarted(member, worker, data);
  if (oldCount == 0 && OnStart) OnStart(member, worker, data);
}

void TBMDThreadGroup::NotifyTerminated(TBMDThread &member, TBMDExecuteThread &worker,
                                       void *&data) {
  int newCount = 0;
  {
    std::lock_guard lock(m_lock);
    if (m_runningCount > 0) --m_runningCount;
    newCount = m_runningCount;
  }
  if (OnThreadTerminate) OnThreadTerminate(member, worker, data);
  if (ThreadGroup()) ThreadGroup()->NotifyTerminated(member, worker, data);
  if (newCount == 0 && OnTerminate) OnTerminate(member, worker, data);
}

void TBMDThreadGroup::NotifyUpdate(TBMDThread &member, TBMDExecuteThread &worker, void *&data,
                                   std::int32_t percent, int updatePriority) {
  if (OnThreadUpdate) OnThreadUpdate(member, worker, data, percent);
  if (!OnUpdate) return;
  // Only the running members of the highest update priority drive the group's own update.
  for (TBMDThreadBase *other : Members())
    if (other->IsRunning() && other->UpdatePriority() > updatePriority) return;
  OnUpdate(member, worker, data, percent);
}

bool TBMDThreadGroup::isSelfOrAncestor(const TBMDThreadBase &object) const {
  for (const TBMDThreadBase *g = this; g; g = g->ThreadGroup())
    if (g == &object) return true;
  return false;
}

bool TBMDThreadGroup::JoinGroup(TBMDThreadBase &member) {
  if (isSelfOrAncestor(member)) return false;
  if (member.IsRunning()) member.notifyRunningWorkers(*this, /*started=*/true);
  std::vector<TBMDThread *> threads;
  member.collectThreads(threads);
  std::lock_guard lock(m_lock);
  m_members.push_back(&member);
  m_allThreads.insert(m_allThreads.end(), threads.begin(), threads.end());
  return true;
}

void TBMDThreadGroup::LeaveGroup(TBMDThreadBase &member) {
  if (member.IsRunning()) member.notifyRunningWorkers(*this, /*started=*/false);
  std::vector<TBMDThread *> threads;
  member.collectThreads(threads);
  std::lock_guard lock(m_lock);
  std::erase(m_members, &member);
  for (TBMDThread *t : threads) {
    auto it = std::find(m_allThreads.begin(), m_allThreads.end(), t);
    if (it != m_allThreads.end()) m_allThreads.erase(it);
  }
}

} // namespace tw::worker
