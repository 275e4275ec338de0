// Runs the window's QtTest classes (TestClassRunner.h).

#include "backup_page_test.h"
#include "list_model_test.h"
#include "main_form_test.h"
#include "scan_page_test.h"
#include "splash_test.h"

#include "TestClassRunner.h"

#include <QApplication>

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  const tw::test::TestClassMakers classes = {
      {"BackupPageTest", [] { return std::make_unique<BackupPageTest>(); }},
      {"ListModelTest", [] { return std::make_unique<ListModelTest>(); }},
      {"MainFormTest", [] { return std::make_unique<MainFormTest>(); }},
      {"ScanPageTest", [] { return std::make_unique<ScanPageTest>(); }},
      {"SplashTest", [] { return std::make_unique<SplashTest>(); }},
  };
  return tw::test::runTestClasses(classes);
}
