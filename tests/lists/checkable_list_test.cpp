#include "lists/CheckableList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tw::lists::CheckableList;
using tw::lists::CheckableListObserver;
using tw::lists::Row;

namespace {

Row makeRow(std::string caption, std::string sub = {}) {
  Row r;
  r.caption = std::move(caption);
  r.subItems = {std::move(sub)};
  r.checked = true;
  return r;
}

std::vector<std::string> captionsAndSubs(const CheckableList &list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(list.row(i).caption + ":" + list.row(i).subItem(0));
  return out;
}

// Replays the notifications on a plain vector, the way a view would, so a test can check that
// every announced position was right.
class MirroringObserver : public CheckableListObserver {
public:
  explicit MirroringObserver(const CheckableList &list) : m_list(list) {}
  std::vector<std::string> mirror;
  int insertNotifications = 0;

  void rowsAboutToBeInserted(int first, int last) override {
    m_pendingFirst = first;
    m_pendingLast = last;
  }
  void rowsInserted() override {
    ++insertNotifications;
    for (int i = m_pendingFirst; i <= m_pendingLast; ++i)
      mirror.insert(mirror.begin() + i, m_list.row(i).caption + ":" + m_list.row(i).subItem(0));
  }
  void rowsAboutToBeRemoved(int first, int last) override {
    mirror.erase(mirror.begin() + first, mirror.begin() + last + 1);
  }
  void rowsRemoved() override {}
  void rowsChanged(int, int) override {}
  void aboutToReset() override {}
  void reset() override {
    mirror.clear();
    for (int i = 0; i < m_list.count(); ++i)
      mirror.push_back(m_list.row(i).caption + ":" + m_list.row(i).subItem(0));
  }

private:
  const CheckableList &m_list;
  int m_pendingFirst = 0;
  int m_pendingLast = -1;
};

} // namespace

TEST(CheckableList, SortedListKeepsCaptionOrderAndAddingOrderWithinACaption) {
  CheckableList list(/*sorted=*/true);
  list.append(makeRow("Uninstall", "u1"));
  list.append(makeRow("Application", "a1"));
  list.append(makeRow("Uninstall", "u2"));
  list.append(makeRow("Application", "a2"));
  list.append(makeRow("COM/ActiveX", "c1"));
  EXPECT_EQ(captionsAndSubs(list),
            (std::vector<std::string>{"Application:a1", "Application:a2", "COM/ActiveX:c1",
                                      "Uninstall:u1", "Uninstall:u2"}));
}

TEST(CheckableList, UnsortedListKeepsAddingOrder) {
  CheckableList list;
  list.append(makeRow("b"));
  list.append(makeRow("a"));
  list.appendRows({makeRow("d"), makeRow("c")});
  EXPECT_EQ(captionsAndSubs(list), (std::vector<std::string>{"b:", "a:", "d:", "c:"}));
}

TEST(CheckableList, BatchAppendGivesTheSameOrderAsOneByOneWithOneNotificationPerCaption) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"Uninstall", "1"}, {"Font File", "2"}, {"Uninstall", "3"}, {"Application", "4"},
      {"Font File", "5"}, {"Application", "6"}, {"Uninstall", "7"}};
  CheckableList oneByOne(true);
  CheckableList batched(true);
  MirroringObserver observer(batched);
  batched.setObserver(&observer);
  // Rows already in the list before the batch arrives.
  for (auto &[c, s] : std::vector<std::pair<std::string, std::string>>{{"Font File", "0"}, {"Start Menu", "0"}}) {
    oneByOne.append(makeRow(c, s));
    batched.append(makeRow(c, s));
  }
  observer.insertNotifications = 0;
  std::vector<Row> batch;
  for (auto &[c, s] : rows) {
    oneByOne.append(makeRow(c, s));
    batch.push_back(makeRow(c, s));
  }
  batched.appendRows(std::move(batch));
  EXPECT_EQ(captionsAndSubs(batched), captionsAndSubs(oneByOne));
  EXPECT_EQ(observer.mirror, captionsAndSubs(batched));
  EXPECT_EQ(observer.insertNotifications, 3);
}

TEST(CheckableList, RemovingFromTheEndKeepsTheOtherRowsInOrder) {
  CheckableList list;
  for (const char *c : {"a", "b", "c", "d", "e"}) list.append(makeRow(c));
  list.setChecked(0, false);
  list.setChecked(2, false);
  list.setChecked(4, false);
  auto checked = list.checkedRows();
  for (auto it = checked.rbegin(); it != checked.rend(); ++it) list.remove(*it);
  EXPECT_EQ(captionsAndSubs(list), (std::vector<std::string>{"a:", "c:", "e:"}));
}

TEST(CheckableList, CheckMarksAndSubItems) {
  CheckableList list;
  list.append(makeRow("a"));
  list.append(makeRow("b"));
  list.setAllChecked(false);
  EXPECT_TRUE(list.checkedRows().empty());
  list.setChecked(1, true);
  EXPECT_EQ(list.checkedRows(), std::vector<int>{1});
  list.setSubItem(0, 2, "third");
  EXPECT_EQ(list.row(0).subItem(2), "third");
  EXPECT_EQ(list.row(0).subItem(1), "");
  EXPECT_EQ(list.row(1).subItem(5), "");
}

