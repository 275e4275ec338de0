#include "platform/system/WineSystemInfo.h"

#include "platform/files/WineFileSystem.h"
#include "platform/system/WineVersion.h"

#include <cstdlib>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

namespace tw::platform {

WineSystemInfo::WineSystemInfo(RegistryApi &registry, WineFileSystem &files)
    : m_registry(registry), m_files(files) {}

// Wine's folders do not move: every prefix has them at these places.
std::string WineSystemInfo::systemDirectory() const { return "C:\\windows\\system32"; }

std::string WineSystemInfo::windowsDirectory() const { return "C:\\windows"; }

static std::string hostUserName() {
  if (const struct passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char *user = std::getenv("USER"); user && *user) return user;
  return "user";
}

WineEnvironment WineSystemInfo::environment() const {
  return WineEnvironment::fromRegistry(m_registry, hostUserName());
}

std::string WineSystemInfo::tempPath() const {
  const WineEnvironment env = environment();
  std::string path;
  for (const char *name : {"TMP", "TEMP", "USERPROFILE"}) {
    if (auto value = env.get(name); value && !value->empty()) {
      path = *value;
      break;
    }
  }
  if (path.empty()) path = windowsDirectory();
  // GetTempPath hands out a full path; a relative setting is taken from the current folder.
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') {
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') {
      std::string current = m_files.currentDirectory();
      if (!path.empty() && path[0] == '\\') path = current.substr(0, 2) + path;
      else path = current + (current.back() == '\\' ? "" : "\\") + path;
    }
  }
  if (path.back() != '\\') path += '\\';
  return path;
}

static std::string fileNameOf(std::string_view path) {
  auto slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<VersionRecord> WineSystemInfo::version() const {
  std::string program = fileNameOf(moduleFileName());
  // The per-program setting is keyed by the Windows file name, which has an extension.
  if (!program.empty() && program.find('.') == std::string::npos) program += ".exe";
  return readWineVersion(m_registry, program);
}

std::string runningExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string WineSystemInfo::moduleFileName() const {
  const std::string host = runningExecutablePath();
  if (host.empty()) return {};
  if (auto windows = m_files.windowsPathOf(host)) return *windows;
  std::string out = "\\\\?\\unix";
  for (char c : host) out += c == '/' ? '\\' : c;
  return out;
}

std::string WineSystemInfo::programFolder() const {
  std::string folder = ProgramFolderPath;
  const std::string withoutSlash = folder.substr(0, folder.size() - 1);
  if (!m_files.directoryExists(withoutSlash)) {
    const std::string parent = withoutSlash.substr(0, withoutSlash.find_last_of('\\'));
    if (!m_files.directoryExists(parent)) m_files.createDirectory(parent);
    m_files.createDirectory(withoutSlash);
  }
  return folder;
}

} // namespace tw::platform
