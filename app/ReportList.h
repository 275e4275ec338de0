#pragma once
// The report-style list views of the pages: a table over a CheckableListModel with check boxes,
// grid lines, whole-row selection, read-only captions and column headers that do not react to
// clicks. The last column fills the rest of the width.

#include <QIcon>
#include <QList>
#include <QString>
#include <QTableView>

#include <initializer_list>

class QGroupBox;
class QPushButton;

namespace tw::app {

class CheckableListModel;

/// A report list named `objectName` showing `model`, with the given widths of all columns but
/// the last (which stretches).
QTableView *makeReportList(QWidget *parent, const QString &objectName, CheckableListModel *model,
                           std::initializer_list<int> widths);

/// A push button named `objectName` with `caption` (an "&" marks the mnemonic, as in the
/// captions of the program) and the page's button size.
QPushButton *makeButton(QWidget *parent, const QString &objectName, const QString &caption,
                              int width = 105);

/// The group box "&Control Panel " that holds a page's buttons side by side from the left, below
/// `label` when one is given.
QGroupBox *makeControlPanel(QWidget *parent, const QString &objectName,
                                  std::initializer_list<QPushButton *> buttons,
                                  QWidget *label = nullptr);

/// The pictures of the scan page's image list: the group picture, then the error picture.
QList<QIcon> scanListImages();

} // namespace tw::app
