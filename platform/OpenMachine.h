#pragma once
// Opening the machine the program works on, in one place for every program: on Linux the Wine
// prefix in a folder, on Windows the running system. Nothing above this layer names a backend.

#include "platform/RegistryApi.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::platform {

class Machine;

/// The prefix a program run uses: $WINEPREFIX when set and not empty, otherwise ~/.wine
/// ($HOME, or the password database's home folder when HOME is unset). Never ends in '/'.
std::string defaultPrefixDir();

/// What became of opening a prefix; converts to true when a machine was made.
/// A registry that may only be read (a wineserver owns the prefix) still opens, with
/// `readOnlyReason` set.
struct PrefixOpenResult {
  enum class Status {
    Ok,
    PrefixMissing,      ///< the folder does not exist or is not a folder
    NotAPrefix,         ///< the folder holds no registry files (system.reg, user.reg)
    RegistryUnreadable, ///< a registry file is damaged or cannot be read
  };
  Status status = Status::PrefixMissing;
  std::string prefixDir;
  /// What went wrong, naming the file and the position where one is known; empty when Ok.
  std::string message;
  /// Set when the registry may only be read (a wineserver runs for the prefix); says why.
  std::string readOnlyReason;

  explicit operator bool() const { return status == Status::Ok; }
  bool readOnly() const { return !readOnlyReason.empty(); }
  /// One line for the user: the message, or the read-only reason, or that the prefix opened.
  std::string description() const;
};

/// What a program run needs of the machine it opens.
struct MachineOptions {
  /// The registry roots the run works on (HKEY_LOCAL_MACHINE, ...); nothing: every root. A
  /// backend that reads its registry from files may then leave out the files none of them is
  /// kept in, so a run that needs one small root does not read a large file; a root left out
  /// refuses to be opened (InvalidHandle), and a file left out is never written. Backends
  /// that open the registry as a whole ignore it.
  std::optional<std::vector<RegKey>> registryRoots;
};

/// The machine a program run works on: on Linux the Wine prefix `location` names (empty:
/// defaultPrefixDir()), on Windows the running system (a non-empty `location` is refused: a
/// Wine prefix is opened on Linux). Returns nothing when it cannot be opened; `result` says why.
std::unique_ptr<Machine> openMachine(const std::string &location, PrefixOpenResult &result,
                                     const MachineOptions &options = {});

} // namespace tw::platform
