#pragma once
// The main window over a fresh test machine, for the shell's tests.

#include "WindowTestSupport.h"
#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"

#include <filesystem>
#include <memory>
#include <string>

namespace tw::test {

struct ShellWindow {
  TestMachine machine;
  RecordedMessages messages;
  app::QtUiDispatcher dispatcher;
  std::unique_ptr<app::TfmMainForm> form;

  /// A machine whose registry holds `registry` (a .reg body); the window is not made yet.
  explicit ShellWindow(const std::string &registry = {}) {
    std::string error;
    if (!registry.empty() && !machine.importReg(registry, &error)) qFatal("test registry: %s", error.c_str());
  }
  /// Makes the window (its start-up runs), and shows it when asked.
  app::TfmMainForm &open(bool show = false) {
    form = std::make_unique<app::TfmMainForm>(dispatcher, messages);
    if (show) form->show();
    return *form;
  }
  std::filesystem::path undoStore() const { return machine.programFolder() / "Backup.xml"; }
};

} // namespace tw::test
