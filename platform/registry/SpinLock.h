#pragma once
// A lock for critical sections of a few instructions (the key handle table), cheaper than a
// mutex when nobody waits. A waiter that spins too long gives its processor away, so a holder
// that was preempted gets to finish. Private to the registry backends.

#include <atomic>
#include <thread>

namespace tw::platform::detail {

class SpinLock {
public:
  void lock() noexcept {
    for (int spins = 0; m_locked.exchange(true, std::memory_order_acquire);)
      while (m_locked.load(std::memory_order_relaxed))
        if (++spins > 64) std::this_thread::yield();
  }
  void unlock() noexcept { m_locked.store(false, std::memory_order_release); }

private:
  std::atomic<bool> m_locked{false};
};

} // namespace tw::platform::detail
