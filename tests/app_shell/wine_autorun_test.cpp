// Autorun against Wine itself: the value the box writes into a wineboot prefix is what Wine's
// reg.exe reads, and Wine's log-on (wineboot) starts the program it names. The program named is
// this test program, which, started with TIDEWELL_AUTORUN_MARKER set, only writes that file.

#include "shell_tests.h"

#include "app/Autorun.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "registry/RegistryAccess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <filesystem>

namespace {

/// Runs a Wine program in `prefix`; its standard output, or nothing when it failed.
QString runWine(const QString &prefix, const QStringList &command, const QString &marker = {}) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("WINEPREFIX"), prefix);
  environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
  environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
  environment.remove(QStringLiteral("DISPLAY"));
  if (!marker.isEmpty()) environment.insert(QStringLiteral("TIDEWELL_AUTORUN_MARKER"), marker);
  process.setProcessEnvironment(environment);
  process.start(command.first(), command.mid(1));
  if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit) return {};
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

void WineAutorunTest::wineStartsTheProgramTheBoxRegistered() {
  if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty() ||
      QStandardPaths::findExecutable(QStringLiteral("wineserver")).isEmpty())
    QSKIP("Wine is not installed");
  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  const QString prefix = scratch.filePath(QStringLiteral("prefix"));
  runWine(prefix, {"wineboot", "-i"});
  runWine(prefix, {"wineserver", "-w"});
  QVERIFY2(QFile::exists(prefix + QStringLiteral("/user.reg")), "wineboot made no prefix");

  // The box's click on the prefix's own registry, saved to its files.
  tw::platform::PrefixOpenResult opened;
  auto machine = tw::platform::openWinePrefix(prefix.toStdString(), opened);
  QVERIFY2(machine, opened.description().c_str());
  tw::platform::installMachine(std::move(machine));
  tw::app::SetAutorun(true);
  const tw::RegistryFlushResult flushed = tw::FlushRegistry();
  QVERIFY2(flushed, flushed.description().c_str());
  QVERIFY(tw::app::IsAutorunEnabled());

  // Wine reads the value as written.
  const QString listed = runWine(prefix, {"wine", "reg", "query",
                                          "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"});
  QVERIFY2(listed.contains(QStringLiteral("Tidewell Registry Cleaner 2006    REG_SZ    ") +
                           QString::fromStdString(tw::app::autorunCommand())),
           qPrintable(listed));

  // Wine's log-on starts it.
  const QString marker = scratch.filePath(QStringLiteral("started"));
  runWine(prefix, {"wine", "wineboot"}, marker);
  QDeadlineTimer deadline(60000);
  while (!QFile::exists(marker) && !deadline.hasExpired()) QThread::msleep(100);
  runWine(prefix, {"wineserver", "-k"});
  QVERIFY2(QFile::exists(marker), "wineboot did not start the program of the Run value");
}
