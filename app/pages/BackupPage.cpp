#include "app/pages/BackupPage.h"

#include "app/ReportList.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::app {

namespace {
// The advice of the memo, line by line; the trailing blanks belong to the lines.
constexpr const char *WarningLines[] = {
    "It is strongly recommended that you make a full backup of the registry prior to any changes "
    "you apply to your ",
    "system using ",
    "this software.",
    "",
    "You can select the backed up registry state to restore your system to from the list above. "
    "The list contains restore ",
    "points ",
    "according to backups you have completed at a past date.",
    "",
    "Go to the 'Backup/Restore' section to restore individual elements erased during the "
    "cleaning process.",
};
} // namespace

BackupPage::BackupPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabBackup"));
  ltbk = new QListWidget(this);
  ltbk->setObjectName(QStringLiteral("ltbk"));
  ltbk->setSelectionMode(QAbstractItemView::SingleSelection);
  ltbk->setSortingEnabled(false);

  lbStatus = new QLabel(this);
  lbStatus->setObjectName(QStringLiteral("lbStatus"));
  lbStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  mWarning = new QPlainTextEdit(this);
  mWarning->setObjectName(QStringLiteral("mWarning"));
  mWarning->setReadOnly(true);
  QStringList lines;
  for (const char *line : WarningLines) lines << QString::fromLatin1(line);
  mWarning->setPlainText(lines.join(QLatin1Char('\n')));
  mWarning->setFixedHeight(120);

  btnBackup = makeButton(this, QStringLiteral("btnBackup"), QStringLiteral("Start &Backup"));
  btnRestore1 = makeButton(this, QStringLiteral("btnRestore1"), QStringLiteral("Start &Restore"));
  btRefresh = makeButton(this, QStringLiteral("btRefresh"), QStringLiteral("Resfresh List"));
  btDel = makeButton(this, QStringLiteral("btDel"), QStringLiteral("Delete Restore Point"), 130);
  GroupBox = makeControlPanel(this, QStringLiteral("GroupBox"), {btnBackup, btnRestore1, btRefresh, btDel});
  // Two labels of the box that nothing writes.
  lblBRScan = new QLabel(GroupBox);
  lblBRScan->setObjectName(QStringLiteral("lblBRScan"));
  RestoreBackupStatus_Label = new QLabel(GroupBox);
  RestoreBackupStatus_Label->setObjectName(QStringLiteral("RestoreBackupStatus_Label"));

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(ltbk, 1);
  page->addWidget(lbStatus);
  page->addWidget(mWarning);
  page->addWidget(GroupBox);

  connect(btnBackup, &QPushButton::clicked, this, &BackupPage::backupRequested);
  connect(btnRestore1, &QPushButton::clicked, this, &BackupPage::restoreRequested);
  connect(btRefresh, &QPushButton::clicked, this, &BackupPage::refreshRequested);
  connect(btDel, &QPushButton::clicked, this, &BackupPage::deleteRequested);
}

std::vector<std::string> BackupPage::restorePoints() const {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(ltbk->count()));
  for (int i = 0; i < ltbk->count(); ++i) names.push_back(ltbk->item(i)->text().toStdString());
  return names;
}

std::string BackupPage::selectedRestorePoint() const {
  const QList<QListWidgetItem *> selected = ltbk->selectedItems();
  return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

void BackupPage::showRestorePoints(const std::vector<std::string> &names) {
  ltbk->clear();
  appendRestorePoints(names);
}

void BackupPage::appendRestorePoints(const std::vector<std::string> &names) {
  for (const std::string &name : names) ltbk->addItem(QString::fromStdString(name));
}

void BackupPage::removeRestorePoint(const std::string &name) {
  const QList<QListWidgetItem *> rows = ltbk->findItems(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!rows.isEmpty()) delete ltbk->takeItem(ltbk->row(rows.front()));
}

void BackupPage::setStatus(const std::string &text) {
  lbStatus->setText(QString::fromStdString(text));
  emit statusChanged(lbStatus->text());
}

} // namespace tw::app
