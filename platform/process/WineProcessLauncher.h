#pragma once
// Child processes of a program working on a Wine prefix. The registry editor of the Windows
// folder ("C:\windows\regedit.exe", or "regedit" alone) is our tidewell-regedit, found through
// the environment variable TIDEWELL_REGEDIT or beside the running executable; other programs
// are the host files their Windows paths name. A detached start (WinExec) runs a Windows
// program (a file that begins as executables do, with "MZ") through the Wine found on the PATH,
// and a host program of the prefix (a script) as it is. Every child gets WINEPREFIX set to the
// prefix, so it works on the same registry.

#include "platform/Process.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {

class SystemInfo;
class WineFileSystem;

class WineProcessLauncher final : public ProcessLauncher {
public:
  /// Both must outlive this object.
  WineProcessLauncher(const WineFileSystem &files, const SystemInfo &system);

  std::optional<int> runHiddenAndWait(std::string_view applicationName,
                                      std::string_view commandLine,
                                      std::string_view workingFolder) override;
  std::optional<int> runHiddenAndWaitCapturing(std::string_view applicationName,
                                               std::string_view commandLine,
                                               std::string_view workingFolder,
                                               std::string &errorOutput) override;
  bool startDetached(std::string_view commandLine) override;
  /// Says that Wine is not installed when no "wine" program is on the PATH.
  std::string startProblem() const override;
  /// Opens the document or address with xdg-open (found on PATH); false when there is none.
  bool shellOpen(std::string_view target) override;

  /// The host program that runs for the Windows program path `program`, or nothing when there
  /// is none that can run here.
  std::optional<std::string> hostProgramFor(std::string_view program) const;

  /// True when `program` names the registry editor of the Windows folder.
  bool isRegistryEditor(std::string_view program) const;

private:
  std::optional<int> run(std::string_view applicationName, std::string_view commandLine,
                         std::string_view workingFolder, std::string *errorOutput);
  /// A program file found for a Windows program path: that path as found, and its host file.
  struct FoundProgram {
    std::string windowsPath;
    std::string hostPath;
  };
  std::optional<std::string> registryEditor() const;
  std::optional<FoundProgram> findProgramFile(std::string_view program,
                                              bool (*acceptable)(const std::string &)) const;
  std::vector<std::string> childEnvironment() const;

  const WineFileSystem &m_files;
  const SystemInfo &m_system;
};

} // namespace tw::platform
