#pragma once
// The backup page (tabBackup): the restore points, the progress label, the advice memo and the
// control panel with Start Backup, Start Restore, the list refresh and the deletion.

#include <QWidget>

#include <string>
#include <vector>

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

  /// The names in ltbk, first to last.
  std::vector<std::string> restorePoints() const;
  /// The name of the selected row of ltbk, or empty when no row is selected.
  std::string selectedRestorePoint() const;
  /// Replaces the rows of ltbk by `names`, in their order.
  void showRestorePoints(const std::vector<std::string> &names);
  /// Appends `names` to ltbk.
  void appendRestorePoints(const std::vector<std::string> &names);
  /// Removes the first row named `name`.
  void removeRestorePoint(const std::string &name);
  /// Sets the text of lbStatus.
  void setStatus(const std::string &text);

signals:
  /// The four buttons of the control panel.
  void backupRequested();
  void restoreRequested();
  void refreshRequested();
  void deleteRequested();
  /// lbStatus was given a new text.
  void statusChanged(const QString &text);

public:

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
