#pragma once
// The runs of the system registry editor that backup and restore start: its place in the
// Windows folder, its two command lines, and RunHiddenAndWait, which starts a program hidden
// and waits for its end. Each child is given its working folder directly, so that a backup and
// a restore running at the same time never exchange folders; the process's own current folder
// is never changed.

#include <string>
#include <string_view>

namespace tw::platform {
class ProcessLauncher;
}

namespace tw::backup {

/// How a child process ended.
struct ChildRun {
  bool started = false;    ///< false: it could not be started (no such program or folder)
  int exitStatus = 0;      ///< the exit status once it ended
  std::string errorOutput; ///< what it wrote to its error output (the start of it)
  bool succeeded() const { return started && exitStatus == 0; }
};

/// Starts `application` (a Windows path) with `commandLine` (the arguments only) hidden, in
/// `workingFolder` (a Windows path), and waits without time limit until it has ended.
ChildRun RunHiddenAndWait(platform::ProcessLauncher &processes, std::string_view application,
                          std::string_view commandLine, std::string_view workingFolder);

/// GetWindowsDir + "regedit.exe".
std::string registryEditorPath();

/// The export command line for `root`: ` /e "ROOT.reg" "ROOT"`.
std::string exportCommandLine(std::string_view root);

/// The import command line for `root`: ` /s /i ROOT.reg`.
std::string importCommandLine(std::string_view root);

/// Why a run of the registry editor failed, in one line for the user; empty when it succeeded.
std::string failureReason(const ChildRun &run);

} // namespace tw::backup
