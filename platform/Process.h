#pragma once
// Child processes, started from Windows command lines. Command lines are split into arguments
// as Windows programs split them (double quotes group, backslashes escape quotes), and the
// program's Windows path is mapped to the program that runs on this machine.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {

class ProcessLauncher {
public:
  virtual ~ProcessLauncher() = default;
  /// CreateProcess + WaitForSingleObject: runs a program hidden (no window, no console output)
  /// and waits for its end. `applicationName` is the program's Windows path; when it is empty
  /// the first word of `commandLine` names the program, otherwise `commandLine` holds only the
  /// arguments. `workingFolder` is a Windows path; empty keeps the current folder.
  /// Returns the exit code, or nothing when the program could not be started (no such program,
  /// working folder missing).
  virtual std::optional<int> runHiddenAndWait(std::string_view applicationName,
                                              std::string_view commandLine,
                                              std::string_view workingFolder) = 0;
  /// runHiddenAndWait, keeping what the program wrote to its error output in `errorOutput`
  /// (its first MaxErrorOutput bytes), so that a caller can tell the user why it failed. A
  /// launcher that cannot capture leaves `errorOutput` empty.
  virtual std::optional<int> runHiddenAndWaitCapturing(std::string_view applicationName,
                                                       std::string_view commandLine,
                                                       std::string_view workingFolder,
                                                       std::string &errorOutput) {
    errorOutput.clear();
    return runHiddenAndWait(applicationName, commandLine, workingFolder);
  }
  /// How much of a child's error output runHiddenAndWaitCapturing keeps.
  static constexpr std::size_t MaxErrorOutput = 64 * 1024;
  /// WinExec: starts the command line (program first) and returns at once; false if it could
  /// not be started. The program gets the arguments the command line holds, split as Windows
  /// programs split them, and nothing else: no shell ever reads the line.
  virtual bool startDetached(std::string_view commandLine) = 0;
  /// Why no Windows program can be started here (on a Wine prefix: Wine is not installed), as a
  /// sentence for the user; empty when they can be.
  virtual std::string startProblem() const = 0;
  /// ShellExecute "open" of a document (a Windows path) or an address ("https://..."); false if
  /// the document does not exist or nothing could open it.
  virtual bool shellOpen(std::string_view target) = 0;
};

} // namespace tw::platform
