#pragma once
// Child processes, started from Windows command lines.

#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {

class ProcessLauncher {
public:
  virtual ~ProcessLauncher() = default;
  /// CreateProcess + WaitForSingleObject: runs the command line hidden and waits for its end.
  /// Returns the exit code, or nothing when the program could not be started.
  virtual std::optional<int> runHiddenAndWait(std::string_view commandLine) = 0;
  /// WinExec: starts the command line and returns at once; false if it could not be started.
  virtual bool startDetached(std::string_view commandLine) = 0;
  /// ShellExecute "open" of a document or address; false if nothing could open it.
  virtual bool shellOpen(std::string_view target) = 0;
};

} // namespace tw::platform
