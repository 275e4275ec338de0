#pragma once
// What one scan run hands its scanners: the session they report to, and the file tests they
// share. A context lives for one run of the scan body and is used by the worker thread only.

#include "platform/RegistryView.h"
#include "scan/ScanGroups.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tw::platform {
class FileSystem;
}

namespace tw::scan {

class ScanSession;

/// The file and folder tests of one scan, and the guessed paths they need, remembered for the
/// rest of that scan. Nothing the scan does changes the file system, and a scan is a picture of
/// one moment, so a file created or removed while it runs may be seen either way, as it could
/// be without the memory.
///
/// Most references of a registry point into a few thousand folders, and the drive mapping finds
/// a name whose case differs from the disk's by reading its folder. So a path of plain ASCII
/// names ("C:\dir\name", or "dir\name" in the current folder) is answered by walking down the
/// listings of its folders, each read once per scan through the file system's own listing (the
/// same drive mapping and case rules). A path holding a character that Windows refuses in names
/// (a quoted command line) names nothing. Any other path (wildcards, "..", names beyond ASCII,
/// names that differ only in case on disk) goes to the file system, and its answer is
/// remembered by its exact text.
class FileProbe {
public:
  /// Tests the files of `files`, which must outlive the probe.
  explicit FileProbe(const platform::FileSystem &files)
      : m_files(files), m_folders(std::make_shared<FolderListings>()) {}

  /// Reads folders through the listings `other` keeps (and adds to them). The probes of the
  /// two halves share them: a 32-bit path is rewritten to the folder it resolves to (syswow64)
  /// before its folders are walked, so a folder's listing is the same for either half.
  void shareListingsOf(const FileProbe &other) { m_folders = other.m_folders; }

  /// True when `path` names a file (not a folder), whatever its last-write time.
  bool fileExists(std::string_view path);
  /// True when `path` names a folder.
  bool directoryExists(std::string_view path);

  /// GuessPath of `registryText`, worked out once per scan for each text: it depends only on
  /// the machine's folders and files, which a scan takes as they are when it starts.
  const std::string &guessPath(std::string_view registryText);

  enum class EntryKind : signed char { Missing, File, Directory, Unknown };

  /// How many tests reached the file system (a path, or the listing of a folder), and how many
  /// were answered from what the scan had already read.
  std::uint64_t lookups() const { return m_lookups; }
  std::uint64_t hits() const { return m_hits; }

private:
  /// Longer paths are left to the file system; Windows programs of this kind stop at 260.
  static constexpr std::size_t MaxListedPathLength = 1024;
  struct Answer {
    signed char file = -1; ///< -1 not asked yet, else 0/1
    signed char directory = -1;
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  /// What a folder holds, by name folded to upper case; Unknown for a name that several
  /// entries share (they differ in case only) or that a name beyond ASCII might fold to, and
  /// for every name when the folder seems empty but exists (it may not be readable).
  struct Folder {
    bool answerable = true;
    std::unordered_map<std::string, EntryKind, TextHash, std::equal_to<>> entries;
    /// Skeletons of the names beyond ASCII, which the file system folds by its own rules.
    std::vector<std::string> wideNames;
    /// What the folder holds under `foldedName` (letters in upper case).
    EntryKind kindOf(std::string_view foldedName) const;
  };

  const platform::FileSystem &m_files;
  std::unordered_map<std::string, Answer, TextHash, std::equal_to<>> m_answers;
  using FolderListings = std::unordered_map<std::string, Folder, TextHash, std::equal_to<>>;
  std::shared_ptr<FolderListings> m_folders;
  std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> m_guesses;
  std::optional<std::string> m_currentDirectory;
  /// The Windows folder: its drive (folded) and then its names below the drive's root.
  std::optional<std::vector<std::string>> m_windowsFolder;
  std::uint64_t m_lookups = 0;
  std::uint64_t m_hits = 0;

  /// The answers known for `path`, the one asked for (file or folder) filled in.
  Answer &answerFor(std::string_view path, bool wantFile);
  /// What the listings of the path's folders say of it; Unknown when they cannot tell.
  EntryKind kindFromListing(std::string_view path);
  /// Rewrites the full path `full` as a 32-bit program's path resolves (platform/FileView.h),
  /// so that its folders' listings can be walked; false for a path whose listings would
  /// disagree with the file system (one in a folder of system32 both halves share).
  bool toThirtyTwoBitFolder(std::string &full);
  /// What the folder "X:" or "X:\\dir\\..." holds, read through the file system once per scan;
  /// `foldedPath` is the same path with its letters in upper case.
  const Folder &listing(std::string_view folderPath, std::string_view foldedPath);
};

/// The common test of every file-reference scanner: true when `v` is not empty and names
/// neither a file, nor a folder, nor does its GuessPath name a file.
bool IsBrokenReference(std::string_view v, FileProbe &probe);
/// The same test, giving GuessPath(`v`) when the reference is broken and nothing otherwise.
std::optional<std::string> brokenReferenceGuess(std::string_view v, FileProbe &probe);
/// The same test on the installed machine's files, without remembering anything.
bool IsBrokenReference(std::string_view v);

class ScanContext {
public:
  /// A context for one run on `session`, testing the installed machine's files.
  explicit ScanContext(ScanSession &session);
  /// A context testing `files` instead.
  ScanContext(ScanSession &session, const platform::FileSystem &files);

  ScanSession &session() { return m_session; }
  /// The file tests of the calling thread's view (platform::ViewScope): each half of the
  /// machine resolves the same path text to its own file, so each has its own answers.
  FileProbe &files() { return m_probes[platform::currentView() == platform::ViewKind::Bits32 ? 1 : 0]; }
  /// The registry views the scanners walk: the 64-bit one, then on a machine with two the
  /// 32-bit one.
  const std::vector<platform::ViewKind> &views() const { return m_views; }
  /// File tests that reached the file system, and those answered from memory, in every view.
  std::uint64_t fileLookups() const { return m_probes[0].lookups() + m_probes[1].lookups(); }
  std::uint64_t fileCacheHits() const { return m_probes[0].hits() + m_probes[1].hits(); }

  /// The worker's stop flag.
  bool stopRequested() const;
  /// Writes `text` into the status label.
  void showStatus(const std::string &text);
  /// Writes `count` as decimal text into the "Errors" column of the group `group`.
  void writeCount(ScanGroupIndex group, std::int32_t count);
  /// IsBrokenReference with this scan's probe.
  bool isBrokenReference(std::string_view v) { return IsBrokenReference(v, files()); }
  /// GuessPath(`v`) when `v` is a broken reference, nothing otherwise.
  std::optional<std::string> brokenReferenceGuess(std::string_view v) {
    return scan::brokenReferenceGuess(v, files());
  }
  /// Reports an error of `group` (its error type) through AddScanError.
  void report(ScanGroupIndex group, std::string keyText, std::string keyValue,
              std::string guessPath, std::int32_t &counter);

private:
  ScanSession &m_session;
  FileProbe m_probes[2];
  std::vector<platform::ViewKind> m_views;
};

} // namespace tw::scan
