// Readers of a Wine prefix's registry file that race to build the lookup index of a large key
// (run under ThreadSanitizer with the tsan preset).

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

#include <atomic>
#include <thread>

using namespace tw::platform;
using namespace tw::test;

namespace {

// A key with many sub-keys gets its lookup index from the first reader that needs it; readers
// that arrive together must share one index and all find their keys.
TEST(RegistryConcurrencyWine, ReadersRaceToIndexALargeKey) {
  TempDir dir("index-race");
  std::string blocks;
  const int count = 500;
  for (int i = 0; i < count; ++i) blocks += "\n[Big\\\\Child" + std::to_string(1000 + i) + "] 1700000000\n@=\"" + std::to_string(i) + "\"\n";
  writeMinimalPrefix(dir.path(), blocks);
  for (int attempt = 0; attempt < 20; ++attempt) {
    RegistryLoadResult result;
    auto reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
    ASSERT_TRUE(result) << result.description();
    std::atomic<int> found{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
      readers.emplace_back([&, t] {
        for (int i = t; i < count; i += 4)
          if (getString(*reg, HKEY_LOCAL_MACHINE, "big\\CHILD" + std::to_string(1000 + i), "") == std::to_string(i))
            ++found;
      });
    }
    for (std::thread &r : readers) r.join();
    ASSERT_EQ(found.load(), count);
  }
}

} // namespace
