// Autorun: the box mirrors the Run value at start-up, each click writes or deletes exactly that
// value, the path is the program as Windows programs in the prefix see it, and a registry that
// may only be read is refused with its reason.

#include "shell_tests.h"

#include "ShellWindow.h"
#include "app/Autorun.h"
#include "app/TfmMainForm.h"
#include "registry/regfile/RegFileExport.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "platform/WineRegistry.h"
#include "registry/RegistryAccess.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QTest>

#include <filesystem>
#include <memory>
#include <optional>

using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

const char *const RunKeyText = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

/// This test program's path as Windows programs see it: the host path through drive Z:.
std::string programAsWindowsSeesIt() {
  std::string path = "Z:" + QCoreApplication::applicationFilePath().toStdString();
  for (char &c : path)
    if (c == '/') c = '\\';
  return path;
}

/// A .reg string literal of `text` (backslashes and quotes escaped).
std::string regString(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// The Run value's text, or nothing when it is missing.
std::optional<std::string> runValue() {
  tw::TRegistry registry;
  registry.CurrentRoot(tw::HKEY_CURRENT_USER);
  if (!registry.OpenRegKeyForRead(tw::app::AutorunKeyPath)) return std::nullopt;
  if (registry.ValueSize(tw::app::AutorunValueName) < 0) return std::nullopt;
  const tw::RegDataKind kind = registry.ValueKind(tw::app::AutorunValueName);
  if (kind != tw::RegDataKind::String && kind != tw::RegDataKind::ExpandString) return "(not text)";
  return registry.ReadText(tw::app::AutorunValueName);
}

/// The whole of HKEY_CURRENT_USER as the registry editor writes it.
std::string currentUserExport() {
  std::string bytes;
  const auto result = tw::regedit::exportRegText(tw::platform::machine().registry(), "HKEY_CURRENT_USER", bytes);
  if (!result) qFatal("export: %s", result.description().c_str());
  return bytes;
}

struct Window : tw::test::ShellWindow {
  using ShellWindow::ShellWindow;
  bool checked() const { return form->cbAutoRun->isChecked(); }
};

} // namespace

void AutorunTest::autorunPathIsTheProgramSeenThroughItsDrive() {
  TestMachine machine;
  QCOMPARE(QString::fromStdString(tw::app::autorunCommand()), QString::fromStdString(programAsWindowsSeesIt()));
  QVERIFY(tw::platform::machine().files().fileExists(tw::app::autorunCommand()));
}

void AutorunTest::boxMirrorsTheRegistryAtStartUp_data() {
  QTest::addColumn<QString>("value"); // a .reg value line, "%1" standing for the exact path
  QTest::addColumn<bool>("checked");
  QTest::newRow("no value") << QString() << false;
  QTest::newRow("exact path") << "\"Tidewell Registry Cleaner 2006\"=%1" << true;
  QTest::newRow("expandable text, exact path") << "\"Tidewell Registry Cleaner 2006\"=%2" << true;
  QTest::newRow("other letter case") << "\"Tidewell Registry Cleaner 2006\"=%3" << false;
  QTest::newRow("in quotes") << "\"Tidewell Registry Cleaner 2006\"=%4" << false;
  QTest::newRow("with arguments") << "\"Tidewell Registry Cleaner 2006\"=%5" << false;
  QTest::newRow("moved executable") << "\"Tidewell Registry Cleaner 2006\"=\"C:\\\\Old\\\\tidewell.exe\"" << false;
  QTest::newRow("a number") << "\"Tidewell Registry Cleaner 2006\"=dword:00000001" << false;
  QTest::newRow("other program's value") << "\"Other\"=%1" << false;
}

/// The value line of a data row, with the exact path and its variants filled in.
static std::string valueLine(const QString &pattern) {
  const QString exact = QString::fromStdString(programAsWindowsSeesIt());
  QByteArray expandable = "hex(2):";
  const std::u16string wide = exact.toStdU16String() + u'\0';
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (i) expandable += ',';
    expandable += QByteArray::number(wide[i] & 0xff, 16).rightJustified(2, '0') + ',' +
                  QByteArray::number(wide[i] >> 8, 16).rightJustified(2, '0');
  }
  const QString variants[] = {QString::fromStdString(regString(exact.toStdString())), QString::fromLatin1(expandable),
                              QString::fromStdString(regString(exact.toLower().toStdString())),
                              QString::fromStdString(regString("\"" + exact.toStdString() + "\"")),
                              QString::fromStdString(regString(exact.toStdString() + " /minimized"))};
  QString line = pattern;
  for (int i = 0; i < 5; ++i) line.replace(QStringLiteral("%%1").arg(i + 1), variants[i]);
  return line.toStdString();
}

void AutorunTest::boxMirrorsTheRegistryAtStartUp() {
  QFETCH(QString, value);
  QFETCH(bool, checked);
  Window w(value.isEmpty() ? std::string() : "[" + std::string(RunKeyText) + "]\n" + valueLine(value) + "\n");
  const std::string before = currentUserExport();
  w.open();
  QCOMPARE(w.checked(), checked);
  // Start-up only reads: the registry is as it was, a missing Run key included.
  QCOMPARE(currentUserExport(), before);
  QCOMPARE(tw::RegKeyExists(tw::HKEY_CURRENT_USER, tw::app::AutorunKeyPath), !value.isEmpty());
  QVERIFY(w.messages.errors.isEmpty());
}

