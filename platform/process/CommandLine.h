#pragma once
// Windows command lines taken apart as Windows programs take them apart.

#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {

/// The arguments of a command line that holds arguments only (no program name), split as the
/// C runtime of Windows programs splits them: blanks and tabs separate arguments; double
/// quotes group blanks into an argument and are removed; inside quotes "" is one quote;
/// 2n backslashes before a quote become n backslashes (the quote then counts as a quote),
/// 2n+1 backslashes before a quote become n backslashes and a literal quote; other
/// backslashes stay as they are.
std::vector<std::string> splitArguments(std::string_view arguments);

/// The program part of a full command line, as CreateProcess reads it: a quoted first word
/// up to its closing quote, otherwise up to the first blank. `rest` receives the text after it
/// (the arguments, without the separating blanks).
std::string splitProgram(std::string_view commandLine, std::string_view &rest);

/// The places where an unquoted first word that contains blanks may end, shortest first, as
/// CreateProcess tries them ("C:\Program Files\a b.exe /x" gives "C:\Program",
/// "C:\Program Files\a", "C:\Program Files\a b.exe" and the whole line). Each candidate comes
/// with the text that would follow it.
std::vector<std::pair<std::string, std::string_view>> programCandidates(std::string_view commandLine);

} // namespace tw::platform
