#include "scan/ScanContext.h"

#include "platform/FileSystem.h"
#include "platform/FileView.h"
#include "platform/SystemInfo.h"
#include "platform/Machine.h"
#include "registry/ViewedKeys.h"
#include "registry/uUtils.h"
#include "scan/AddScanError.h"
#include "scan/ScanSession.h"

#include <algorithm>

namespace tw::scan {

// Characters that make a name more than a plain name to the file system: wildcards, separators
// and what Windows refuses in names.
static bool isPlainNameCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte >= 0x7F) return false;
  return std::string_view("<>:\"/\\|?*").find(c) == std::string_view::npos;
}

/// How the file system takes one name of a path: Plain as it is; Loose with trailing dots or
/// spaces, which Windows may drop, so it stands for itself or its stripped form; Other for
/// anything this probe leaves to the file system (empty, "." or "..", wildcards, characters
/// beyond ASCII).
enum class NameForm { Plain, Loose, Other };

static std::string_view withoutTrailingDotsAndSpaces(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

static NameForm formOf(std::string_view name) {
  if (name.empty()) return NameForm::Other;
  for (char c : name)
    if (!isPlainNameCharacter(c)) return NameForm::Other;
  if (name.back() != '.' && name.back() != ' ') return NameForm::Plain;
  const std::string_view stripped = withoutTrailingDotsAndSpaces(name);
  return stripped.empty() ? NameForm::Other : NameForm::Loose;
}

static bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Stands for one character beyond ASCII in a skeleton.
static constexpr char WideCharacter = '\x01';

/// A name beyond ASCII as a skeleton: each character, ASCII letters in upper case, and each
/// character beyond ASCII (one UTF-8 sequence) as WideCharacter.
static std::string skeletonOf(std::string_view name) {
  std::string skeleton;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
      skeleton += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    else if ((byte & 0xC0) != 0x80)
      skeleton += WideCharacter;
  }
  return skeleton;
}

/// Whether the ASCII name `name` might equal the name behind `skeleton` under the file system's
/// own case rules, which may fold a few characters beyond ASCII (a dotless i) to ASCII letters.
static bool mayFoldToSameName(std::string_view skeleton, std::string_view name) {
  if (skeleton.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (skeleton[i] != WideCharacter && skeleton[i] != c) return false;
  }
  return true;
}

static std::string foldAscii(std::string_view text) {
  std::string folded(text);
  for (char &c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return folded;
}

const FileProbe::Folder &FileProbe::listing(std::string_view folderPath,
                                            std::string_view foldedPath) {
  auto it = m_folders->find(foldedPath);
  if (it != m_folders->end()) {
    ++m_hits;
    return it->second;
  }
  ++m_lookups;
  Folder listing;
  std::string pattern(folderPath);
  pattern += "\\*";
  std::unique_ptr<platform::FileFinder> finder = m_files.findFiles(pattern);
  while (std::optional<platform::FoundFile> entry = finder->next()) {
    if (entry->name == "." || entry->name == "..") continue;
    if (!isAscii(entry->name)) {
      listing.wideNames.push_back(skeletonOf(entry->name));
      continue;
    }
    const EntryKind kind = (entry->attributes & platform::fileattr::Directory) ? EntryKind::Directory
                                                                               : EntryKind::File;
    auto [at, added] = listing.entries.emplace(foldAscii(entry->name), kind);
    if (!added) at->second = EntryKind::Unknown;
  }
  // An empty listing may also be a folder that cannot be read; only a missing folder is sure
  // to hold nothing.
  if (listing.answerable && listing.entries.empty() && listing.wideNames.empty() &&
      m_files.directoryExists(folderPath))
    listing.answerable = false;
  return m_folders->emplace(std::string(foldedPath), std::move(listing)).first->second;
}

FileProbe::EntryKind FileProbe::Folder::kindOf(std::string_view foldedName) const {
  if (!answerable) return EntryKind::Unknown;
  for (const std::string &wide : wideNames)
    if (mayFoldToSameName(wide, foldedName)) return EntryKind::Unknown;
  auto entry = entries.find(foldedName);
  return entry == entries.end() ? EntryKind::Missing : entry->second;
}

/// True for a path relative to the current folder: not rooted, no drive.
static bool isRelativeToCurrentFolder(std::string_view path) {
  if (path.empty() || path[0] == '\\' || path[0] == '/') return false;
  return path.size() < 2 || path[1] != ':';
}

/// True when the path holds a character that Windows refuses in every file and folder name, so
/// that it names nothing (as a command line with quotes and switches does).
static bool hasCharacterRefusedInNames(std::string_view path) {
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '"' || c == '<' || c == '>' || c == '|') return true;
  }
  return false;
}

static bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static bool isMissingOrFile(FileProbe::EntryKind kind) {
  return kind == FileProbe::EntryKind::Missing || kind == FileProbe::EntryKind::File;
}

bool FileProbe::toThirtyTwoBitFolder(std::string &full) {
  if (!m_windowsFolder) {
    // "C:\windows" as the drive and the names below its root.
    m_windowsFolder.emplace();
    const std::string windows = platform::machine().system().windowsDirectory();
    if (windows.size() >= 3 && windows[1] == ':') {
      m_windowsFolder->push_back(foldAscii(windows.substr(0, 2)));
      for (std::size_t start = 3; start < windows.size();) {
        const std::size_t cut = std::min(windows.find('\\', start), windows.size());
        if (cut > start) m_windowsFolder->push_back(windows.substr(start, cut - start));
        start = cut + 1;
      }
    }
  }
  if (m_windowsFolder->empty() || foldAscii(full.substr(0, 2)) != m_windowsFolder->front()) return true;
  std::vector<std::string> names;
  for (std::size_t start = 3; start <= full.size();) {
    const std::size_t cut = std::min(full.find('\\', start), full.size());
    names.push_back(full.substr(start, cut - start));
    start = cut + 1;
  }
  std::vector<std::string_view> folder(m_windowsFolder->begin() + 1, m_windowsFolder->end());
  platform::applyWow64FileView(names, folder);
  // What stays in system32 (the folders both halves share, sysnative) disagrees with the
  // listing of system32 itself, which the file system shows as syswow64: asked about whole.
  if (names.size() > folder.size() && foldAscii(names[folder.size()]) == "SYSTEM32") {
    bool inFolder = true;
    for (std::size_t i = 0; i < folder.size(); ++i) inFolder = inFolder && foldAscii(names[i]) == foldAscii(folder[i]);
    if (inFolder) return false;
  }
  std::string mapped = full.substr(0, 2);
  for (const std::string &name : names) mapped.append(1, '\\').append(name);
  full = std::move(mapped);
  return true;
}

FileProbe::EntryKind FileProbe::kindFromListing(std::string_view path) {
  if (hasCharacterRefusedInNames(path)) return EntryKind::Missing;
  // A relative name is looked for in the current folder, which does not change during a scan.
  std::string full;
  if (isRelativeToCurrentFolder(path)) {
    if (!m_currentDirectory) m_currentDirectory = m_files.currentDirectory();
    full = *m_currentDirectory;
    if (full.empty() || full.back() != '\\') full += '\\';
  }
  full += path;
  // Windows takes either slash as a separator.
  std::replace(full.begin(), full.end(), '/', '\\');
  if (full.size() < 4 || full.size() > MaxListedPathLength || !isAsciiLetter(full[0]) ||
      full[1] != ':' || full[2] != '\\')
    return EntryKind::Unknown;

  // Walk down from the drive root through the listings. A folder that its parent does not show
  // holds nothing, so references into folders that are gone cost no call to the file system.
  // A 32-bit program's system folder is syswow64: its paths are walked there.
  if (platform::currentView() == platform::ViewKind::Bits32 && !toThirtyTwoBitFolder(full)) return EntryKind::Unknown;
  const std::string folded = foldAscii(full);
  const std::string_view fullView = full, foldedView = folded;
  const Folder *current = &listing(fullView.substr(0, 2), foldedView.substr(0, 2));
  for (std::size_t start = 3;;) {
    const std::size_t end = std::min(full.find('\\', start), full.size());
    const std::string_view name = foldedView.substr(start, end - start);
    const bool last = end == full.size();
    const NameForm form = formOf(name);
    if (form == NameForm::Other) return EntryKind::Unknown;
    const EntryKind kind = current->kindOf(name);
    if (form == NameForm::Loose) {
      // Nothing is there under either form of the name, or no folder to go down into.
      const EntryKind strippedKind = current->kindOf(withoutTrailingDotsAndSpaces(name));
      if (kind == EntryKind::Missing && strippedKind == EntryKind::Missing) return EntryKind::Missing;
      if (!last && isMissingOrFile(kind) && isMissingOrFile(strippedKind)) return EntryKind::Missing;
      return EntryKind::Unknown;
    }
    if (last || kind == EntryKind::Unknown) return kind;
    if (kind != EntryKind::Directory) return EntryKind::Missing;
    current = &listing(fullView.substr(0, end), foldedView.substr(0, end));
    start = end + 1;
  }
}

