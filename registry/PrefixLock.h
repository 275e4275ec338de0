#pragma once
// One program at a time changes a machine's registry and its undo store. Every action that does
// (fixing, restoring and clearing the history, removing add-ons, importing a restore point)
// holds the machine's PrefixLock while it works; a second program (another window, a
// tidewell-cli) that tries meanwhile is refused and tells its user that another one is working.
//
// The lock is the system's lock of the file "tidewell.lock" in the program folder, which the
// system releases when the holder ends, however it ends: a crash never leaves it behind. Within
// one process the lock nests, so an action may take it inside a command that already holds it.
//
//   PrefixLock lock = PrefixLock::take();
//   if (!lock) return fail(lock.description());
//   ... read the undo store, change the registry, save both ...

#include "platform/FileLock.h"

#include <string>

namespace tw::platform {
class Machine;
}

namespace tw {

/// The name of the lock file in the program folder.
inline constexpr const char *PrefixLockFileName = "tidewell.lock";

class PrefixLock {
public:
  /// Takes the lock of the installed machine without waiting.
  static PrefixLock take();
  /// Takes the lock of `machine` without waiting.
  static PrefixLock take(platform::Machine &machine);

  /// Holds nothing.
  PrefixLock() = default;

  /// True while this object holds the lock.
  explicit operator bool() const { return static_cast<bool>(m_lock); }
  /// True when another program holds the lock.
  bool isBusy() const { return m_lock.status() == platform::FileLock::Status::Busy; }
  /// For the user: that another program is working on the registry, or why the lock file cannot
  /// be used (naming it); empty while the lock is held.
  std::string description() const;

private:
  platform::FileLock m_lock;
  std::string m_path;
};

} // namespace tw
