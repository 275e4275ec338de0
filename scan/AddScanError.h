#pragma once
// The single routine through which every scanner reports a broken entry.

#include <cstdint>
#include <string>
#include <string_view>

namespace tw::scan {

class ScanSession;

/// Reports one error: unless the session's ignore list hides `keyText`, appends a checked row
/// (`errorType`, `keyText`, `keyValue`, `guessPath`) to the session's error list and adds 1 to
/// `counter`; an ignored error changes nothing. Throws IgnoreListError when the ignore test
/// reaches a malformed entry (nothing is appended then).
void AddScanError(ScanSession &session, std::string_view errorType, std::string keyText,
                  std::string keyValue, std::string guessPath, std::int32_t &counter);

} // namespace tw::scan
