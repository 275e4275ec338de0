// Runs the shell's QtTest classes (TestClassRunner.h).

#include "shell_tests.h"

#include "TestClassRunner.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[]) {
  // Started by Wine's log-on from the Run value that WineAutorunTest registered: say so, and end.
  if (const QByteArray marker = qgetenv("TIDEWELL_AUTORUN_MARKER"); !marker.isEmpty()) {
    QFile file(QString::fromLocal8Bit(marker));
    return file.open(QIODevice::WriteOnly) ? 0 : 1;
  }
  QApplication application(argc, argv);
  const tw::test::TestClassMakers classes = {
      {"AutorunTest", [] { return std::make_unique<AutorunTest>(); }},
      {"HelpTest", [] { return std::make_unique<HelpTest>(); }},
      {"TrayTest", [] { return std::make_unique<TrayTest>(); }},
      {"TrayHostTest", [] { return std::make_unique<TrayHostTest>(); }},
      {"WineAutorunTest", [] { return std::make_unique<WineAutorunTest>(); }},
  };
  // The tray host test needs a display of its own and the Wine test a minute: each runs only
  // when asked for.
  return tw::test::runTestClasses(classes, {QStringLiteral("TrayHostTest"), QStringLiteral("WineAutorunTest")});
}
