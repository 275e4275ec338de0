#include "app/pages/HistoryPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"
#include "registry/XmlStore.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

HistoryPage::HistoryPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabHistory"));
  m_model.reset(new CheckableListModel(
      m_history, {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Path")}));
  lvHistory = makeReportList(this, QStringLiteral("lvHistory"), m_model.get(), {223, 200});

  btnRestore = makeButton(this, QStringLiteral("btnRestore"), QStringLiteral("&Restore"));
  btnClearUndo = makeButton(this, QStringLiteral("btnClearUndo"), QStringLiteral("&Clear"));
  btnRefresh2 = makeButton(this, QStringLiteral("btnRefresh2"), QStringLiteral("&Refresh"));
  btnCheckAll1 = makeButton(this, QStringLiteral("btnCheckAll1"), QStringLiteral("Ch&eck All"));
  GroupBox = makeControlPanel(this, QStringLiteral("GroupBox"),
                              {btnRestore, btnClearUndo, btnRefresh2, btnCheckAll1});

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvHistory, 1);
  page->addWidget(GroupBox);
}

void HistoryPage::showRecords(const std::vector<UndoRecord> &records) {
  std::vector<lists::Row> rows;
  rows.reserve(records.size());
  for (const UndoRecord &r : records) rows.push_back({r.name, {r.type, r.path}, false, -1});
  m_history.clear();
  m_history.appendRows(std::move(rows));
}

// The models go before the lists they observe.
HistoryPage::~HistoryPage() = default;

} // namespace tw::app
