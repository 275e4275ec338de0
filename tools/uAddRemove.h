#pragma once
// The uninstall manager: the installed programs the machine-wide uninstall key knows, sorted by
// display name, whose uninstallers can be started and whose entries can be deleted.
//
// A row: caption the entry's DisplayName, sub-item its UninstallString (empty when it has
// none), data the key the entry is stored in below HKEY_LOCAL_MACHINE
// ("Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>"). The list is sorted by caption.
//
// Nothing here is recorded in the undo store: a deleted entry cannot be restored.

#include "lists/CheckableList.h"
#include "repair/ActionResult.h"

#include <string>
#include <string_view>

namespace tw::tools {

/// The sub-item of an uninstall row that holds its command line.
inline constexpr std::size_t UninstallPathSubItem = 0;

/// The machine-wide uninstall key below HKEY_LOCAL_MACHINE, and where a 64-bit Windows keeps the
/// entries of 32-bit programs.
inline constexpr std::string_view UninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr std::string_view UninstallKey32 =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

/// The question Delete entries asks first.
inline constexpr std::string_view DeleteEntriesQuestion = "Are you sure to delete the key(s)?";

/// Replaces the rows with one unchecked row per sub-key of the uninstall keys that has a
/// non-empty DisplayName. Leaves the list as it is when the uninstall key cannot be opened.
/// Fails (RegistryRefused) with the registry's message when DisplayName or UninstallString is
/// not text; the rows listed before it stay.
repair::ActionResult ListUninstallEntries(lists::CheckableList &list);

/// Deletes the key (with its sub-keys) of every checked row, first to last, writes the registry's
/// files and lists the entries again. A row whose data does not name one entry of an uninstall
/// key deletes nothing. A key that cannot be deleted is listed again by the new listing. Refused,
/// with nothing deleted and the list unchanged, while the registry may only be read.
repair::ActionResult DeleteCheckedUninstallEntries(lists::CheckableList &list);

/// Uninstall: starts the command line of every checked row, first to last, each without waiting
/// for it; rows without one start nothing. When Windows programs cannot be started here (Wine
/// is not installed) nothing is started and the result says so. `count` is the number started;
/// a command whose program cannot be found fails the result with its name, and the others still
/// start.
repair::ActionResult startCheckedUninstallers(const lists::CheckableList &list);

} // namespace tw::tools
