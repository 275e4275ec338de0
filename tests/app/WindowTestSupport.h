#pragma once
// A machine for window tests: a temporary Wine prefix folder (drive C:, and Z: for the host's
// folders) with an in-memory registry or registry files of its own, and a temporary current
// folder. Installed for the process while it lives; the previous current folder comes back at
// the end.

#include "app/UserMessages.h"

#include <QStringList>

#include <filesystem>
#include <string>
#include <string_view>

namespace tw::test {

class TestMachine {
public:
  /// Memory: a registry in memory. WineFiles: the prefix's own system.reg, user.reg and
  /// userdef.reg, opened as the program opens a prefix.
  enum class RegistryKind { Memory, WineFiles };

  explicit TestMachine(RegistryKind kind = RegistryKind::Memory);
  ~TestMachine();
  TestMachine(const TestMachine &) = delete;
  TestMachine &operator=(const TestMachine &) = delete;

  /// Imports a .reg body (without the header line) into the registry; false with a message on
  /// failure.
  bool importReg(std::string_view body, std::string *error = nullptr);

  /// Opens the prefix's registry files again, as a new run of the program would (WineFiles
  /// only), and installs the machine. Returns why the registry may only be read, empty when it
  /// may be written; "cannot open: ..." when the prefix does not open.
  std::string reopenPrefix();

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

/// A real wineserver running for a prefix, as Wine programs start one, stopped ("wineserver -k")
/// at the end. `started()` is false when Wine is not installed or the server did not start.
class RunningWineServer {
public:
  explicit RunningWineServer(const std::filesystem::path &prefix);
  ~RunningWineServer();
  RunningWineServer(const RunningWineServer &) = delete;
  RunningWineServer &operator=(const RunningWineServer &) = delete;

  bool started() const { return m_started; }

private:
  std::filesystem::path m_prefix;
  bool m_started = false;
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
