#pragma once
// The eleven scanners. Each walks its registry locations with registry objects of its own,
// reports every broken entry through its context (AddScanError with the scanner's counter),
// checks the stop flag where its group says, and writes its group's count when it runs to its
// end. Registry errors (a value of the wrong type) are not caught: they end the scan body.

namespace tw::scan {

class ScanContext;

// File references: App Paths, help files, fonts, shared libraries, shares, event sounds,
// uninstall commands.
void scanApplicationPaths(ScanContext &context);
void scanHelpFiles(ScanContext &context);
void scanFontFiles(ScanContext &context);
void scanSharedDlls(ScanContext &context);
void scanSharedFolders(ScanContext &context);
void scanEventSounds(ScanContext &context);
void scanUninstallCommands(ScanContext &context);

// Classes, extensions and the start-menu order.
void scanComClasses(ScanContext &context);
void scanStartMenuOrder(ScanContext &context);
void scanShellExtensions(ScanContext &context);
void scanFileExtensions(ScanContext &context);

} // namespace tw::scan
