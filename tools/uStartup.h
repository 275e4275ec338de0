#pragma once
// The startup manager: the programs Windows starts at logon, listed one row per entry with a
// check box that means active, and moved between their start-up key and the place that keeps
// disabled entries when the user applies changed check boxes.
//
// Where entries are, by the kind of Windows (WindowsKind):
//   1 to 4   HKLM ...\Run and ...\RunServices (active), ...\Run- and ...\RunServices- (disabled):
//            a disabled entry is the same value in the sibling key whose name ends in "-".
//   5 to 7   HKLM and HKCU ...\Run (active), and the records below HKLM
//   and NT 6 Software\Microsoft\Shared Tools\MSConfig\startupreg (disabled): one sub-key per
//   or later entry, named after it, holding "command", "hkey", "inimapping", "item" and "key".
//   other    nothing.
//
// A row: caption the item name, sub-items the command and the location ("HKLM\<key path>");
// a row listed from a startupreg record carries the record's sub-key name as its data.
//
// Nothing here is recorded in the undo store: enabling and disabling undo each other. An entry
// is never in neither place: its new place is written, and reaches the registry's files, before
// its old place is removed.

#include "lists/CheckableList.h"
#include "registry/RegistryAccess.h"
#include "repair/ActionResult.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
struct VersionRecord;
}

namespace tw::tools {

/// The sub-items of a startup row.
inline constexpr std::size_t StartupCommandSubItem = 0;
inline constexpr std::size_t StartupLocationSubItem = 1;

/// The key below HKEY_LOCAL_MACHINE that holds the records of disabled entries (NT family).
inline constexpr std::string_view StartupRegKey = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr std::string_view RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view RunServicesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

/// The message every Apply ends with.
inline constexpr std::string_view RestartMessage = "You must restart the computer to apply the changes.";

/// The check state each row had when the list was filled, one per row in row order: what Apply
/// and the Apply button compare the check boxes with.
using StartupStates = std::vector<bool>;

/// The kind of Windows whose start-up places the manager uses for `version`: WindowsKind, except
/// that NT 6 and later (Vista to 11, which WindowsKind calls unknown) keep their entries where NT
/// 5 does and count as 7.
int startupKindOf(const std::optional<platform::VersionRecord> &version);
/// startupKindOf the installed machine's version, read afresh.
int startupWindowsKind();

/// Appends one row per value of `root`'s `keyPath` (no leading backslash), with the value's
/// name, its text and the location, checked as `checked`, in each registry view of the machine:
/// on a 64-bit machine the 32-bit programs' entries follow, their location naming the key where
/// they are stored ("HKLM\Software\Wow6432Node\..."); a key both views share is listed once.
/// Adds nothing for a view whose key cannot be opened. Throws ERegistryException (invalid data type) at a value that is not text; the rows
/// before it stay.
void ListRunKey(lists::CheckableList &list, RootKey root, std::string_view keyPath, bool checked);
/// Appends one unchecked row per record below `root`'s `keyPath`: "item", "command", and the
/// location "hkey\key", with the record's sub-key name as the row's data. Records that cannot be
/// opened are skipped. Throws ERegistryException as ListRunKey does.
void ListStartupRegRecords(lists::CheckableList &list, RootKey root, std::string_view keyPath);

/// Empties the list and lists the places of `kind` in their order, then makes `states` the
/// rows' check states. Fails (RegistryRefused) with the registry's message when a value cannot
/// be read; the rows listed before it stay, and `states` still has one entry per row.
repair::ActionResult fillStartupList(lists::CheckableList &list, StartupStates &states, int kind);

/// What became of moving one entry.
enum class StartupChangeKind {
  Moved,           ///< the entry is at its new place and gone from its old one
  NotMoved,        ///< nothing was changed (the reason says why)
  LeftInBoth,      ///< the new place was written but the old one could not be removed
};
struct StartupChangeResult {
  StartupChangeKind kind = StartupChangeKind::NotMoved;
  /// Why the entry did not move, or stayed in both places; empty when it moved.
  std::string reason;
  explicit operator bool() const { return kind == StartupChangeKind::Moved; }
};

/// Moves one entry (item name, command, location "HKLM\<key path>" as its row shows them) into
/// the active place (`enabled`) or the disabled one, by the rules of `kind`, in memory: the new
/// place is written first, and the old one is removed only when that succeeded. `recordName` is
/// the startupreg sub-key an NT row was listed from (the item name when empty). An item name a
/// record cannot be named after (empty, or holding a backslash), a root that is not a short root
/// name, a key that cannot be opened and a name already taken at the new place move nothing.
/// The caller writes the registry's files (Apply writes them between the two steps).
StartupChangeResult SetStartupItemEnabled(std::string_view itemName, std::string_view command,
                                          std::string_view location, bool enabled, int kind,
                                          std::string_view recordName = {});

/// Apply: carries out every row whose check box differs from its entry in `states`, first row
/// to last, by the rules of `kind`, and stores each row's check state in `states`. Every new
/// place is written and saved before any old place is removed, so a file that cannot be written
/// leaves each entry where it was. Nothing is touched when no row changed. `count` is the number
/// of entries moved; a failure names each entry that stayed, and why. Refused, with nothing
/// changed, while the registry may only be read.
repair::ActionResult applyStartupChanges(lists::CheckableList &list, StartupStates &states, int kind);

/// True when some row's check box differs from its entry in `states` (the Apply button's test).
bool startupChangesPending(const lists::CheckableList &list, const StartupStates &states);

} // namespace tw::tools
