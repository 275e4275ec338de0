#pragma once
// Starting the program with Windows: the value "Tidewell Registry Cleaner 2006" under the current
// user's Run key, holding the program's own path as Windows programs on the machine see it (on a
// Wine prefix the host path through the drive that maps it, normally Z:), so that the machine
// starts the program when the user logs on.

#include <string>

namespace tw::app {

/// The Run key below HKEY_CURRENT_USER.
inline constexpr const char *AutorunKeyPath = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
/// The name of the program's value under the Run key.
inline constexpr const char *AutorunValueName = "Tidewell Registry Cleaner 2006";

/// The path the autorun entry holds: the running executable's full path, as the machine reports
/// the program's module file name (no quotes, no arguments).
std::string autorunCommand();

/// True when the autorun entry holds exactly this executable's path (case-sensitive). Only
/// reads; a missing Run key, a missing value and a value of another type read as "not
/// registered".
bool IsAutorunEnabled();

/// On: writes the autorun entry with this executable's path. Off: deletes that value and
/// nothing else (the Run key stays); a value that cannot be deleted passes silently. The change
/// stays in the registry's memory until the registry is flushed. Throws ERegistryException
/// ("Failed to set data for ...") when the value cannot be written.
void SetAutorun(bool on);

} // namespace tw::app