FileProbe::Answer &FileProbe::answerFor(std::string_view path, bool wantFile) {
  auto it = m_answers.find(path);
  if (it == m_answers.end()) it = m_answers.emplace(std::string(path), Answer{}).first;
  Answer &answer = it->second;
  if ((wantFile ? answer.file : answer.directory) >= 0) {
    ++m_hits;
    return answer;
  }
  const EntryKind kind = kindFromListing(path);
  if (kind != EntryKind::Unknown) {
    answer.file = kind == EntryKind::File ? 1 : 0;
    answer.directory = kind == EntryKind::Directory ? 1 : 0;
    return answer;
  }
  ++m_lookups;
  if (wantFile)
    answer.file = m_files.fileExists(path) ? 1 : 0;
  else
    answer.directory = m_files.directoryExists(path) ? 1 : 0;
  return answer;
}

bool FileProbe::fileExists(std::string_view path) { return answerFor(path, /*wantFile=*/true).file != 0; }

bool FileProbe::directoryExists(std::string_view path) {
  return answerFor(path, /*wantFile=*/false).directory != 0;
}

const std::string &FileProbe::guessPath(std::string_view registryText) {
  auto it = m_guesses.find(registryText);
  if (it == m_guesses.end())
    it = m_guesses.emplace(std::string(registryText), GuessPath(registryText)).first;
  return it->second;
}

std::optional<std::string> brokenReferenceGuess(std::string_view v, FileProbe &probe) {
  if (v.empty() || probe.fileExists(v)) return std::nullopt;
  const std::string &guess = probe.guessPath(v);
  if (probe.fileExists(guess) || probe.directoryExists(v)) return std::nullopt;
  return guess;
}

bool IsBrokenReference(std::string_view v, FileProbe &probe) {
  return brokenReferenceGuess(v, probe).has_value();
}

bool IsBrokenReference(std::string_view v) {
  const platform::FileSystem &files = platform::machine().files();
  return !v.empty() && !files.fileExists(v) && !files.fileExists(GuessPath(v)) &&
         !files.directoryExists(v);
}

ScanContext::ScanContext(ScanSession &session)
    : ScanContext(session, platform::machine().files()) {}

ScanContext::ScanContext(ScanSession &session, const platform::FileSystem &files)
    : m_session(session), m_probes{FileProbe(files), FileProbe(files)}, m_views(machineViews()) {
  m_probes[1].shareListingsOf(m_probes[0]);
}

bool ScanContext::stopRequested() const { return m_session.stopRequested(); }

void ScanContext::showStatus(const std::string &text) { m_session.showStatus(text); }

void ScanContext::writeCount(ScanGroupIndex group, std::int32_t count) {
  m_session.setGroupErrorCount(static_cast<int>(group), std::to_string(count));
}

void ScanContext::report(ScanGroupIndex group, std::string keyText, std::string keyValue,
                         std::string guessPath, std::int32_t &counter) {
  AddScanError(m_session, errorTypeOf(group), std::move(keyText), std::move(keyValue),
               std::move(guessPath), counter);
}

} // namespace tw::scan
