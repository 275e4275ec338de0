#include "platform/win32/Win32FileSystem.h"

#include "platform/FileView.h"
#include "platform/RegistryView.h"
#include "platform/TextCompare.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tw::platform {

namespace {

using win32::toUtf8;
using win32::toWide;

std::uint64_t fileTime(const FILETIME &time) {
  return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Win32FileFinder final : public FileFinder {
public:
  explicit Win32FileFinder(std::string_view pattern) {
    m_handle = ::FindFirstFileExW(toWide(pattern).c_str(), FindExInfoBasic, &m_data, FindExSearchNameMatch,
                                  nullptr, 0);
    m_pending = m_handle != INVALID_HANDLE_VALUE;
  }
  ~Win32FileFinder() override {
    if (m_handle != INVALID_HANDLE_VALUE) ::FindClose(m_handle);
  }
  Win32FileFinder(const Win32FileFinder &) = delete;
  Win32FileFinder &operator=(const Win32FileFinder &) = delete;

  std::optional<FoundFile> next() override {
    if (!m_pending) return std::nullopt;
    FoundFile found;
    found.name = toUtf8(m_data.cFileName, wcslen(m_data.cFileName));
    found.attributes = m_data.dwFileAttributes;
    found.size = (std::uint64_t(m_data.nFileSizeHigh) << 32) | m_data.nFileSizeLow;
    found.lastWriteTime = fileTime(m_data.ftLastWriteTime);
    m_pending = ::FindNextFileW(m_handle, &m_data) != 0;
    return found;
  }

private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW m_data{};
  bool m_pending = false;
};

class Win32FileSystem final : public FileSystem {
public:
  Win32FileSystem() {
    // A 64-bit program sees the system's own system32, and its 32-bit view is resolved here as
    // Windows resolves a 32-bit program's paths. A 32-bit program on a 64-bit Windows is the
    // other way round: Windows resolves its paths to the 32-bit view, and its 64-bit view
    // reaches the system's own system32 through sysnative.
    BOOL wow64 = FALSE;
    m_underWow64 = sizeof(void *) != 8 && ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
    if (sizeof(void *) != 8 && !m_underWow64) return;
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT units = ::GetWindowsDirectoryW(folder, MAX_PATH);
    if (units < 3 || units > MAX_PATH || folder[1] != L':') return;
    const std::string text = toUtf8(folder, units);
    m_windowsDrive = text.substr(0, 2);
    for (std::size_t start = 3; start < text.size();) {
      const std::size_t cut = std::min(text.find('\\', start), text.size());
      if (cut > start) m_windowsNames.push_back(text.substr(start, cut - start));
      start = cut + 1;
    }
    m_windowsViews.assign(m_windowsNames.begin(), m_windowsNames.end());
  }

  std::optional<std::string> hostPath(std::string_view windowsPath, bool mustExist) const override {
    std::wstring wide = inView(windowsPath);
    DWORD units = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (units == 0) return std::nullopt;
    std::wstring full(units, L'\0');
    units = ::GetFullPathNameW(wide.c_str(), units, full.data(), nullptr);
    if (units == 0 || units >= full.size()) return std::nullopt;
    full.resize(units);
    if (mustExist && ::GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return toUtf8(full);
  }

  std::unique_ptr<FileFinder> findFiles(std::string_view pattern) const override {
    return std::make_unique<Win32FileFinder>(toUtf8(inView(pattern)));
  }

  std::optional<std::uint32_t> attributes(std::string_view windowsPath) const override {
    DWORD attributes = ::GetFileAttributesW(inView(windowsPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
  }

  bool fileExists(std::string_view windowsPath) const override {
    auto found = attributes(windowsPath);
    return found && !(*found & fileattr::Directory);
  }

  bool directoryExists(std::string_view windowsPath) const override {
    auto found = attributes(windowsPath);
    return found && (*found & fileattr::Directory);
  }

  bool deleteFile(std::string_view windowsPath) override {
    return ::DeleteFileW(inView(windowsPath).c_str()) != 0;
  }
  // Deletes only a plain file below `folder`, with no link or mount point on the way: every
  // step from the folder down is looked at just before the file goes.
  bool deleteFileInside(std::string_view folder, std::string_view windowsPath) override {
    std::optional<std::string> base = hostPath(folder, true);
    std::optional<std::string> target = hostPath(windowsPath, true);
    if (!base || !target) return false;
    std::string prefix = *base;
    if (prefix.back() != '\\') prefix += '\\';
    if (target->size() <= prefix.size() ||
        ::CompareStringOrdinal(toWide(target->substr(0, prefix.size())).c_str(), -1, toWide(prefix).c_str(), -1,
                               TRUE) != CSTR_EQUAL)
      return false;
    for (std::size_t cut = target->find('\\', prefix.size()); cut != std::string::npos;
         cut = target->find('\\', cut + 1)) {
      auto step = attributes(target->substr(0, cut));
      if (!step || !(*step & fileattr::Directory) || (*step & fileattr::ReparsePoint)) return false;
    }
    auto file = attributes(*target);
    if (!file || (*file & (fileattr::Directory | fileattr::ReparsePoint | fileattr::ReadOnly))) return false;
    return deleteFile(*target);
  }

  bool createDirectory(std::string_view windowsPath) override {
    return ::CreateDirectoryW(toWide(windowsPath).c_str(), nullptr) != 0;
  }
  bool removeDirectory(std::string_view windowsPath) override {
    return ::RemoveDirectoryW(toWide(windowsPath).c_str()) != 0;
  }

  std::string currentDirectory() const override {
    DWORD units = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(units, L'\0');
    units = ::GetCurrentDirectoryW(units, folder.data());
    folder.resize(units);
    // "C:\" keeps its backslash; "C:\work\" would not be given by Windows, but be sure.
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return toUtf8(folder);
  }

  bool setCurrentDirectory(std::string_view windowsPath) override {
    return ::SetCurrentDirectoryW(toWide(windowsPath).c_str()) != 0;
  }

private:
  // The path as the calling thread's view resolves it: in a ViewKind::Bits32 scope a path in
  // the system folder is the 32-bit programs' one (FileView.h).
  std::wstring inView(std::string_view windowsPath) const {
    std::wstring wide = toWide(windowsPath);
    if (m_windowsNames.empty()) return wide;
    const bool asked32 = currentView() == ViewKind::Bits32;
    // Only the view the process does not have by itself needs a rewrite.
    if (asked32 == m_underWow64) return wide;
    const DWORD units = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (units == 0) return wide;
    std::wstring full(units, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), units, full.data(), nullptr);
    if (written == 0 || written >= units) return wide;
    full.resize(written);
    const std::string text = toUtf8(full);
    if (text.size() < 3 || text[2] != '\\' ||
        ::CompareStringOrdinal(toWide(text.substr(0, 2)).c_str(), 2, toWide(m_windowsDrive).c_str(), 2, TRUE) !=
            CSTR_EQUAL)
      return wide;
    std::vector<std::string> components;
    for (std::size_t start = 3; start <= text.size();) {
      const std::size_t cut = std::min(text.find('\\', start), text.size());
      components.push_back(text.substr(start, cut - start));
      start = cut + 1;
    }
    if (!(asked32 ? applyWow64FileView(components, m_windowsViews) : reachNativeSystemFolder(components)))
      return wide;
    std::string mapped = text.substr(0, 2);
    for (const std::string &component : components) mapped.append(1, '\\').append(component);
    return toWide(mapped);
  }

  // In a 32-bit program, "<windows>\system32\..." names the system's own system32 through
  // sysnative, for the 64-bit view.
  bool reachNativeSystemFolder(std::vector<std::string> &components) const {
    const std::size_t depth = m_windowsNames.size();
    if (components.size() <= depth) return false;
    for (std::size_t i = 0; i < depth; ++i)
      if (!equalIgnoringAsciiCase(components[i], m_windowsNames[i])) return false;
    if (!equalIgnoringAsciiCase(components[depth], "system32")) return false;
    components[depth] = "sysnative";
    return true;
  }

  bool m_underWow64 = false;                   // a 32-bit program on a 64-bit Windows
  std::string m_windowsDrive;                  // "C:"
  std::vector<std::string> m_windowsNames;     // the Windows folder's names below its drive root
  std::vector<std::string_view> m_windowsViews; // the same, as FileView.h takes them
};

} // namespace

std::unique_ptr<FileSystem> makeWin32FileSystem() { return std::make_unique<Win32FileSystem>(); }

} // namespace tw::platform
