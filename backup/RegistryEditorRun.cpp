#include "backup/RegistryEditorRun.h"

#include "backup/RestorePoints.h"
#include "platform/Process.h"
#include "registry/uUtils.h"

namespace tw::backup {

ChildRun RunHiddenAndWait(platform::ProcessLauncher &processes, std::string_view application,
                          std::string_view commandLine, std::string_view workingFolder) {
  ChildRun run;
  const std::optional<int> status =
      processes.runHiddenAndWaitCapturing(application, commandLine, workingFolder, run.errorOutput);
  run.started = status.has_value();
  run.exitStatus = status.value_or(0);
  return run;
}

std::string registryEditorPath() { return GetWindowsDir() + "regedit.exe"; }

std::string exportCommandLine(std::string_view root) {
  return " /e \"" + rootFileName(root) + "\" \"" + std::string(root) + "\"";
}

std::string importCommandLine(std::string_view root) { return " /s /i " + rootFileName(root); }

// The editor's own words, on one line: its first few lines of error output.
static std::string errorText(const std::string &output) {
  constexpr int MaxLines = 3;
  std::string text;
  int lines = 0;
  std::size_t at = 0;
  while (at < output.size() && lines < MaxLines) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(at, end - at);
    at = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (!text.empty()) text += "; ";
    text += line;
    ++lines;
  }
  return text;
}

std::string failureReason(const ChildRun &run) {
  if (!run.started) return "the registry editor " + registryEditorPath() + " could not be started";
  if (run.exitStatus == 0) return {};
  std::string reason = "the registry editor ended with exit status " + std::to_string(run.exitStatus);
  if (const std::string said = errorText(run.errorOutput); !said.empty()) reason += ": " + said;
  return reason;
}

} // namespace tw::backup
