#pragma once
// Turning registry data into the file it refers to, and the folder and version facts that
// takes: the system, Windows, program files and temporary folders and the kind of Windows the
// machine runs. Plain functions without state; every folder text ends with a backslash.

#include "platform/SystemInfo.h"

#include <optional>
#include <string>
#include <string_view>

namespace tw {

/// The file path a registry text (a command line, a quoted path, a path with %SystemRoot% or
/// %ProgramFiles%, a rundll32 call, a resource reference, a bare file name, an administrative
/// share name) refers to. Never fails: an empty text gives an empty path, a network path comes
/// back unchanged, and anything else gives some path whose existence the caller tests.
std::string GuessPath(std::string_view registryText);

/// The system folder ("C:\windows\system32\").
std::string GetSystemDir();
/// The Windows folder, derived from the system folder: its text up to and including the first
/// backslash at the fourth character or later ("C:\windows\system32\" gives "C:\windows\").
std::string GetWindowsDir();
/// The program files folder from the registry (ProgramFilesDir of HKEY_LOCAL_MACHINE
/// \SOFTWARE\Microsoft\Windows\CurrentVersion); empty text when the key or value is missing or
/// empty.
std::string GetProgramFilesDir();
/// The temporary folder, as the system gives it.
std::string GetTempDir();

/// 1 Windows 95, 2 Windows 98, 3 Windows Me, 4 Windows NT 4.0 and older, 5 Windows 2000,
/// 6 Windows XP, 7 Windows Server 2003; 0 for anything else or when the version cannot be read.
/// Reads the machine's version afresh on every call.
int WindowsKind();
/// The same classification of a given version record (0 when there is none).
int classifyWindowsVersion(const std::optional<platform::VersionRecord> &version);

/// `text` with the first occurrence of `pattern` (exact, case-sensitive) replaced by
/// `replacement`; `text` unchanged when the pattern does not occur.
std::string ReplaceFirst(std::string_view pattern, std::string_view replacement,
                         std::string_view text);
/// `text` with the letters A to Z in lower case; every other byte as it is.
std::string lowerAscii(std::string_view text);
/// `text` without its leading and trailing blanks and control characters (bytes up to ' ').
std::string_view trimBlanks(std::string_view text);
/// `text` without the first occurrence of `separator` and everything after it; unchanged when
/// the separator does not occur.
std::string CutAtFirst(std::string_view text, std::string_view separator);

} // namespace tw
