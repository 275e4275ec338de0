// The five section searches of the traces page: which folder, which names, how deep, and the
// guards that keep a search inside its folder.

#include "tools/uIE.h"

#include "lists/CheckableList.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "registry/RegistryAccess.h"
#include "registry/uUtils.h"

#include <array>

namespace tw::tools {

namespace {

enum class ListingRule { NotDesktopIni, Always, UrlExtension, IndexDat };
enum class RecursionRule { EveryFolder, MatchingFolders, None };

struct TraceSection {
  TraceActionIndex action;
  /// The shell folder value naming the folder; empty for the temporary folder.
  std::string_view shellFolder;
  std::string_view pattern;
  ListingRule listing;
  RecursionRule recursion;
  std::string_view name;
};

constexpr std::array<TraceSection, 5> TraceSections = {{
    {TraceActionIndex::Cache, "Cache", "*.*", ListingRule::NotDesktopIni, RecursionRule::EveryFolder, "Cache files"},
    {TraceActionIndex::Cookies, "Cookies", "*.txt", ListingRule::Always, RecursionRule::MatchingFolders, "Cookie files"},
    {TraceActionIndex::DownloadedFiles, "", "*.*", ListingRule::Always, RecursionRule::None, "Temporary files"},
    {TraceActionIndex::Favorites, "Favorites", "*.*", ListingRule::UrlExtension, RecursionRule::EveryFolder, "Favorite files"},
    {TraceActionIndex::History, "History", "*.*", ListingRule::IndexDat, RecursionRule::EveryFolder, "History files"},
}};

// Deeper than any folder a Windows path can name (260 characters); a deeper tree is a loop the
// link tests did not catch, or not the browser's.
constexpr int MaxSearchDepth = 130;

bool isListed(ListingRule rule, std::string_view name) {
  switch (rule) {
  case ListingRule::NotDesktopIni: return lowerAscii(name) != "desktop.ini";
  case ListingRule::Always: return true;
  case ListingRule::UrlExtension: {
    const std::size_t dot = name.find_last_of('.');
    return dot != std::string_view::npos && name.substr(dot) == ".url";
  }
  case ListingRule::IndexDat: return lowerAscii(name) == "index.dat";
  }
  return false;
}

bool hasAttribute(std::uint32_t attributes, std::uint32_t bit) { return (attributes & bit) != 0; }

class SectionSearch {
public:
  SectionSearch(const TraceSection &section, std::string root, TraceScanSink &sink, int &found)
      : m_section(section), m_root(std::move(root)), m_sink(sink), m_found(found),
        m_files(platform::machine().files()) {}

  /// False when the scan was asked to stop.
  bool run() { return search(m_root, 0); }

private:
  bool search(const std::string &folder, int depth) {
    if (depth > MaxSearchDepth) return true;
    auto finder = m_files.findFiles(folder + std::string(m_section.pattern));
    while (auto entry = finder->next()) {
      if (entry->name == "." || entry->name == "..") continue;
      // A link, junction or mount point leads out of the folder: neither listed nor entered.
      if (hasAttribute(entry->attributes, platform::fileattr::ReparsePoint)) continue;
      if (hasAttribute(entry->attributes, platform::fileattr::Directory)) {
        if (m_section.recursion != RecursionRule::None &&
            !search(folder + entry->name + "\\", depth + 1))
          return false;
      } else if (isListed(m_section.listing, entry->name)) {
        lists::Row row;
        row.caption = m_section.name;
        row.subItems = {entry->name, folder};
        row.checked = true;
        row.data = m_root;
        m_sink.fileFound(std::move(row));
        ++m_found;
      }
      if (m_sink.stopRequested()) return false;
    }
    return true;
  }

  const TraceSection &m_section;
  std::string m_root;
  TraceScanSink &m_sink;
  int &m_found;
  platform::FileSystem &m_files;
};

/// Why the folder may not be searched, or empty text when it may. A folder that does not exist
/// may be searched: it lists nothing.
std::string refusalOfFolder(const TraceSection &section, const std::string &folder) {
  const std::string what = section.shellFolder.empty()
                               ? std::string("The temporary folder ")
                               : "The " + std::string(section.shellFolder) + " folder ";
  const std::string windowsDir = GetWindowsDir();
  const char systemDrive = windowsDir.empty() ? 'c' : lowerAscii(windowsDir.substr(0, 1))[0];
  const bool onSystemDrive = folder.size() >= 3 && lowerAscii(folder.substr(0, 1))[0] == systemDrive &&
                             folder[1] == ':' && folder[2] == '\\';
  const std::string skipped = " so " + std::string(section.name) + " lists nothing.";
  const std::string drive = std::string(1, static_cast<char>(systemDrive - 'a' + 'A')) + ":";
  if (!onSystemDrive) return what + folder + " is not on drive " + drive + "," + skipped;
  if (folder.find("\\.\\") != std::string::npos || folder.find("\\..\\") != std::string::npos)
    return what + folder + " goes through \".\" or \"..\" folders," + skipped;
  if (folder.find_first_not_of('\\', 3) == std::string::npos)
    return what + folder + " is the root of drive " + drive + "," + skipped;
  // Every folder on the way, from the drive root down, must be a plain folder.
  platform::FileSystem &files = platform::machine().files();
  for (std::size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1)) {
    const auto attributes = files.attributes(folder.substr(0, at));
    if (!attributes) return {};
    if (hasAttribute(*attributes, platform::fileattr::ReparsePoint))
      return what + folder + " is reached through the link " + folder.substr(0, at) + "," + skipped;
  }
  return {};
}

} // namespace

TraceScanResult scanTraces(const std::vector<bool> &checked, TraceScanSink &sink) {
  TraceScanResult result;
  for (const TraceSection &section : TraceSections) {
    const auto index = static_cast<std::size_t>(section.action);
    if (index >= checked.size() || !checked[index]) continue;
    std::string folder;
    try {
      folder = section.shellFolder.empty() ? GetTempDir() : GetShellFolder(section.shellFolder);
    } catch (const ERegistryException &error) {
      result.notices.push_back("The " + std::string(section.shellFolder) +
                               " folder cannot be read (" + error.what() + "), so " +
                               std::string(section.name) + " lists nothing.");
      continue;
    }
    // A missing or empty value would name the root of the current drive.
    if (folder.empty() || folder == "\\") continue;
    if (std::string refusal = refusalOfFolder(section, folder); !refusal.empty()) {
      result.notices.push_back(std::move(refusal));
      continue;
    }
    if (!SectionSearch(section, folder, sink, result.filesFound).run()) {
      result.stopped = true;
      break;
    }
  }
  return result;
}

} // namespace tw::tools
