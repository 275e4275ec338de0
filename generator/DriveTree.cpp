#include "generator/DriveTree.h"

#include "generator/WineText.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tw::generator::detail {

namespace fs = std::filesystem;

DriveTree::DriveTree(std::string hostRoot) : m_root(std::move(hostRoot)) {}

// The part of a C: path below the drive root: "C:\windows\Fonts" gives "windows\Fonts".
static std::string_view belowDrive(std::string_view windowsPath) {
  if (windowsPath.size() >= 2 && windowsPath[1] == ':')
    windowsPath.remove_prefix(2);
  while (!windowsPath.empty() && windowsPath.front() == '\\')
    windowsPath.remove_prefix(1);
  while (!windowsPath.empty() && windowsPath.back() == '\\')
    windowsPath.remove_suffix(1);
  return windowsPath;
}

const std::string *DriveTree::findEntry(const std::string &hostFolder, std::string_view name) {
  auto listing = m_listings.find(hostFolder);
  if (listing == m_listings.end()) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(hostFolder, error), end; !error && it != end; it.increment(error)) {
      const std::string entry = it->path().filename().string();
      entries.emplace(lowerAscii(entry), entry);
    }
    listing = m_listings.emplace(hostFolder, std::move(entries)).first;
  }
  const auto found = listing->second.find(lowerAscii(name));
  return found == listing->second.end() ? nullptr : &found->second;
}

bool DriveTree::resolveFolder(std::string_view components, std::string &hostPath) {
  const std::string key = lowerAscii(components);
  if (const auto known = m_resolved.find(key); known != m_resolved.end()) {
    hostPath = known->second;
    return true;
  }
  std::string path = m_root;
  std::string_view rest = components;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    const std::string_view name = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name.empty())
      continue;
    if (const std::string *existing = findEntry(path, name)) {
      path += "/" + *existing;
      continue;
    }
    const std::string parent = path;
    path += "/" + std::string(name);
    std::error_code error;
    if (!fs::create_directory(path, error) && error) {
      m_failedPath = path;
      m_failure = error.message();
      return false;
    }
    m_listings[parent].emplace(lowerAscii(name), std::string(name));
  }
  m_resolved.emplace(key, path);
  hostPath = path;
  return true;
}

bool DriveTree::makeFolder(std::string_view windowsPath) {
  std::string hostPath;
  return resolveFolder(belowDrive(windowsPath), hostPath);
}

bool DriveTree::makeFile(std::string_view windowsPath) {
  const std::string_view below = belowDrive(windowsPath);
  const std::size_t slash = below.rfind('\\');
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : below.substr(0, slash);
  const std::string_view name = slash == std::string_view::npos ? below : below.substr(slash + 1);
  std::string hostFolder;
  if (!resolveFolder(folder, hostFolder))
    return false;
  if (findEntry(hostFolder, name))
    return true;
  const std::string hostPath = hostFolder + "/" + std::string(name);
  std::ofstream file(hostPath, std::ios::binary);
  if (!file) {
    m_failedPath = hostPath;
    m_failure = "cannot create the file";
    return false;
  }
  m_listings[hostFolder].emplace(lowerAscii(name), std::string(name));
  ++m_filesCreated;
  return true;
}

} // namespace tw::generator::detail
