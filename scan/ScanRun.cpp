#include "scan/ScanRun.h"

#include "scan/ScanContext.h"
#include "scan/ScanSession.h"
#include "scan/Scanners.h"

#include <exception>

namespace tw::scan {

// By ScanGroupIndex; the MRU group is listed but has no scanner.
static constexpr ScannerFunction Scanners[ScanGroupCount] = {
    scanApplicationPaths, scanComClasses,    scanHelpFiles,       scanFontFiles,
    nullptr,              scanStartMenuOrder, scanSharedDlls,     scanSharedFolders,
    scanShellExtensions,  scanEventSounds,   scanUninstallCommands, scanFileExtensions,
};

ScannerFunction scannerFor(ScanGroupIndex index) {
  const int i = static_cast<int>(index);
  return isScanGroupIndex(i) ? Scanners[i] : nullptr;
}

ScanRunResult runScanBody(ScanSession &session) {
  ScanContext context(session);
  for (int i = 0; i < ScanGroupCount; ++i) {
    if (session.stopRequested()) return {ScanEndKind::Stopped, {}, -1};
    if (!session.isGroupChecked(i)) continue;
    ScannerFunction scanner = Scanners[i];
    if (!scanner) continue;
    // An error raised in a scanner (a value of the wrong type, a malformed ignore entry) ends
    // the whole body; the worker keeps it instead of showing it.
    try {
      scanner(context);
    } catch (const std::exception &error) {
      return {ScanEndKind::Failed, error.what(), i};
    }
  }
  // A stop request during the last group still counts as a stopped scan.
  return {session.stopRequested() ? ScanEndKind::Stopped : ScanEndKind::Completed, {}, -1};
}

} // namespace tw::scan
