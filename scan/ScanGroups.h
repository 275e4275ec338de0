#pragma once
// The twelve scan groups of the scan page, in the order of the group list. A group's position in
// that list (its ScanGroupIndex) chooses its scanner; its error type is the "Error Type" text of
// every row the scanner reports.

#include <array>
#include <cassert>
#include <string_view>

namespace tw::scan {

enum class ScanGroupIndex : int {
  ApplicationPath = 0,
  Clsid = 1,
  HelpPath = 2,
  FontPath = 3,
  MostRecentlyUsed = 4, ///< listed and checkable, but examines nothing
  ObsoleteStartMenu = 5,
  SharedDlls = 6,
  SharedFolder = 7,
  ShellExtensions = 8,
  SoundAndAppEvents = 9,
  Uninstall = 10,
  FileExtensions = 11,
};

inline constexpr int ScanGroupCount = 12;

struct ScanGroup {
  ScanGroupIndex index;
  std::string_view caption;   ///< the "Scan Groups" column
  std::string_view errorType; ///< "Error Type" of the group's rows; empty when it reports nothing
};

inline constexpr std::array<ScanGroup, ScanGroupCount> ScanGroups = {{
    {ScanGroupIndex::ApplicationPath, "Application Path", "Application"},
    {ScanGroupIndex::Clsid, "CLSID", "COM/ActiveX"},
    {ScanGroupIndex::HelpPath, "Help Path", "Help File"},
    {ScanGroupIndex::FontPath, "Font Path", "Font File"},
    {ScanGroupIndex::MostRecentlyUsed, "Most Recently Used List (MRU)", ""},
    {ScanGroupIndex::ObsoleteStartMenu, "Obsolete Start Menu", "Start Menu"},
    {ScanGroupIndex::SharedDlls, "Shared DLLs", "Shared DLLs"},
    {ScanGroupIndex::SharedFolder, "Shared Folder", "Shared Folder"},
    {ScanGroupIndex::ShellExtensions, "Shell Extensions", "Shell Extensions"},
    {ScanGroupIndex::SoundAndAppEvents, "Sound and AppEvents", "Sound AppEvent"},
    {ScanGroupIndex::Uninstall, "Uninstall", "Uninstall"},
    {ScanGroupIndex::FileExtensions, "File Extensions", "File Extensions"},
}};

/// True for 0..11.
constexpr bool isScanGroupIndex(int index) { return index >= 0 && index < ScanGroupCount; }

/// The group at `index`; asserts that it is one of the twelve.
constexpr const ScanGroup &scanGroup(ScanGroupIndex index) {
  const int i = static_cast<int>(index);
  assert(isScanGroupIndex(i) && "scan group index out of range");
  return ScanGroups[static_cast<std::size_t>(i)];
}

/// The error type text of the group at `index`.
constexpr std::string_view errorTypeOf(ScanGroupIndex index) { return scanGroup(index).errorType; }

/// Pictures of the page's image list: group rows show the first, error rows the second.
inline constexpr int ScanGroupImage = 0;
inline constexpr int ErrorRowImage = 1;

} // namespace tw::scan