void AutorunTest::clickWritesTheExactPathAndTheSecondDeletesOnlyTheValue_data() {
  QTest::addColumn<QString>("value");
  QTest::newRow("no value") << QString();
  QTest::newRow("other letter case") << "\"Tidewell Registry Cleaner 2006\"=%3";
  QTest::newRow("in quotes") << "\"Tidewell Registry Cleaner 2006\"=%4";
  QTest::newRow("with arguments") << "\"Tidewell Registry Cleaner 2006\"=%5";
  QTest::newRow("moved executable") << "\"Tidewell Registry Cleaner 2006\"=\"C:\\\\Old\\\\tidewell.exe\"";
}

void AutorunTest::clickWritesTheExactPathAndTheSecondDeletesOnlyTheValue() {
  QFETCH(QString, value);
  // Other programs' entries share the Run key; none of them may change.
  std::string registry = "[" + std::string(RunKeyText) + "]\n\"Other\"=\"C:\\\\other.exe\"\n";
  if (!value.isEmpty()) registry += valueLine(value) + "\n";
  Window w(registry);
  w.open();
  QVERIFY(!w.checked());

  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QVERIFY(w.checked());
  QCOMPARE(runValue().value_or("(missing)"), programAsWindowsSeesIt());
  const std::string whileChecked = currentUserExport();

  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QVERIFY(!w.checked());
  QVERIFY(!runValue());
  // Unchecking took away exactly the one value line that checking wrote.
  std::string withoutValue = whileChecked;
  const std::string line = "\"Tidewell Registry Cleaner 2006\"=" + regString(programAsWindowsSeesIt()) + "\r\n";
  QByteArray utf8 = QString::fromUtf16(reinterpret_cast<const char16_t *>(whileChecked.data() + 2),
                                       qsizetype((whileChecked.size() - 2) / 2)).toUtf8();
  QVERIFY2(utf8.contains(QByteArray::fromStdString(line)), utf8.constData());
  utf8.replace(QByteArray::fromStdString(line), QByteArray());
  const std::string after = currentUserExport();
  QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(after.data() + 2), qsizetype((after.size() - 2) / 2)),
           QString::fromUtf8(utf8));
  QVERIFY(w.messages.errors.isEmpty());
}

void AutorunTest::runKeyCreatedByCheckingStaysAfterUnchecking() {
  Window w;
  w.open();
  QVERIFY(!tw::RegKeyExists(tw::HKEY_CURRENT_USER, tw::app::AutorunKeyPath));
  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QVERIFY(tw::RegKeyExists(tw::HKEY_CURRENT_USER, tw::app::AutorunKeyPath));
  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QVERIFY(!runValue());
  QVERIFY(tw::RegKeyExists(tw::HKEY_CURRENT_USER, tw::app::AutorunKeyPath));
}

namespace {
const char *const SystemReg = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
const char *const UserRegHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n";

/// Replaces the test machine's registry with the Wine registry of its prefix folder, holding
/// `userReg` as user.reg.
std::string installWineRegistry(TestMachine &machine, const std::string &userReg, bool readOnly) {
  TestMachine::writeFile(machine.prefix() / "system.reg", SystemReg);
  TestMachine::writeFile(machine.prefix() / "user.reg", UserRegHeader + userReg);
  tw::platform::RegistryLoadResult loaded;
  tw::platform::WineRegistryOptions options;
  options.readOnly = readOnly;
  options.ignoreRunningServer = true;
  auto registry = tw::platform::openWineRegistry(machine.prefix().string(), loaded, options);
  if (!registry) return loaded.description();
  tw::platform::installMachine(tw::platform::makeMachine(machine.prefix().string(), std::move(registry)));
  return {};
}
} // namespace

void AutorunTest::checkedBoxReachesTheRegistryFiles() {
  Window w;
  const std::string problem = installWineRegistry(w.machine, "", /*readOnly=*/false);
  QVERIFY2(problem.empty(), problem.c_str());
  w.open();
  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QVERIFY(w.messages.errors.isEmpty());
  // Wine's own format: the key below the user's root, the value with its backslashes doubled.
  const std::string userReg = TestMachine::readFile(w.machine.prefix() / "user.reg");
  QVERIFY2(userReg.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run]") != std::string::npos, userReg.c_str());
  QVERIFY2(userReg.find("\"Tidewell Registry Cleaner 2006\"=" + regString(programAsWindowsSeesIt())) != std::string::npos,
           userReg.c_str());

  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  const std::string unchecked = TestMachine::readFile(w.machine.prefix() / "user.reg");
  QVERIFY(unchecked.find("Tidewell Registry Cleaner 2006") == std::string::npos);
  QVERIFY(unchecked.find("CurrentVersion\\\\Run]") != std::string::npos);
}

void AutorunTest::readOnlyRegistryRefusesWithTheReason() {
  Window w;
  const std::string userReg = "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run] 1700000000\n"
                              "\"Tidewell Registry Cleaner 2006\"=" + regString(programAsWindowsSeesIt()) + "\n";
  const std::string problem = installWineRegistry(w.machine, userReg, /*readOnly=*/true);
  QVERIFY2(problem.empty(), problem.c_str());
  const std::string before = TestMachine::readFile(w.machine.prefix() / "user.reg");
  w.open();
  // The registry may only be read, yet it says that the program is registered.
  QVERIFY(w.checked());
  QVERIFY(w.messages.errors.isEmpty());

  QTest::mouseClick(w.form->cbAutoRun, Qt::LeftButton);
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors.first().startsWith(QStringLiteral("The autorun entry cannot be changed: ")),
           qPrintable(w.messages.errors.first()));
  QVERIFY(w.messages.errors.first().contains(QString::fromStdString(tw::platform::machine().registry().readOnlyReason())));
  QVERIFY(w.checked());
  QCOMPARE(runValue().value_or("(missing)"), programAsWindowsSeesIt());
  QCOMPARE(TestMachine::readFile(w.machine.prefix() / "user.reg"), before);
}
