#include "backup/RestorePoints.h"

#include "platform/FileSystem.h"
#include "registry/ProgramFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tw::backup {

std::string rootFileName(std::string_view root) { return std::string(root) + ".reg"; }

std::string restorePointName(std::string_view shortDate, std::string_view longTime) {
  std::string name;
  name.reserve(shortDate.size() + 1 + longTime.size());
  name.append(shortDate).append(" ").append(longTime);
  for (char &c : name) {
    if (c == ':') c = '_';
    else if (c == '/') c = '-';
  }
  return name;
}

std::string restorePointNameAt(const std::tm &localTime) {
  char date[32];
  std::snprintf(date, sizeof date, "%02d/%02d/%04d", localTime.tm_mon + 1, localTime.tm_mday,
                localTime.tm_year + 1900);
  char time[64];
  const std::size_t length = std::strftime(time, sizeof time, "%X", &localTime);
  return restorePointName(date, std::string_view(time, length));
}

// The C library's thread-safe local time, which each system spells its own way.
static std::tm localTimeOf(std::time_t time) {
  std::tm local{};
#ifdef _WIN32
  ::localtime_s(&local, &time);
#else
  ::localtime_r(&time, &local);
#endif
  return local;
}

std::string restorePointNameNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  return restorePointNameAt(localTimeOf(now));
}

bool isRestorePointName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:*?\"<>|") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::vector<std::string> listRestorePoints(const platform::FileSystem &files, std::string_view backupFolder) {
  std::vector<std::string> names;
  auto finder = files.findFiles(withTrailingBackslash(std::string(backupFolder)) + "*.*");
  while (auto entry = finder->next()) {
    if (entry->attributes != platform::fileattr::Directory) continue;
    if (entry->name == "." || entry->name == "..") continue;
    names.push_back(std::move(entry->name));
  }
  return names;
}

std::vector<std::string> newRestorePoints(const std::vector<std::string> &shown,
                                          const std::vector<std::string> &found) {
  std::vector<std::string> added;
  for (const std::string &name : found) {
    const bool listed = std::find(shown.begin(), shown.end(), name) != shown.end() ||
                        std::find(added.begin(), added.end(), name) != added.end();
    if (!listed) added.push_back(name);
  }
  return added;
}

} // namespace tw::backup
