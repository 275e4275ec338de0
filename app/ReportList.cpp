#include "app/ReportList.h"

#include "app/CheckableListModel.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tw::app {

QTableView *makeReportList(QWidget *parent, const QString &objectName, CheckableListModel *model,
                           std::initializer_list<int> widths) {
  auto *view = new QTableView(parent);
  view->setObjectName(objectName);
  view->setModel(model);
  view->setShowGrid(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSortingEnabled(false);
  view->setWordWrap(false);
  view->setAlternatingRowColors(false);
  view->verticalHeader()->hide();
  // Rows of one height let the view lay out a hundred thousand of them without measuring each.
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(std::max(16, view->fontMetrics().height() + 2));
  QHeaderView *header = view->horizontalHeader();
  header->setSectionsClickable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  int column = 0;
  for (int width : widths) view->setColumnWidth(column++, width);
  return view;
}

QPushButton *makeButton(QWidget *parent, const QString &objectName, const QString &caption,
                        int width) {
  auto *button = new QPushButton(caption, parent);
  button->setObjectName(objectName);
  button->setFixedSize(width, 25);
  return button;
}

QGroupBox *makeControlPanel(QWidget *parent, const QString &objectName,
                            std::initializer_list<QPushButton *> buttons, QWidget *label) {
  auto *box = new QGroupBox(QStringLiteral("&Control Panel "), parent);
  box->setObjectName(objectName);
  // As tall as its caption, label and buttons need, whatever the style and font.
  box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto *row = new QHBoxLayout;
  row->setSpacing(4);
  for (QPushButton *b : buttons) {
    b->setParent(box);
    row->addWidget(b);
  }
  row->addStretch();
  auto *layout = new QVBoxLayout(box);
  layout->setContentsMargins(6, 2, 6, 4);
  layout->setSpacing(2);
  if (label) {
    label->setParent(box);
    layout->addWidget(label);
  }
  layout->addLayout(row);
  return box;
}

QList<QIcon> scanListImages() {
  QStyle *style = QApplication::style();
  return {style->standardIcon(QStyle::SP_DirIcon), style->standardIcon(QStyle::SP_MessageBoxWarning)};
}

} // namespace tw::app
