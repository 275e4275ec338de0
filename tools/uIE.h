#pragma once
// The browser traces cleaner: the seven fixed actions, the typed-address and auto-completion
// settings, the five section searches that list the files of the browser's folders and of the
// temporary folder, and the cleanup that deletes the listed files.
//
// What deletes files never leaves the folder it cleans: a search does not descend through a link,
// junction or mount point and lists no file that is one; a section whose folder is not on the
// system drive, or is reached through a link, lists nothing and says why; and the cleanup deletes
// a file only when, at that moment, it is a plain file inside the folder it was found in.

#include "repair/ActionResult.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::lists {
class CheckableList;
struct Row;
} // namespace tw::lists

namespace tw::tools {

/// One of the seven rows of the action list: "Action", "Restart IE", "Description", and whether
/// it is checked when the window opens.
struct TraceAction {
  std::string_view action;
  std::string_view restartBrowser;
  std::string_view description;
  bool checkedAtStart;
};

/// The rows of the action list, by position.
enum class TraceActionIndex {
  TypedUrls = 0,
  AppendCompletion = 1,
  Cache = 2,
  Cookies = 3,
  DownloadedFiles = 4,
  Favorites = 5,
  History = 6,
};
inline constexpr int TraceActionCount = 7;

/// The seven actions, first to last.
std::span<const TraceAction> traceActions();
/// Empties `actions` and lists the seven actions with their check marks at start.
void fillTraceActions(lists::CheckableList &actions);
/// Which of the seven actions are checked in `actions` (false for missing rows).
std::vector<bool> checkedTraceActions(const lists::CheckableList &actions);

// Sub-items of a file row; the caption is the section name, the row's data the folder searched.
inline constexpr std::size_t TraceFileNameSubItem = 0;
inline constexpr std::size_t TraceFullPathSubItem = 1;

/// Deletes every value of HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\TypedURLs; the
/// key stays. Nothing when it cannot be opened.
void ClearTypedUrls();
/// Writes "Append Completion" = "Yes" (on) or "No" (off) under HKEY_CURRENT_USER\Software
/// \Microsoft\Windows\CurrentVersion\Explorer\AutoComplete, creating the key. Throws
/// ERegistryException when the registry refuses the value.
void SetAppendCompletion(bool on);
/// The current user's shell folder `valueName` ("Cache", "Cookies", "Favorites", "History")
/// with a backslash appended; just a backslash when the value is missing.
std::string GetShellFolder(std::string_view valueName);

/// What a traces scan sees of the page: where its rows and progress go, and its stop flag.
class TraceScanSink {
public:
  virtual ~TraceScanSink() = default;
  /// True once the scan should end.
  virtual bool stopRequested() const { return false; }
  /// A file found: a checked row (section, file name, folder with a backslash).
  virtual void fileFound(lists::Row row) = 0;
};

/// How a traces scan ended.
struct TraceScanResult {
  int filesFound = 0;
  bool stopped = false;
  /// Why a checked section listed nothing, one sentence each (a folder off the system drive or
  /// reached through a link).
  std::vector<std::string> notices;
};

/// Runs the section search of every checked file action (Cache, Cookies, Downloaded files,
/// Favorites list, History of visited URLs), in that order, handing each file found to `sink`.
/// `checked` holds the seven actions' check marks. Reads the registry and the file system only.
TraceScanResult scanTraces(const std::vector<bool> &checked, TraceScanSink &sink);

/// A checked file of the file list, as the cleanup deletes it.
struct TraceFile {
  /// The folder its section search started from (the file must still lie inside it).
  std::string sectionFolder;
  /// "Full Path" followed by "File Name".
  std::string path;
};

/// What a cleanup did.
struct TraceCleanupResult {
  /// Fails (RegistryRefused, RegistryNotSaved) when a registry action could not be done.
  repair::ActionResult result = repair::ActionResult::ok();
  /// Files deleted, and checked files left where they are (gone, in use, read-only, no longer a
  /// plain file inside their folder).
  int deleted = 0;
  int passedOver = 0;
};

/// The registry actions of the cleanup: clears the typed addresses when that action is checked,
/// switches on appending completion when that one is, and writes the registry's files. A
/// refused change ends them with the registry layer's message.
repair::ActionResult runTraceRegistryActions(const std::vector<bool> &checked);

/// The checked files among the rows of the file list, first to last.
std::vector<TraceFile> checkedTraceFiles(const std::vector<lists::Row> &rows);
/// The checked files of the file list, first to last; the list is emptied (unchecked rows go too).
std::vector<TraceFile> takeCheckedTraceFiles(lists::CheckableList &files);

/// Deletes each file while it is a plain file (not a folder, link, junction or mount point) inside
/// its section's folder, with no link on the way there, tested as it is deleted. Files that cannot
/// be deleted are passed over. `progress`, when set, is told after every 1,000 files and at the
/// end, with the path of the last file; `stop`, when set, ends the deletion early.
void deleteTraceFiles(const std::vector<TraceFile> &files, TraceCleanupResult &result,
                      const std::function<void(int done, const std::string &path)> &progress = {},
                      const std::function<bool()> &stop = {});

/// The whole cleanup in one call: the registry actions, then the checked files deleted, then the
/// list emptied.
TraceCleanupResult cleanUpTraces(const std::vector<bool> &checked, lists::CheckableList &files);

/// The text of the message shown when a cleanup has finished.
inline constexpr std::string_view CleanupFinishedMessage = "The cleaning up has been finished.";

} // namespace tw::tools
