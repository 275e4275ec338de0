#include "platform/win32/Win32SystemInfo.h"

#include "platform/win32/WideText.h"

#include <windows.h>

namespace tw::platform {

namespace {

using win32::toUtf8;

// Calls that fill a buffer and return the units written, or the size needed when it is short.
template <typename Call> std::string askForText(Call call) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    DWORD units = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (units == 0) return {};
    if (units < buffer.size()) return toUtf8(buffer.data(), units);
    buffer.resize(units + 1);
  }
}

class Win32SystemInfo final : public SystemInfo {
public:
  std::string systemDirectory() const override {
    return askForText([](wchar_t *b, DWORD n) { return ::GetSystemDirectoryW(b, n); });
  }
  std::string windowsDirectory() const override {
    return askForText([](wchar_t *b, DWORD n) { return ::GetWindowsDirectoryW(b, n); });
  }
  std::string tempPath() const override {
    return askForText([](wchar_t *b, DWORD n) { return ::GetTempPathW(n, b); });
  }

  std::optional<VersionRecord> version() const override {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // The program classifies the version exactly as the system reports it to programs.
    if (!::GetVersionExW(&info)) return std::nullopt;
#pragma GCC diagnostic pop
    return VersionRecord{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
  }

  std::string moduleFileName() const override {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
      DWORD units = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (units == 0) return {};
      if (units < buffer.size()) return toUtf8(buffer.data(), units);
      buffer.resize(buffer.size() * 2);
    }
  }

  std::string programFolder() const override {
    std::string self = moduleFileName();
    auto slash = self.find_last_of('\\');
    return slash == std::string::npos ? std::string(".\\") : self.substr(0, slash + 1);
  }
};

} // namespace

std::unique_ptr<SystemInfo> makeWin32SystemInfo() { return std::make_unique<Win32SystemInfo>(); }

} // namespace tw::platform
