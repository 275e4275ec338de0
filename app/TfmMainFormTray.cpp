// The main window's notification-area icon, minimising to it, the autorun box, the help button
// and the picture below the page buttons.
//
// The icon shows from start-up to exit; Qt docks it in the desktop's notification area as soon
// as one appears, and again when the area starts anew. Minimising hides the window and its
// taskbar entry when the desktop has a notification area; without one the window minimises as
// usual, since a hidden window with no icon could never come back. For the same reason a window
// hidden to the area comes back when the area goes away.

#include "app/TfmMainForm.h"

#include "app/Autorun.h"
#include "app/HelpFiles.h"
#include "app/Pictures.h"
#include "app/ProgramFiles.h"
#include "app/UserMessages.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "registry/RegistryAccess.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

namespace tw::app {

namespace {
/// How often a window hidden to the notification area looks whether the area is still there.
constexpr int TrayWatchIntervalMs = 1000;

/// Opens a local file with the desktop's default handler; a missing file opens nothing and
/// says nothing.
void openWithDesktop(const std::filesystem::path &file) {
  if (file.empty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

std::filesystem::path executableFolder() {
  return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
}
} // namespace

bool TfmMainForm::trayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TfmMainForm::buildTrayIcon() {
  setWindowIcon(programIcon());

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Show1 = PopupMenu1->addAction(QStringLiteral("Show Main Window"));
  Show1->setObjectName(QStringLiteral("Show1"));
  Exit1 = PopupMenu1->addAction(QStringLiteral("Exit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));

  trayIcon = new QSystemTrayIcon(trayIconPicture(), this);
  trayIcon->setObjectName(QStringLiteral("trayIcon"));
  trayIcon->setToolTip(QString::fromLatin1(ProgramTitle));
  trayIcon->setContextMenu(PopupMenu1);

  connect(Show1, &QAction::triggered, this, &TfmMainForm::Show1Click);
  connect(Exit1, &QAction::triggered, this, &TfmMainForm::Exit1Click);
  connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) Show1Click();
  });
  connect(cbAutoRun, &QCheckBox::clicked, this, &TfmMainForm::cbAutoRunClick);
  connect(SpeedButton2, &QToolButton::clicked, this, &TfmMainForm::SpeedButton2Click);
  Image2->installEventFilter(this);

  trayIcon->show();
  m_trayWatch = new QTimer(this);
  m_trayWatch->setInterval(TrayWatchIntervalMs);
  connect(m_trayWatch, &QTimer::timeout, this, &TfmMainForm::comeBackWhenTheTrayGoes);
}

void TfmMainForm::comeBackWhenTheTrayGoes() {
  if (!trayAvailable()) ShowMainWindow();
}

void TfmMainForm::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  if (!trayAvailable()) return; // minimised as usual
  MinimizeToTray = true;
  // Hiding from inside the state change would leave the window system half-way.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized()) HideMainWindow();
  });
}

void TfmMainForm::HideMainWindow() {
  // A hidden top-level window has no taskbar entry either; the icon stays.
  hide();
  if (!trayIcon->isVisible()) trayIcon->show();
  m_trayWatch->start();
}

void TfmMainForm::ShowMainWindow() {
  m_trayWatch->stop();
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void TfmMainForm::Show1Click() { ShowMainWindow(); }

void TfmMainForm::Exit1Click() {
  // The close box's path: stop a running scan, write the undo store.
  m_trayWatch->stop();
  if (close()) {
    QCoreApplication::quit();
    return;
  }
  // The window stays open (the undo store could not be written): let the user see it.
  ShowMainWindow();
}

void TfmMainForm::setAutorunBoxFromRegistry() {
  // Start-up changes nothing in the registry: a checked box means the entry already holds
  // exactly this program's path, so writing it again would only mark the user's registry file
  // changed (and a later save of it would then clash with anything Wine wrote there meanwhile).
  const QSignalBlocker quiet(cbAutoRun);
  cbAutoRun->setChecked(IsAutorunEnabled());
}

void TfmMainForm::cbAutoRunClick() {
  const bool wanted = cbAutoRun->isChecked();
  const std::string readOnly = platform::machine().registry().readOnlyReason();
  if (!readOnly.empty()) {
    const QSignalBlocker quiet(cbAutoRun);
    cbAutoRun->setChecked(IsAutorunEnabled());
    m_messages.showError(this, QStringLiteral("The autorun entry cannot be changed: %1")
                                   .arg(QString::fromStdString(readOnly)));
    return;
  }
  try {
    SetAutorun(wanted);
  } catch (const ERegistryException &error) {
    // The box keeps showing what the registry holds.
    const QSignalBlocker quiet(cbAutoRun);
    cbAutoRun->setChecked(IsAutorunEnabled());
    m_messages.showError(this, QString::fromUtf8(error.what()));
    return;
  }
  if (const RegistryFlushResult flushed = FlushRegistry(); !flushed)
    m_messages.showError(this, QString::fromStdString(flushed.description()));
}

void TfmMainForm::SpeedButton2Click() { openWithDesktop(helpDocument(executableFolder())); }

void TfmMainForm::Image2Click() { openWithDesktop(manualFrontPage(executableFolder())); }

bool TfmMainForm::eventFilter(QObject *watched, QEvent *event) {
  if (watched == Image2 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
      Image2->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
    Image2Click();
  return QWidget::eventFilter(watched, event);
}

} // namespace tw::app
