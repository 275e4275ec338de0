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
  ScanRunResult result;
  for (int i = 0; i < ScanGroupCount; ++i) {
    if (session.stopRequested()) {
      result.kind = ScanEndKind::Stopped;
      break;
    }
    if (!session.isGroupChecked(i)) continue;
    ScannerFunction scanner = Scanners[i];
    if (!scanner) continue;
    // An error raised in a scanner (a value of the wrong type, a malformed ignore entry) ends
    // the whole body; the worker keeps it instead of showing it.
    try {
      scanner(context);
    } catch (const std::exception &error) {
      result.kind = ScanEndKind::Failed;
      result.error = error.what();
      result.failedGroup = i;
      break;
    }
  }
  // A stop request during the last group still counts as a stopped scan.
  if (result.kind == ScanEndKind::Completed && session.stopRequested())
    result.kind = ScanEndKind::Stopped;
  result.fileLookups = context.fileLookups();
  result.fileCacheHits = context.fileCacheHits();
  return result;
}

} // namespace tw::scan
