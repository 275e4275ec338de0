// Runs the window's QtTest classes; the first argument, when it names a class, runs only that
// one (ctest runs each class as a test of its own).

#include "backup_page_test.h"
#include "list_model_test.h"
#include "main_form_test.h"
#include "scan_page_test.h"
#include "splash_test.h"

#include <QApplication>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  const std::map<QString, std::function<std::unique_ptr<QObject>()>> classes = {
      {"BackupPageTest", [] { return std::make_unique<BackupPageTest>(); }},
      {"ListModelTest", [] { return std::make_unique<ListModelTest>(); }},
      {"MainFormTest", [] { return std::make_unique<MainFormTest>(); }},
      {"ScanPageTest", [] { return std::make_unique<ScanPageTest>(); }},
      {"SplashTest", [] { return std::make_unique<SplashTest>(); }},
  };
  QStringList arguments = QApplication::arguments();
  QString only;
  if (arguments.size() > 1 && classes.count(arguments.at(1))) only = arguments.takeAt(1);
  int failures = 0;
  for (const auto &[name, make] : classes) {
    if (!only.isEmpty() && name != only) continue;
    std::unique_ptr<QObject> test = make();
    failures += QTest::qExec(test.get(), arguments);
  }
  return failures;
}