TEST(CheckableList, ChangingTheCaptionOfASortedRowMovesIt) {
  CheckableList list(true);
  list.append(makeRow("a", "1"));
  list.append(makeRow("b", "2"));
  list.append(makeRow("c", "3"));
  list.setCaption(0, "d");
  EXPECT_EQ(captionsAndSubs(list), (std::vector<std::string>{"b:2", "c:3", "d:1"}));
}

TEST(CheckableList, ClearTellsTheObserverToStartOver) {
  CheckableList list(true);
  MirroringObserver observer(list);
  list.setObserver(&observer);
  list.append(makeRow("x"));
  list.append(makeRow("a"));
  EXPECT_EQ(observer.mirror, (std::vector<std::string>{"a:", "x:"}));
  list.clear();
  EXPECT_TRUE(observer.mirror.empty());
  EXPECT_EQ(list.count(), 0);
}

TEST(CheckableList, CopyThenSwapHandsBackExactlyWhatWasDoneToTheCopy) {
  // Equal captions in an order a re-sort could not restore: only their adding order tells.
  CheckableList list(true);
  for (const char *sub : {"3", "1", "2"}) list.append(makeRow("b", sub));
  list.append(makeRow("a", "0"));
  list.setChecked(1, false);
  MirroringObserver observer(list);
  list.setObserver(&observer);
  observer.reset();

  CheckableList copy = list.copy();
  EXPECT_TRUE(copy.isSorted());
  EXPECT_EQ(captionsAndSubs(copy), captionsAndSubs(list));
  EXPECT_FALSE(copy.row(1).checked);
  // Work on the copy leaves the list and its observer alone...
  copy.remove(3);
  copy.remove(0);
  EXPECT_EQ(list.count(), 4);
  EXPECT_EQ(observer.mirror, (std::vector<std::string>{"a:0", "b:3", "b:1", "b:2"}));
  // ...until the rows are swapped in, in one reset.
  list.swapRows(copy);
  EXPECT_EQ(captionsAndSubs(list), (std::vector<std::string>{"b:3", "b:1"}));
  EXPECT_EQ(observer.mirror, captionsAndSubs(list));
  EXPECT_EQ(copy.count(), 4);
  EXPECT_FALSE(list.row(0).checked);
  EXPECT_TRUE(list.row(1).checked);
}

// Walking backwards and removing rows one at a time gives the list a one-by-one removal would,
// announced in runs of neighbouring rows that a view can follow; rows in front of the pending
// run are still readable where they were.
TEST(CheckableList, BackwardRemovalRemovesRunsAndKeepsTheRestInOrder) {
  CheckableList list;
  CheckableList expected;
  std::vector<Row> rows;
  for (int i = 0; i < 200; ++i) rows.push_back(makeRow("r" + std::to_string(i)));
  list.appendRows(rows);
  expected.appendRows(rows);
  MirroringObserver mirror(list);
  list.setObserver(&mirror);
  mirror.reset();

  struct Counter : tw::lists::CheckableListObserver {
    int *rows;
    void rowsAboutToBeInserted(int, int) override {}
    void rowsInserted() override {}
    void rowsAboutToBeRemoved(int first, int last) override { *rows += last - first + 1; }
    void rowsRemoved() override {}
    void rowsChanged(int, int) override {}
    void aboutToReset() override {}
    void reset() override {}
  };
  {
    tw::lists::BackwardRowRemover removal(list, /*runLimit=*/16);
    for (int i = list.count() - 1; i >= 0; --i) {
      // Runs of neighbours longer than the limit, single rows and gaps.
      const bool goes = (i >= 20 && i < 90) || i % 7 == 0;
      if (!goes) {
        EXPECT_EQ(list.row(i).caption, "r" + std::to_string(i)) << "rows in front keep their positions";
        continue;
      }
      removal.remove(i);
      expected.remove(i);
    }
  }
  EXPECT_EQ(captionsAndSubs(list), captionsAndSubs(expected));
  EXPECT_EQ(mirror.mirror, captionsAndSubs(list)) << "every announced range was the right one";

  // Progress counted from the announcements adds up to the rows removed, and comes in steps no
  // larger than the run limit.
  CheckableList second;
  second.appendRows(rows);
  int counted = 0;
  Counter counter;
  counter.rows = &counted;
  second.setObserver(&counter);
  tw::lists::BackwardRowRemover removal(second, 16);
  int lastCounted = 0;
  for (int i = second.count() - 1; i >= 0; --i) {
    removal.remove(i);
    EXPECT_LE(counted - lastCounted, 16);
    lastCounted = counted;
  }
  removal.flush();
  EXPECT_EQ(counted, 200);
  EXPECT_TRUE(second.isEmpty());
  second.setObserver(nullptr);
  list.setObserver(nullptr);
}
