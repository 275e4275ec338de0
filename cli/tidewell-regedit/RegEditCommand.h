#pragma once
// The command line of the registry editor and its run, apart from main() so tests can run
// it on any registry.
//
//   tidewell-regedit /e FILE [KEY]     export KEY (a root or a key below one; none: the
//                                      whole registry) to FILE
//   tidewell-regedit [/s] [/i] FILE... import each FILE
//
// Switches start with '/' or '-', any case. "/s" (silent) and "/i" change nothing: the
// program never asks questions and reports on stderr. A FILE of "-" is standard input or
// output. A FILE with a drive letter ("C:\x.reg") names a file of the machine's drives.

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryApi.h"

namespace tw::regedit {

struct RegEditCommand {
  enum class Action { Import, Export, Help };
  Action action = Action::Import;
  /// Files to import, or the one export file.
  std::vector<std::string> files;
  /// The key to export; empty for the whole registry.
  std::string key;
};

/// What a usage error says, or nothing when the arguments (without the program name) form a
/// command.
std::optional<std::string> parseRegEditCommand(const std::vector<std::string> &args,
                                               RegEditCommand &command);

/// The text of --help.
std::string regEditUsage();

/// What a run works on.
struct RegEditEnvironment {
  platform::RegistryApi *registry = nullptr;
  /// Why the registry may only be read; empty when it may be changed.
  std::string readOnlyReason;
  /// Makes `registry` (and `readOnlyReason`) one that holds at least the roots a run is about
  /// to use, so that a run loads no more of the registry than it needs; returns why that is
  /// impossible, or nothing. Unset when `registry` is given with every root.
  std::function<std::optional<std::string>(const std::vector<platform::RegKey> &roots)> loadRegistry;
  /// The host path of a Windows path ("C:\x.reg"), or nothing when it maps to no host file.
  std::function<std::optional<std::string>(std::string_view)> hostPathOf;
  std::istream *in = nullptr;
  std::ostream *out = nullptr;
  std::ostream *err = nullptr;
};

/// Exit status of a run: 0 on success, 1 when a file was refused or the registry failed (with
/// the reason on `err`).
int runRegEditCommand(const RegEditCommand &command, RegEditEnvironment &environment);

} // namespace tw::regedit
