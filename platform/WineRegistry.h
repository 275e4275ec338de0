#pragma once
// The registry of a Wine prefix, read from and written to the prefix's own files (system.reg,
// user.reg, userdef.reg) in Wine's text format, without Wine running.
//
// Roots: HKEY_LOCAL_MACHINE is system.reg, HKEY_CURRENT_USER is user.reg, HKEY_USERS holds
// .Default (userdef.reg) and the user's key (user.reg), HKEY_CLASSES_ROOT and
// HKEY_CURRENT_CONFIG are keys below HKEY_LOCAL_MACHINE; keys marked as links are followed.
//
// Changes stay in memory until RegFlushKey (flushKey), which saves each changed file
// atomically and leaves unchanged files alone. The registry opens read-only, and says why,
// while a wineserver runs for the prefix (it owns the files then) and for files that cannot
// be written.

#include "platform/AtomicFile.h"
#include "platform/RegistryApi.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {

/// What became of loading a registry file; converts to true on success. A default-constructed
/// result is a failure. `description()` names the file, the line and what was wrong.
struct RegistryLoadResult {
  enum class Status {
    Ok,
    FileNotFound,         // the prefix folder or its system.reg does not exist
    NotAFile,             // a folder, device or other non-regular file
    ReadError,            // the file could not be read
    TooLarge,             // larger than the registry accepts
    BadHeader,            // the first line is not "WINE REGISTRY Version 2"
    BadArchitecture,      // an #arch line names no known architecture, or files disagree
    MalformedKey,         // a [key] line that cannot be read
    MalformedValue,       // a value line that cannot be read
    MalformedOption,      // a #time, #class or other option line that cannot be read
    DuplicateKey,         // the same key appears twice
    DuplicateValue,       // the same value appears twice in one key
    ValueWithoutKey,      // a value before the first key
    UnexpectedLine,       // a line of no known kind
    TooDeep,              // keys nested deeper than the registry allows
  };
  Status status = Status::ReadError;
  std::string file;
  /// 1-based line of the fault, 0 when the fault is not on a line.
  std::size_t line = 0;
  /// What was found, for the message ("missing closing quote", ...).
  std::string detail;

  explicit operator bool() const { return status == Status::Ok; }
  std::string description() const;
};

/// How a prefix is opened.
struct WineRegistryOptions {
  /// Open read-only even if the files could be written.
  bool readOnly = false;
  /// Skip the check for a running wineserver (tests that hold a lock of their own).
  bool ignoreRunningServer = false;
};

class WineRegistry : public RegistryApi {
public:
  /// True when no change can be made (a wineserver runs, a file cannot be written, or the
  /// registry was opened read-only). Opens asking for a modifying right then fail.
  virtual bool isReadOnly() const = 0;
  /// A sentence for the user saying why the registry is read-only; empty when it is not.
  std::string readOnlyReason() const override = 0;
  /// The outcome of the last file save that flushKey attempted (Ok when none failed).
  virtual SaveResult lastSaveResult() const = 0;
  /// Why the last flushKey failed, as a sentence naming the file; empty after a success.
  virtual std::string lastSaveError() const = 0;
};

/// Opens the registry of the prefix folder `prefixDir`. On failure returns null and `result`
/// says which file is damaged and where; no file is ever changed by a failed open.
///
/// `roots`, when given, are the roots to load. A file that holds none of them (system.reg
/// holds HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG; user.reg
/// HKEY_CURRENT_USER; HKEY_USERS spans userdef.reg and user.reg) is not read, unless a link in
/// a file that is read leads into it. The roots of a file left out refuse to be opened
/// (InvalidHandle), its keys cannot be changed, and it is never written.
std::unique_ptr<WineRegistry> openWineRegistry(const std::string &prefixDir, RegistryLoadResult &result,
                                               const WineRegistryOptions &options = {},
                                               const std::optional<std::vector<RegKey>> &roots = std::nullopt);

/// Checks the text of one registry file held in memory, as opening a prefix checks each file.
/// `fileName` only names the file in the result.
RegistryLoadResult checkRegistryText(std::string_view text, std::string_view fileName);

} // namespace tw::platform
