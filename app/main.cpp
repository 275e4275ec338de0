// Tidewell Registry Cleaner 2006: the window over the Wine prefix in $WINEPREFIX (or ~/.wine).

#include "app/ProgramFiles.h"
#include "app/QtUiDispatcher.h"
#include "app/ScreenshotTour.h"
#include "app/TSplashScreen.h"
#include "app/TfmMainForm.h"
#include "app/UserMessages.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  using namespace tw;

  // A developer's option for screenshots; the program itself reads no command line.
  QString screenshotFolder;
  const QStringList arguments = QApplication::arguments();
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot-pages"));
      at >= 0 && at + 1 < arguments.size())
    screenshotFolder = arguments.at(at + 1);

  auto splash = std::make_unique<app::TSplashScreen>();
  splash->showAndPaint();
  QApplication::setApplicationName(QString::fromLatin1(app::ProgramTitle));

  platform::PrefixOpenResult opened;
  std::unique_ptr<platform::Machine> machine =
      platform::openMachine("", opened);
  if (!machine) {
    splash->hide();
    if (screenshotFolder.isEmpty())
      QMessageBox::critical(nullptr, QString::fromLatin1(app::ProgramTitle),
                            QString::fromStdString(opened.description()));
    else
      std::fprintf(stderr, "error: %s\n", opened.description().c_str());
    return 1;
  }
  platform::installMachine(std::move(machine));

  app::QtUiDispatcher dispatcher;
  app::MessageBoxes messageBoxes;
  app::PrintedMessages printedMessages;
  app::UserMessages &messages = screenshotFolder.isEmpty()
                                    ? static_cast<app::UserMessages &>(messageBoxes)
                                    : printedMessages;
  auto form = std::make_unique<app::TfmMainForm>(dispatcher, messages);
  if (opened.readOnly()) form->addStartupNotice(QString::fromStdString(opened.readOnlyReason));

  int status = 0;
  if (screenshotFolder.isEmpty()) {
    // The splash goes once the window is built; showing the window runs FormShow.
    splash.reset();
    form->show();
    status = QApplication::exec();
  } else {
    form->show();
    status = app::takeScreenshots(*form, *splash, screenshotFolder) ? 0 : 1;
    splash.reset();
    form->close();
  }
  // Program exit waits for every running worker.
  form.reset();
  return status;
}
