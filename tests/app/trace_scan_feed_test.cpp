#include "app/TraceScanFeed.h"

#include "QueueDispatcher.h"

#include "tools/uIE.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

tw::lists::Row fileRow(int i) {
  tw::lists::Row row;
  row.caption = "Cache files";
  row.subItems = {"f" + std::to_string(i) + ".htm", "C:\\cache\\"};
  row.checked = true;
  return row;
}

// The worker runs at most one batch ahead: it waits until the UI thread has placed the rows,
// and every row arrives once, in order, with the label on the last one.
TEST(TraceScanFeed, WorkerWaitsForTheUiThreadAndEveryRowArrivesInOrder) {
  tw::test::QueueDispatcher ui;
  tw::lists::CheckableList files;
  std::string label;
  tw::app::TraceScanFeed feed(ui, files, [&](const std::string &text) { label = text; });

  const int total = static_cast<int>(3 * tw::app::TraceScanFeed::MaxQueuedRows + 5);
  std::atomic<int> sent{0};
  std::thread worker([&] {
    for (int i = 0; i < total; ++i) {
      feed.appendRow(fileRow(i));
      sent = i + 1;
    }
  });
  // Without the UI thread the worker stops one batch in.
  const int batch = static_cast<int>(tw::app::TraceScanFeed::MaxQueuedRows);
  for (int wait = 0; wait < 500 && sent.load() < batch; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(sent.load(), batch);
  EXPECT_TRUE(files.isEmpty());
  ASSERT_TRUE(ui.processUntil([&] { return sent.load() == total; }));
  worker.join();
  feed.flush();
  ASSERT_EQ(files.count(), total);
  for (int i = 0; i < total; i += 997) EXPECT_EQ(files.row(i).subItem(0), "f" + std::to_string(i) + ".htm");
  EXPECT_EQ(label, "C:\\cache\\f" + std::to_string(total - 1) + ".htm");
}

} // namespace
