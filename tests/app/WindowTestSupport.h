#pragma once
// A machine for window tests: a temporary Wine prefix folder (drive C:, and Z: for the host's
// folders) with an in-memory registry, and a temporary current folder. Installed for the process
// while it lives; the previous current folder comes back at the end.

#include "app/UserMessages.h"

#include <QStringList>

#include <filesystem>
#include <string>
#include <string_view>

namespace tw::test {

class TestMachine {
public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine &) = delete;
  TestMachine &operator=(const TestMachine &) = delete;

  /// Imports a .reg body (without the header line) into the registry; false with a message on
  /// failure.
  bool importReg(std::string_view body, std::string *error = nullptr);

  const std::filesystem::path &prefix() const { return m_prefix; }
  /// The current folder of the test (where ignore.xml is looked for).
  const std::filesystem::path &currentFolder() const { return m_current; }
  /// The host folder of C:\ProgramData\Tidewell Registry Cleaner 2006.
  std::filesystem::path programFolder() const;

  static void writeFile(const std::filesystem::path &path, std::string_view content);
  static std::string readFile(const std::filesystem::path &path);

private:
  std::filesystem::path m_root;
  std::filesystem::path m_prefix;
  std::filesystem::path m_current;
  std::filesystem::path m_previousCurrent;
};

/// Messages the window would show, recorded instead.
class RecordedMessages : public app::UserMessages {
public:
  void showError(QWidget *, const QString &text) override { errors << text; }
  void showInformation(QWidget *, const QString &text) override { notices << text; }
  bool confirm(QWidget *, const QString &question) override {
    questions << question;
    return confirmAnswer;
  }

  QStringList errors;
  QStringList notices;
  QStringList questions;
  /// What every confirmation is answered.
  bool confirmAnswer = true;
};

} // namespace tw::test
