#pragma once
// What one scan run hands its scanners: the session they report to, and the file tests they
// share. A context lives for one run of the scan body and is used by the worker thread only.

#include "scan/ScanGroups.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tw::platform {
class FileSystem;
}

namespace tw::scan {

class ScanSession;

/// The file and folder tests of one scan. Each answer is remembered for the rest of the scan, so
/// a path that many entries name is resolved through the drive mapping once. Nothing the scan
/// does changes the file system, and a scan is a picture of one moment, so a file created or
/// removed during the scan may be seen either way, as it could be without the cache.
class FileProbe {
public:
  /// Tests the files of `files`, which must outlive the probe.
  explicit FileProbe(const platform::FileSystem &files) : m_files(files) {}

  /// True when `path` names a file (not a folder), whatever its last-write time.
  bool fileExists(std::string_view path);
  /// True when `path` names a folder.
  bool directoryExists(std::string_view path);

  /// How many tests reached the file system, and how many were answered from memory.
  std::uint64_t lookups() const { return m_lookups; }
  std::uint64_t hits() const { return m_hits; }

private:
  struct Answer {
    signed char file = -1; ///< -1 not asked yet, else 0/1
    signed char directory = -1;
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  const platform::FileSystem &m_files;
  std::unordered_map<std::string, Answer, TextHash, std::equal_to<>> m_answers;
  std::uint64_t m_lookups = 0;
  std::uint64_t m_hits = 0;

  Answer &answerFor(std::string_view path);
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
  FileProbe &files() { return m_probe; }

  /// The worker's stop flag.
  bool stopRequested() const;
  /// Writes `text` into the status label.
  void showStatus(const std::string &text);
  /// Writes `count` as decimal text into the "Errors" column of the group `group`.
  void writeCount(ScanGroupIndex group, std::int32_t count);
  /// IsBrokenReference with this scan's probe.
  bool isBrokenReference(std::string_view v) { return IsBrokenReference(v, m_probe); }
  /// GuessPath(`v`) when `v` is a broken reference, nothing otherwise.
  std::optional<std::string> brokenReferenceGuess(std::string_view v) {
    return scan::brokenReferenceGuess(v, m_probe);
  }
  /// Reports an error of `group` (its error type) through AddScanError.
  void report(ScanGroupIndex group, std::string keyText, std::string keyValue,
              std::string guessPath, std::int32_t &counter);

private:
  ScanSession &m_session;
  FileProbe m_probe;
};

} // namespace tw::scan
