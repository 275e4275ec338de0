#pragma once
// The machine a Wine prefix makes: its registry files, its drives and its system facts, opened
// by the program itself without Wine having to run.

#include <memory>
#include <string>

namespace tw::platform {

class Machine;
class RegistryApi;

/// The prefix a program run uses: $WINEPREFIX when set and not empty, otherwise ~/.wine
/// ($HOME, or the password database's home folder when HOME is unset). Never ends in '/'.
std::string defaultPrefixDir();

/// What became of opening a prefix; converts to true when a machine was made.
/// A prefix that a running wineserver owns still opens, read-only, with `readOnlyReason` set.
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

/// Opens the prefix in `prefixDir`: its registry (system.reg, user.reg, userdef.reg), its
/// drives (dosdevices), its system facts and a process launcher that starts children in it.
/// Returns nothing when the prefix or its registry cannot be opened; `result` says why.
std::unique_ptr<Machine> openWinePrefix(const std::string &prefixDir, PrefixOpenResult &result);

/// A machine made of the files, system facts and processes of the prefix folder `prefixDir`
/// and any registry (tests pass makeMemoryRegistry()). The folder need not hold registry files.
std::unique_ptr<Machine> makeMachine(const std::string &prefixDir,
                                     std::unique_ptr<RegistryApi> registry);

} // namespace tw::platform
