#pragma once
// What a scan sees of the page it fills: the scan groups' check marks, the status label, the
// groups' "Errors" texts, the error list, the ignore list and the worker's stop flag.
//
// The window implements it by handing every update to the UI thread in the order the worker
// issues it; tidewell-cli implements it directly. Scanners never learn which one they talk to.

#include <memory>
#include <string>

namespace tw::scan {

/// One row of the error list.
struct ErrorRow {
  std::string errorType; ///< "Error Type" column: the group's error type text
  std::string keyName;   ///< "Key Name": root name\key path\last name
  std::string keyValue;  ///< "Key Value": what the scanner found there
  std::string guessPath; ///< "Guess Path": the file path derived from it
};

class IgnoreIndex;

class ScanSession {
public:
  virtual ~ScanSession() = default;

  /// The worker's stop flag (Terminated).
  virtual bool stopRequested() const = 0;
  /// Whether the group row at `groupIndex` is checked now (read when the scan reaches it).
  virtual bool isGroupChecked(int groupIndex) const = 0;
  /// Writes `text` into the status label.
  virtual void showStatus(const std::string &text) = 0;
  /// Writes `text` into the "Errors" column of the group row at `groupIndex`.
  virtual void setGroupErrorCount(int groupIndex, const std::string &text) = 0;
  /// Appends a checked row to the error list (after the ignore test has passed it).
  virtual void appendErrorRow(ErrorRow row) = 0;
  /// The ignore list as it stands at this moment, as an immutable snapshot; safe to call from
  /// the worker. The window swaps in a new snapshot whenever the user changes the list.
  virtual std::shared_ptr<const IgnoreIndex> ignoreList() const = 0;
};

} // namespace tw::scan
