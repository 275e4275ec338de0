// The Qt adapter over the checkable lists, under Qt's own model checker.

#include "list_model_test.h"

#include "app/CheckableListModel.h"
#include "lists/CheckableList.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using tw::app::CheckableListModel;
using tw::lists::CheckableList;
using tw::lists::Row;

namespace {
const QStringList Headers = {"Error Type", "Key Name", "Key Value", "Guess Path"};

Row errorRow(const char *type, const char *key) { return {type, {key, "v", "g"}, true, 1}; }
} // namespace

void ListModelTest::followsEveryChangeUnderTheModelTester() {
  QFETCH(bool, sorted);
  CheckableList list(sorted);
  CheckableListModel model(list, Headers);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QTableView view; // a view follows along, as in the window
  view.setModel(&model);

  list.append(errorRow("Uninstall", "HKEY_LOCAL_MACHINE\\a\\1"));
  list.append(errorRow("Application", "HKEY_LOCAL_MACHINE\\a\\2"));
  list.appendRows({errorRow("Shared DLLs", "k3"), errorRow("Application", "k4"),
                   errorRow("Uninstall", "k5"), errorRow("COM/ActiveX", "k6")});
  QCOMPARE(model.rowCount(), 6);
  if (sorted) {
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Application"));
    QCOMPARE(model.index(5, 0).data().toString(), QStringLiteral("Uninstall"));
  } else {
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Uninstall"));
  }
  list.setCaption(0, "Start Menu");
  list.setSubItem(1, 2, "c:\\guess");
  list.setAllChecked(false);
  QVERIFY(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
  QCOMPARE(list.checkedRows(), std::vector<int>{2});
  list.remove(3);
  QCOMPARE(model.rowCount(), 5);
  list.clear();
  QCOMPARE(model.rowCount(), 0);
  list.appendRows({errorRow("Help File", "k7")});
  QCOMPARE(model.rowCount(), 1);
}

void ListModelTest::followsEveryChangeUnderTheModelTester_data() {
  QTest::addColumn<bool>("sorted");
  QTest::newRow("sorted") << true;
  QTest::newRow("unsorted") << false;
}

void ListModelTest::mapsColumnsRolesAndCheckMarks() {
  CheckableList list;
  list.append({"Application", {"HKEY_LOCAL_MACHINE\\App Paths\\gone.exe", "C:\\gone.exe"}, false, 1});
  CheckableListModel model(list, Headers);
  const QIcon error = QIcon::fromTheme("dialog-warning");
  model.setImages({QIcon(), error});
  model.setColumnAlignment(1, Qt::AlignCenter);

  QCOMPARE(model.columnCount(), 4);
  QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Key Value"));
  QVERIFY(!model.headerData(4, Qt::Horizontal).isValid());
  QVERIFY(!model.headerData(0, Qt::Vertical).isValid());

  QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("HKEY_LOCAL_MACHINE\\App Paths\\gone.exe"));
  QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("C:\\gone.exe"));
  // A sub-item the row does not have reads as empty text.
  QCOMPARE(model.index(0, 3).data().toString(), QString());
  QCOMPARE(model.index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);

  // The check box and picture belong to the caption column only.
  QCOMPARE(model.index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  QVERIFY(!model.index(0, 1).data(Qt::CheckStateRole).isValid());
  QVERIFY(model.index(0, 0).data(Qt::DecorationRole).isValid());
  QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
  QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsUserCheckable));
  QVERIFY(!model.flags(model.index(0, 1)).testFlag(Qt::ItemIsUserCheckable));
  QVERIFY(!model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));

  // Captions are read-only; only the check mark can be set, and only on the first column.
  QVERIFY(!model.setData(model.index(0, 0), "Renamed", Qt::EditRole));
  QVERIFY(!model.setData(model.index(0, 1), Qt::Checked, Qt::CheckStateRole));
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  QVERIFY(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
  QVERIFY(list.row(0).checked);
  QCOMPARE(changed.count(), 1);
  QVERIFY(changed.first().at(2).value<QList<int>>().contains(Qt::CheckStateRole));
  QCOMPARE(list.row(0).caption, std::string("Application"));
}
