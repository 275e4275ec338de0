// Help and Manual: help.chm beside the program comes first, then the manual installed with it;
// both open with the desktop's default handler, and a missing file opens nothing and says nothing.

#include "shell_tests.h"

#include "ShellWindow.h"
#include "app/HelpFiles.h"
#include "app/TfmMainForm.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <random>

using tw::app::TfmMainForm;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

/// Stands in for the desktop's handler of local files.
class OpenedFiles : public QObject {
  Q_OBJECT

public:
  OpenedFiles() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
  ~OpenedFiles() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
  QStringList paths;

public slots:
  void open(const QUrl &url) { paths << url.toLocalFile(); }
};

/// A scratch folder that goes with the test.
struct Scratch {
  fs::path root;
  Scratch() {
    std::random_device random;
    root = fs::temp_directory_path() / ("tw-help-test-" + std::to_string(random()));
    fs::create_directories(root);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

QString text(const fs::path &path) { return QString::fromStdString(path.lexically_normal().string()); }

} // namespace

void HelpTest::helpFileBesideTheProgramComesFirst() {
  Scratch scratch;
  const fs::path bin = scratch.root / "usr" / "bin";
  const fs::path manual = scratch.root / "usr" / "share" / "tidewell" / "manual" / "index.html";
  fs::create_directories(bin);
  QVERIFY(tw::app::helpDocument(bin).empty());
  QVERIFY(tw::app::manualFrontPage(bin).empty());

  TestMachine::writeFile(manual, "<html></html>");
  QCOMPARE(text(tw::app::helpDocument(bin)), text(manual));
  QCOMPARE(text(tw::app::manualFrontPage(bin)), text(manual));

  // A folder of that name is no help file.
  fs::create_directory(bin / "help.chm");
  QCOMPARE(text(tw::app::helpDocument(bin)), text(manual));
  fs::remove(bin / "help.chm");
  TestMachine::writeFile(bin / "help.chm", "ITSF");
  QCOMPARE(text(tw::app::helpDocument(bin)), text(bin / "help.chm"));
  fs::remove(manual);
  QCOMPARE(text(tw::app::helpDocument(bin)), text(bin / "help.chm"));
  QVERIFY(tw::app::manualFrontPage(bin).empty());
}

void HelpTest::manualIsFoundBesideTheProgram() {
  const fs::path frontPage = tw::app::manualFrontPage(TIDEWELL_PROGRAM_DIR);
  QVERIFY2(!frontPage.empty(), TIDEWELL_PROGRAM_DIR);
  const QString page = QString::fromStdString(TestMachine::readFile(frontPage));
  // Every page of the window, and the help button, has its part of the manual.
  for (const char *caption : {"Scan and Fix Errors", "IE Plugins", "IE Traces Cleaning", "Startup Programs",
                              "Uninstall Manager", "Backup and Restore", "Restore History", "Ignore List",
                              "Help and Manual", "Autorun when Windows starts", "Show Main Window"})
    QVERIFY2(page.contains(QString::fromLatin1(caption)), caption);
  // Every picture the manual shows is there.
  const QRegularExpression image(QStringLiteral("<img src=\"([^\"]+)\""));
  int pictures = 0;
  for (const QRegularExpressionMatch &m : image.globalMatch(page)) {
    ++pictures;
    QVERIFY2(fs::is_regular_file(frontPage.parent_path() / m.captured(1).toStdString()), qPrintable(m.captured(1)));
  }
  QVERIFY(pictures >= 8);
}

void HelpTest::buttonsOpenWithTheDesktopAndMissingFilesSayNothing() {
  tw::test::ShellWindow w;
  OpenedFiles opened;
  TfmMainForm &form = w.open(/*show=*/true);
  const tw::test::RecordedMessages &messages = w.messages;
  const fs::path programDir = QCoreApplication::applicationDirPath().toStdString();
  const fs::path helpFile = programDir / "help.chm";
  const fs::path manualDir = programDir / tw::app::ManualFolderFromExecutable;
  QVERIFY2(!fs::exists(helpFile) && !fs::exists(manualDir), "leftovers beside the test program");

  // Nothing to open: nothing opens and nothing is said.
  form.SpeedButton2->click();
  QTest::mouseClick(form.Image2, Qt::LeftButton);
  QVERIFY(opened.paths.isEmpty());
  QVERIFY(messages.errors.isEmpty() && messages.notices.isEmpty());

  // The manual beside the program: the help button and the picture open its front page.
  TestMachine::writeFile(manualDir / "index.html", "<html></html>");
  form.SpeedButton2->click();
  QTest::mouseClick(form.Image2, Qt::LeftButton);
  // help.chm beside the program wins over the manual; the picture still opens the manual.
  TestMachine::writeFile(helpFile, "ITSF");
  form.SpeedButton2->click();
  QTest::mouseClick(form.Image2, Qt::LeftButton);
  std::error_code ignored;
  fs::remove(helpFile, ignored);
  fs::remove_all((programDir / "../share").lexically_normal(), ignored);

  const QString manual = text(manualDir / "index.html");
  QCOMPARE(opened.paths, (QStringList{manual, manual, text(helpFile), manual}));
  QVERIFY(messages.errors.isEmpty() && messages.notices.isEmpty());
  QVERIFY(form.close());
}

#include "help_test.moc"
