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
}

} // namespace tw::app
