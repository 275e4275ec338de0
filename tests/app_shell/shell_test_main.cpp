// Runs the shell's QtTest classes; the first argument, when it names a class, runs only that one
// (ctest runs each class as a test of its own).

#include "shell_tests.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

int main(int argc, char *argv[]) {
  // Started by Wine's log-on from the Run value that WineAutorunTest registered: say so, and end.
  if (const QByteArray marker = qgetenv("TIDEWELL_AUTORUN_MARKER"); !marker.isEmpty()) {
    QFile file(QString::fromLocal8Bit(marker));
    return file.open(QIODevice::WriteOnly) ? 0 : 1;
  }
  QApplication application(argc, argv);
  const std::map<QString, std::function<std::unique_ptr<QObject>()>> classes = {
      {"AutorunTest", [] { return std::make_unique<AutorunTest>(); }},
      {"HelpTest", [] { return std::make_unique<HelpTest>(); }},
      {"TrayTest", [] { return std::make_unique<TrayTest>(); }},
      {"TrayHostTest", [] { return std::make_unique<TrayHostTest>(); }},
      {"WineAutorunTest", [] { return std::make_unique<WineAutorunTest>(); }},
  };
  QStringList arguments = QApplication::arguments();
  QString only;
  if (arguments.size() > 1 && classes.count(arguments.at(1))) only = arguments.takeAt(1);
  int failures = 0;
  for (const auto &[name, make] : classes) {
    if (!only.isEmpty() && name != only) continue;
    // The tray host test needs a display of its own and the Wine test a minute: each runs only
    // when asked for.
    if (only.isEmpty() && (name == QStringLiteral("TrayHostTest") || name == QStringLiteral("WineAutorunTest")))
      continue;
    std::unique_ptr<QObject> test = make();
    failures += QTest::qExec(test.get(), arguments);
  }
  return failures;
}
