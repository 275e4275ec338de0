#pragma once
// The body of a scan run: the loop over the twelve groups that runs each checked group's
// scanner in list order, on the worker thread.

#include "scan/ScanGroups.h"

#include <cstdint>
#include <string>

namespace tw::scan {

class ScanSession;
class ScanContext;

/// How a scan body ended.
enum class ScanEndKind {
  Completed, ///< every group was reached
  Stopped,   ///< the stop flag ended it
  Failed,    ///< an error raised in a scanner or in the ignore test ended it
};

struct ScanRunResult {
  ScanEndKind kind = ScanEndKind::Completed;
  /// The error that ended a failed scan, kept rather than shown (the page still says the scan is
  /// done); empty otherwise.
  std::string error;
  /// The group whose scanner failed; only meaningful for Failed.
  int failedGroup = -1;
  /// File and folder tests of the broken-reference test that reached the file system, and
  /// those answered from what the scan had already asked.
  std::uint64_t fileLookups = 0;
  std::uint64_t fileCacheHits = 0;
};

/// A scanner: walks its registry locations and reports through AddScanError, writing its
/// group's count where it runs to its end.
using ScannerFunction = void (*)(ScanContext &);

/// The scanner of the group at `index`, or nullptr for the group that examines nothing.
ScannerFunction scannerFor(ScanGroupIndex index);

/// Runs the scan: for each group row from the first, ends when the stop flag is set, skips the
/// row when it is not checked (read when the loop reaches it), otherwise runs its scanner. A
/// registry error (wrong data type, refused read) or a malformed ignore entry raised by a scanner
/// ends the body at once; it is caught here and returned, with the groups after it not run.
ScanRunResult runScanBody(ScanSession &session);

} // namespace tw::scan
