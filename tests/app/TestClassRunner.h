#pragma once
// Runs a test program's QtTest classes: the first argument, when it names a class, runs only
// that one (ctest runs each class as a test of its own). Classes in `onlyWhenAsked` (a display
// of their own, a minute of Wine) run only when named.

#include <QCoreApplication>
#include <QObject>
#include <QStringList>
#include <QTest>

#include <functional>
#include <map>
#include <memory>
#include <set>

namespace tw::test {

using TestClassMakers = std::map<QString, std::function<std::unique_ptr<QObject>()>>;

inline int runTestClasses(const TestClassMakers &classes, const std::set<QString> &onlyWhenAsked = {}) {
  QStringList arguments = QCoreApplication::arguments();
  QString only;
  if (arguments.size() > 1 && classes.count(arguments.at(1))) only = arguments.takeAt(1);
  int failures = 0;
  for (const auto &[name, make] : classes) {
    if (!only.isEmpty() && name != only) continue;
    if (only.isEmpty() && onlyWhenAsked.count(name)) continue;
    std::unique_ptr<QObject> test = make();
    failures += QTest::qExec(test.get(), arguments);
  }
  return failures;
}

} // namespace tw::test
