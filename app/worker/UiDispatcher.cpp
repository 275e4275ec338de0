#include "app/worker/UiDispatcher.h"

#include <condition_variable>
#include <mutex>

namespace tw::worker {

void UiDispatcher::postAndWait(std::function<void()> task) {
  if (isUiThread()) {
    task();
    return;
  }
  // The state outlives this call on either side: the UI thread may still be leaving the task
  // when the caller wakes up and returns.
  struct HandOff {
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
  };
  auto handOff = std::make_shared<HandOff>();
  post([handOff, task = std::move(task)] {
    // Whatever the task does, the waiting thread must be released.
    struct Release {
      HandOff &h;
      ~Release() {
        std::lock_guard lock(h.mutex);
        h.done = true;
        h.ran.notify_all();
      }
    } release{*handOff};
    task();
  });
  std::unique_lock lock(handOff->mutex);
  handOff->ran.wait(lock, [&] { return handOff->done; });
}

} // namespace tw::worker
