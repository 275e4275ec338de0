#pragma once
// The browser add-on manager: listing the add-ons the registry records (toolbars, browser
// extensions, explorer bars, menu extensions, the download handler) into the add-on list, and
// removing the checked ones after recording them in the undo store.
//
// A row of the add-on list: caption "Name", sub-items "Type" (one of the seven kind labels),
// "Registry Entries" (the identity: a class identifier, or for a menu extension the menu-extension
// key) and "Path"; a menu extension keeps its exact sub-key name as the row's data, since its
// "Name" has every "&" removed.

#include "registry/RegistryAccess.h"
#include "repair/ActionResult.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::lists {
class CheckableList;
}

namespace tw::tools {

// The seven kind labels ("Type").
inline constexpr std::string_view MachineToolbarKind = "Toolbar ALL USER";
inline constexpr std::string_view UserToolbarKind = "Toolbar CURRENT USER";
inline constexpr std::string_view BrowserExtensionKind = "Browser Extensions";
inline constexpr std::string_view MachineExplorerBarKind = "Exp. ALL USER";
inline constexpr std::string_view UserExplorerBarKind = "Exp. CURRENT USER";
inline constexpr std::string_view MenuExtensionKind = "Menu Extensions";
inline constexpr std::string_view DownloadHandlerKind = "Download Handler";

// Where each kind is registered.
inline constexpr std::string_view MachineToolbarKey = "\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
inline constexpr std::string_view UserToolbarKey = "\\Software\\Microsoft\\Internet Explorer\\Toolbar\\WebBrowser";
inline constexpr std::string_view BrowserExtensionKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats";
inline constexpr std::string_view MachineExplorerBarKey = "\\SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars";
inline constexpr std::string_view UserExplorerBarKey = "\\Software\\Microsoft\\Internet Explorer\\Explorer Bars";
inline constexpr std::string_view MenuExtensionKey = "\\Software\\Microsoft\\Internet Explorer\\MenuExt";
inline constexpr std::string_view BrowserKey = "\\Software\\Microsoft\\Internet Explorer";
inline constexpr std::string_view DownloadHandlerValue = "DownloadUI";
/// The "Registry Entries" text of every menu extension.
inline constexpr std::string_view MenuExtensionIdentity =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt";

// Sub-items of an add-on row.
inline constexpr std::size_t AddonTypeSubItem = 0;
inline constexpr std::size_t AddonEntriesSubItem = 1;
inline constexpr std::size_t AddonPathSubItem = 2;

// The two refusals.
inline constexpr std::string_view BuiltInToolbarRefusal = "Links and Address bar cannot be delete. Sorry";
inline constexpr std::string_view BuiltInExplorerBarRefusal =
    "The default Explorer bars such as History, Favourite, Search - cannot be deleted";

/// The class name and the server path read for one class identifier.
struct TToolbarInfo {
  std::string name;
  std::string path;
};

/// The five Display boxes: which kinds are listed.
struct AddonKinds {
  bool toolbars = true;
  bool browserExtensions = true;
  bool downloadHandler = true;
  bool menuExtensions = true;
  bool explorerBars = true;
};

/// Empties the list and fills it with the add-ons of the kinds set in `kinds`. A value that cannot
/// be read as the kind the registry reports (a binary default value longer than 255 bytes) ends
/// the scan: the rows found before it stay listed and the result (RegistryRefused) carries the
/// registry layer's message.
repair::ActionResult ScanAddons(lists::CheckableList &addons, const AddonKinds &kinds);

/// The data of a value as text: a string or expandable string as it is (unexpanded), an integer
/// as a signed decimal number, a binary value as upper-case hex bytes joined by ","; empty for
/// any other kind, a missing value or a key that cannot be opened with full access. Throws
/// ERegistryException for a binary value longer than 255 bytes.
std::string ReadValueText(RootKey root, std::string_view keyPath, std::string_view valueName);

/// The name (default value of HKEY_CLASSES_ROOT\CLSID\<classId>) and server path (default value
/// of its sub-key `serverKeyName`) of a class; empty texts where they are missing.
TToolbarInfo ReadClassInfo(std::string_view classId, std::string_view serverKeyName);

/// `text` with every "&" removed; "Unknown Toolbar" when nothing is left.
std::string CleanAddonName(std::string_view text);

/// Adds one row, unless the identity (trimmed of blanks and control characters) is empty: named
/// "(Unknown)" when the class name so trimmed is empty, otherwise CleanAddonName of it, with
/// " Toolbar" appended for the two toolbar labels. `data` is kept with the row.
void AddAddonRow(lists::CheckableList &addons, std::string_view label, std::string_view className,
                 std::string_view identity, std::string_view path, std::string data = {});

/// Where the keys of an add-on listed from the 32-bit registry view of a 64-bit machine are
/// stored: the key that holds its class key, below HKEY_CLASSES_ROOT ("\Wow6432Node\CLSID"),
/// and the key that registers it, below the root of its kind
/// ("\SOFTWARE\Wow6432Node\Microsoft\Internet Explorer\Toolbar"). Removal records and
/// deletes the add-on there. Rows of the 64-bit view keep no such data: their keys are the
/// fixed ones above.
struct AddonKeys {
  std::string classParent;
  std::string registrationKey;
};
/// The row data that keeps `keys` (the two paths on two lines).
std::string addonKeysData(const AddonKeys &keys);
/// The keys a row's data keeps, or nothing when it keeps none (a row of the 64-bit view, or a
/// menu extension's sub-key name).
std::optional<AddonKeys> AddonKeysOf(std::string_view data);

/// Deletes HKEY_CLASSES_ROOT\CLSID\<classId> with its sub-tree. An identifier that is empty or
/// holds a backslash (which would name another key below CLSID) deletes nothing.
void DeleteClassKey(std::string_view classId);

/// What a removal pass did: the action's outcome (count: records appended), and the message of
/// each refused row in the order the rows were visited.
struct AddonRemovalResult {
  repair::ActionResult result = repair::ActionResult::ok();
  std::vector<std::string> refusals;
};

/// Removes every checked add-on, from the last row to the first: appends one record (NAME,
/// TYPE, PATH from the row) to the undo store, then, unless the kind refuses the row (the
/// current user's "Address Toolbar" and "Links Toolbar", explorer bars served by browseui.dll,
/// shell32.dll or shdocvw.dll), records the add-on's keys and values and deletes them. The
/// undo store is saved before the registry is written: when it cannot be saved nothing is
/// erased and the records are taken back. A value that cannot be recorded ends the pass at its
/// row, which keeps no record and loses nothing; what was done before it is kept and saved. The
/// rows are left as they are; scan again.
AddonRemovalResult RemoveCheckedAddons(repair::DocumentFile undoStore, const lists::CheckableList &addons);

} // namespace tw::tools
