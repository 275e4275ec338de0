#pragma once
// The backup page (tabBackup): the restore points, the progress label, the advice memo and the
// control panel with Start Backup, Start Restore, the list refresh and the deletion.

#include <QWidget>

class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace tw::app {

class BackupPage : public QWidget {
  Q_OBJECT

public:
  explicit BackupPage(QWidget *parent = nullptr);

  QListWidget *ltbk = nullptr;
  QLabel *lbStatus = nullptr;
  QPlainTextEdit *mWarning = nullptr;
  QGroupBox *GroupBox = nullptr;
  QLabel *lblBRScan = nullptr;
  QLabel *RestoreBackupStatus_Label = nullptr;
  QPushButton *btnBackup = nullptr;
  QPushButton *btnRestore1 = nullptr;
  QPushButton *btRefresh = nullptr;
  QPushButton *btDel = nullptr;
};

} // namespace tw::app
