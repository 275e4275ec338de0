// One writer and many readers at once: readers see whole values, never torn ones, and
// nothing crashes (run under ThreadSanitizer with the tsan preset).

#include "RegistryTestSupport.h"

#include <atomic>
#include <thread>

using namespace tw::platform;
using namespace tw::test;

namespace {

class RegistryConcurrency : public ::testing::TestWithParam<BackendFactory> {
protected:
  TempDir dir{"concurrency"};
};

std::string backendName(const ::testing::TestParamInfo<BackendFactory> &info) { return info.param.name; }

TEST_P(RegistryConcurrency, ReadersSeeWholeValuesWhileOneThreadWrites) {
  auto reg = GetParam().make(dir.path() / "prefix");
  ASSERT_NE(reg, nullptr);
  putString(*reg, HKEY_CURRENT_USER, "Stress\\k0", "v", "0:0");
  // The writer goes on until every reader has read the key list many times over (and at
  // least this many rounds), so the test does not depend on how threads are scheduled.
  constexpr int MinWriterRounds = 600;
  constexpr long MinReaderPasses = 3 * 50;
  std::atomic<bool> done{false};
  std::atomic<long> readerPasses{0};
  std::atomic<long> goodReads{0};
  std::atomic<long> badReads{0};

  auto reader = [&] {
    while (!done.load()) {
      ++readerPasses;
      for (const std::string &name : subKeyNames(*reg, HKEY_CURRENT_USER, "Stress")) {
        RegKey key = 0;
        long status = reg->openKey(HKEY_CURRENT_USER, "Stress\\" + name, access::KeyRead, key);
        if (status == error::FileNotFound) continue; // deleted since it was listed
        if (status != error::Success) {
          ++badReads;
          continue;
        }
        RegValue v;
        status = reg->queryValue(key, "v", v);
        KeyInfo info;
        long infoStatus = reg->queryInfoKey(key, info);
        reg->closeKey(key);
        if (status == error::KeyDeleted || status == error::FileNotFound) continue;
        std::string text(v.data.begin(), v.data.end());
        std::size_t colon = text.find(':');
        bool whole = status == error::Success && infoStatus != error::InvalidHandle && colon != std::string::npos &&
                     text.substr(0, colon) + '\0' == text.substr(colon + 1);
        whole ? ++goodReads : ++badReads;
      }
    }
  };
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) readers.emplace_back(reader);

  for (int round = 1; round <= MinWriterRounds || readerPasses.load() < MinReaderPasses; ++round) {
    std::string n = std::to_string(round);
    putString(*reg, HKEY_CURRENT_USER, "Stress\\k" + std::to_string(round % 7), "v", n + ":" + n);
    if (round % 5 == 0) reg->deleteKey(HKEY_CURRENT_USER, "Stress\\k" + std::to_string((round + 3) % 7));
    if (round % 150 == 0) {
      EXPECT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
    }
  }
  done = true;
  for (std::thread &t : readers) t.join();
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_GT(goodReads.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryConcurrency, ::testing::ValuesIn(allBackends()), backendName);

} // namespace
