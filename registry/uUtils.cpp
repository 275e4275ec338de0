#include "registry/uUtils.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "registry/ProgramFiles.h"
#include "registry/RegistryAccess.h"

namespace tw {

std::string GetSystemDir() {
  return withTrailingBackslash(platform::machine().system().systemDirectory());
}

std::string GetWindowsDir() {
  // Derived from the system folder, so that both always name the same installation. The
  // search starts at the fourth character to step over the drive's "C:\".
  std::string systemDir = GetSystemDir();
  auto slash = systemDir.size() > 3 ? systemDir.find('\\', 3) : std::string::npos;
  // A system folder at the root of a drive is its own Windows folder.
  if (slash == std::string::npos) return systemDir;
  return systemDir.substr(0, slash + 1);
}

std::string GetProgramFilesDir() {
  // Only reading is needed, so a registry the user may not change (or one that is open
  // read-only) still gives the folder.
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKeyForRead("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) return {};
  std::string folder;
  try {
    folder = registry.ReadText("ProgramFilesDir");
  } catch (const ERegistryException &) {
    // A value of another type names no folder; path guessing must never fail.
    return {};
  }
  if (folder.empty()) return {};
  return withTrailingBackslash(std::move(folder));
}

std::string GetTempDir() { return withTrailingBackslash(platform::machine().system().tempPath()); }

int classifyWindowsVersion(const std::optional<platform::VersionRecord> &version) {
  if (!version) return 0;
  const std::uint32_t major = version->majorVersion;
  const std::uint32_t minor = version->minorVersion;
  if (version->platformId == 1) {
    if (major != 4) return 0;
    if (minor == 0) return 1;
    if (minor == 10) return 2;
    if (minor == 90) return 3;
    return 0;
  }
  if (version->platformId == 2) {
    if (major <= 4) return 4;
    if (major != 5) return 0;
    if (minor == 0) return 5;
    if (minor == 1) return 6;
    if (minor == 2) return 7;
    return 0;
  }
  return 0;
}

int WindowsKind() { return classifyWindowsVersion(platform::machine().system().version()); }

std::string ReplaceFirst(std::string_view pattern, std::string_view replacement,
                         std::string_view text) {
  std::string result(text);
  if (pattern.empty()) return result;
  auto at = result.find(pattern);
  if (at == std::string::npos) return result;
  result.replace(at, pattern.size(), replacement);
  return result;
}

std::string CutAtFirst(std::string_view text, std::string_view separator) {
  if (separator.empty()) return std::string(text);
  return std::string(text.substr(0, text.find(separator)));
}

// --- GuessPath --------------------------------------------------------------------------

static bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::string lowerAscii(std::string_view text) {
  std::string result(text);
  for (char &c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

/// Drops everything after the first occurrence of `ending`, which stays.
static void keepThrough(std::string &s, std::string_view ending) {
  auto at = s.find(ending);
  if (at != std::string::npos) s.erase(at + ending.size());
}

static bool hasFolderPart(std::string_view s) {
  return s.find_first_of("\\:") != std::string_view::npos;
}

static bool hasExtension(std::string_view s) {
  auto folderEnd = s.find_last_of("\\:");
  auto name = folderEnd == std::string_view::npos ? s : s.substr(folderEnd + 1);
  return contains(name, ".");
}

static bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

static bool fileExists(const std::string &path) {
  return platform::machine().files().fileExists(path);
}

std::string GuessPath(std::string_view registryText) {
  if (registryText.empty()) return {};
  // A network path names a share whose case matters to nobody here and which is never on
  // this machine's own drives: it is taken as it is.
  if (registryText.starts_with("\\\\")) return std::string(registryText);

  std::string s = lowerAscii(registryText);
  // Command-line switches and everything after them.
  s = CutAtFirst(s, "/");
  if (!s.empty() && s.front() == '"') s.erase(0, 1);

  if (s.starts_with("rundll32")) {
    // What rundll32 is asked to load is its argument, not the program the entry runs.
    s = "rundll32.exe";
  } else {
    keepThrough(s, ".exe");
    keepThrough(s, ".dll");
  }

  // The system folder's placeholder before the Windows folder's, so that it is not built
  // from the Windows folder.
  if (contains(s, "%systemroot%\\system32\\"))
    s = ReplaceFirst("%systemroot%\\system32\\", GetSystemDir(), s);
  if (contains(s, "%systemroot%\\")) s = ReplaceFirst("%systemroot%\\", GetWindowsDir(), s);
  if (contains(s, "%programfiles%\\"))
    s = ReplaceFirst("%programfiles%\\", GetProgramFilesDir(), s);

  // Resource indexes and library entry points.
  s = CutAtFirst(s, ",");
  if (!s.empty() && s.back() == '"') s.pop_back();

  if (!s.empty() && s.back() == '$') {
    // An administrative share such as c$ names the root of that drive.
    s.back() = ':';
    s += '\\';
  } else if (!hasFolderPart(s)) {
    std::string inWindows = GetWindowsDir() + s;
    s = fileExists(inWindows) ? std::move(inWindows) : GetSystemDir() + s;
  }

  if (!hasExtension(s)) {
    // Without an extension, a space starts the arguments; the program is then usually an .exe.
    s = CutAtFirst(s, " ");
    if (fileExists(s + ".exe")) s += ".exe";
  }

  if (!contains(s, ":")) s = GetSystemDir() + s;

  while (!s.empty() && isBlankOrControl(s.back())) s.pop_back();
  return s;
}

} // namespace tw
