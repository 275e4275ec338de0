#include "app/pages/IgnoreListPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"
#include "registry/XmlStore.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

IgnoreListPage::IgnoreListPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabIgnoreList"));
  m_model.reset(new CheckableListModel(
      m_entries, {QStringLiteral("Root"), QStringLiteral("Key Name"), QStringLiteral("Value")}));
  lvIgnore = makeReportList(this, QStringLiteral("lvIgnore"), m_model.get(), {130, 280});

  auto field = [this](const char *boxName, const char *caption, const char *editName,
                      QGroupBox *&box, QLineEdit *&edit) {
    box = new QGroupBox(QString::fromLatin1(caption), this);
    box->setObjectName(QString::fromLatin1(boxName));
    edit = new QLineEdit(box);
    edit->setObjectName(QString::fromLatin1(editName));
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->addWidget(edit);
  };
  field("GroupBoxRoot", "Root", "edRoot", GroupBoxRoot, edRoot);
  field("GroupBoxKeyName", "Key Name", "edKeyName", GroupBoxKeyName, edKeyName);
  field("GroupBoxValue", "Value", "edValue", GroupBoxValue, edValue);
  // The Root field shows the longest root name whole.
  const int rootTextWidth = edRoot->fontMetrics().horizontalAdvance(QStringLiteral("HKEY_LOCAL_MACHINE"));
  edRoot->setMinimumWidth(rootTextWidth + 2 * edRoot->fontMetrics().averageCharWidth() + 12);

  // "Add" and "Remove" keep the blanks that padded them beside their pictures.
  btnAdd = makeButton(this, QStringLiteral("btnAdd"), QStringLiteral("Add            "));
  btnRemove = makeButton(this, QStringLiteral("btnRemove"), QStringLiteral("Remove    "));
  btnRefresh6 = makeButton(this, QStringLiteral("btnRefresh6"), QStringLiteral("Refresh"));
  btnCheckall2 = makeButton(this, QStringLiteral("btnCheckall2"), QStringLiteral("&Check all"));
  btnUncheckall = makeButton(this, QStringLiteral("btnUncheckall"), QStringLiteral("&Uncheck all"));

  auto *fields = new QHBoxLayout;
  fields->addWidget(GroupBoxRoot, 0);
  fields->addWidget(GroupBoxKeyName, 5);
  fields->addWidget(GroupBoxValue, 2);
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  for (QPushButton *b : {btnAdd, btnRemove, btnRefresh6, btnCheckall2, btnUncheckall})
    buttons->addWidget(b);
  buttons->addStretch();

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvIgnore, 1);
  page->addLayout(fields);
  page->addLayout(buttons);
}

void IgnoreListPage::showEntries(const std::vector<IgnoreEntry> &entries) {
  std::vector<lists::Row> rows;
  rows.reserve(entries.size());
  for (const IgnoreEntry &e : entries) rows.push_back({e.root, {e.key, e.value}, false, -1});
  m_entries.clear();
  m_entries.appendRows(std::move(rows));
}

// The models go before the lists they observe.
IgnoreListPage::~IgnoreListPage() = default;

} // namespace tw::app
