#include "platform/win32/Win32ProcessLauncher.h"

#include "platform/SystemInfo.h"
#include "platform/process/CommandLine.h"
#include "platform/win32/WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

namespace tw::platform {

namespace {

using win32::toWide;

constexpr const char *RegistryEditorFileName = "tidewell-regedit.exe";

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::CompareStringOrdinal(toWide(a).c_str(), -1, toWide(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string_view withoutTrailingBackslash(std::string_view path) {
  while (path.size() > 3 && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// Starts a child with the command line `line`, hidden; the handles come back to the caller.
bool startHidden(const std::wstring &application, std::wstring line, const std::wstring &folder,
                 PROCESS_INFORMATION &process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  return ::CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr,
                          FALSE, CREATE_NO_WINDOW, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                          &process) != 0;
}

class Win32ProcessLauncher final : public ProcessLauncher {
public:
  explicit Win32ProcessLauncher(const SystemInfo &system) : m_system(system) {}

  std::optional<int> runHiddenAndWait(std::string_view applicationName, std::string_view commandLine,
                                      std::string_view workingFolder) override {
    std::string program(applicationName);
    std::string arguments(commandLine);
    if (program.empty()) {
      std::string_view rest;
      program = splitProgram(commandLine, rest);
      arguments.assign(rest);
    }
    if (isRegistryEditor(program)) program = registryEditor(program);
    std::string line = "\"" + program + "\"";
    if (!arguments.empty()) line += " " + arguments;
    PROCESS_INFORMATION process{};
    if (!startHidden(toWide(program), toWide(line), toWide(workingFolder), process)) return std::nullopt;
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    bool known = ::GetExitCodeProcess(process.hProcess, &exitCode) != 0;
    ::CloseHandle(process.hProcess);
    if (!known) return std::nullopt;
    return static_cast<int>(exitCode);
  }

  bool startDetached(std::string_view commandLine) override {
    PROCESS_INFORMATION process{};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring line = toWide(commandLine);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
  }

  // Windows programs always start on Windows.
  std::string startProblem() const override { return {}; }

  bool shellOpen(std::string_view target) override {
    auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", toWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
  }

private:
  bool isRegistryEditor(std::string_view program) const {
    auto slash = program.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? program : program.substr(slash + 1);
    if (!sameText(name, "regedit.exe") && !sameText(name, "regedit")) return false;
    if (slash == std::string_view::npos) return true;
    std::string_view folder = withoutTrailingBackslash(program.substr(0, slash));
    return sameText(folder, withoutTrailingBackslash(m_system.windowsDirectory())) ||
           sameText(folder, withoutTrailingBackslash(m_system.systemDirectory()));
  }

  // Ours when it can be found, so that restore points are the files the program knows.
  std::string registryEditor(const std::string &systemEditor) const {
    if (const char *configured = std::getenv("TIDEWELL_REGEDIT"); configured && *configured) return configured;
    std::string beside = m_system.programFolder() + RegistryEditorFileName;
    if (::GetFileAttributesW(toWide(beside).c_str()) != INVALID_FILE_ATTRIBUTES) return beside;
    return systemEditor;
  }

  const SystemInfo &m_system;
};

} // namespace

std::unique_ptr<ProcessLauncher> makeWin32ProcessLauncher(const SystemInfo &system) {
  return std::make_unique<Win32ProcessLauncher>(system);
}

} // namespace tw::platform
