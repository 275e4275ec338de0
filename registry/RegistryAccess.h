#pragma once
// The program's one way into the registry: the registry object TRegistry, the names of the
// registry roots, the splitting of an error's key text, and the generic routines that test
// and delete keys and values.
//
// A registry object lives inside one routine: create it, set CurrentRoot, open one key at a
// time, work, and let it go (which closes its key). It is never kept between user actions or
// handed to another thread.
//
// Error contract: opening, testing, enumerating and deleting report failure as false, -1, an
// empty list or by doing nothing. Reading a value of the wrong type, a failed read of a number
// and every refused write throw ERegistryException, whose message the user action that
// started the work shows.
//
// Text is UTF-8, standing for the system code page the program's texts are written in.

#include "platform/RegistryApi.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

/// A registry root, by its predefined handle value (HKEY_LOCAL_MACHINE, ...).
using RootKey = platform::RegKey;

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_CONFIG;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_DYN_DATA;
using platform::HKEY_LOCAL_MACHINE;
using platform::HKEY_PERFORMANCE_DATA;
using platform::HKEY_USERS;

/// The kinds of value data the program tells apart. Everything that is not text, a 32-bit
/// number or plain bytes (multi-strings, 64-bit numbers, untyped data) is Unknown, and so is a
/// value that does not exist.
enum class RegDataKind { Unknown, String, ExpandString, Integer, Binary };

/// A wrong-type read, a failed read of a number or a refused write. what() is the message the
/// user sees, naming the value.
class ERegistryException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;

  /// "Invalid data type for '<value>'"
  static ERegistryException invalidDataType(std::string_view valueName);
  /// "Failed to get data for '<value>'"
  static ERegistryException cannotGetData(std::string_view valueName);
  /// "Failed to set data for '<value>'"
  static ERegistryException cannotSetData(std::string_view valueName);
};

/// Where a key is stored: its root and its path below the root, as the registry spells it,
/// without a leading backslash.
struct StoredKey {
  RootKey root = 0;
  std::string path;
};

/// The registry object: a root, at most one open key, and the access it opens keys with. It
/// works in the registry view of the action that made it (see platform/RegistryView.h).
///
/// Key paths: a path that begins with a backslash is absolute below CurrentRoot; any other
/// path (the empty one included) is relative to the open key, or to CurrentRoot when no key
/// is open.
class TRegistry {
public:
  /// A registry object at HKEY_CURRENT_USER with no key open, opening keys with `accessMask`.
  explicit TRegistry(std::uint32_t accessMask = platform::access::KeyAllAccess);
  /// Closes the open key.
  ~TRegistry();
  TRegistry(const TRegistry &) = delete;
  TRegistry &operator=(const TRegistry &) = delete;

  /// The root that absolute paths are resolved against.
  RootKey CurrentRoot() const { return m_root; }
  /// Sets the root; a different root closes the open key.
  void CurrentRoot(RootKey root);

  /// The open key's path below the root, without a leading backslash; empty when none is open.
  const std::string &currentPath() const { return m_currentPath; }
  /// True while a key is open.
  bool hasOpenKey() const { return m_currentKey.has_value(); }
  /// The access keys are opened and created with.
  std::uint32_t accessMask() const { return m_access; }
  /// Where the open key is stored, whichever registry view opened it (a key of the 32-bit view
  /// names its Wow6432Node). Nothing when no key is open or the registry cannot tell.
  std::optional<StoredKey> storedKey() const;

  /// Opens the key (creating it and any missing parents when `canCreate` is set and the path
  /// is not empty) and makes it the open key, closing the previous one. False when it cannot be
  /// opened or created; the open key is then unchanged.
  bool OpenRegKey(std::string_view keyPath, bool canCreate);
  /// Opens the key with the strongest of the read accesses that the registry grants and keeps
  /// that access for later opens. False, with nothing changed, when none is granted.
  bool OpenRegKeyForRead(std::string_view keyPath);
  /// Closes the open key, if any.
  void CloseRegKey();
  /// True when the key exists and can be opened for reading; the open key stays as it is.
  bool KeyPathExists(std::string_view keyPath);

  /// True when the open key has at least one sub-key; false when none is open.
  bool HasChildKeys();
  /// The open key's sub-key names in enumeration order; empty when no key is open.
  std::vector<std::string> ListSubKeyNames();
  /// The open key's value names in enumeration order (the default value as the empty name);
  /// empty when no key is open.
  std::vector<std::string> ListValueNames();
  /// The open key's values with their type and data exactly as stored, in enumeration order;
  /// empty when no key is open.
  std::vector<platform::RegValue> listStoredValues();

  /// The kind of the value in the open key; Unknown when it (or the open key) does not exist.
  RegDataKind ValueKind(std::string_view valueName);
  /// The size of the value's data in bytes (text counts its terminating zero); -1 when the value
  /// does not exist.
  int ValueSize(std::string_view valueName);

  /// The text of a string or expandable string value (unexpanded, cut at the first zero
  /// character); empty when the value does not exist or has no data. Throws invalidDataType for
  /// any other kind of value.
  std::string ReadText(std::string_view valueName);
  /// The 32-bit number of an integer value. Throws cannotGetData when the value cannot be read
  /// and invalidDataType when it is not an integer.
  std::int32_t ReadNumber(std::string_view valueName);
  /// Copies the data of a binary (or Unknown-kind) value into `buffer` and returns its size; 0
  /// when the value does not exist. Throws invalidDataType for text and integer values and when
  /// the data does not fit in `bufferSize` bytes.
  std::size_t ReadBytes(std::string_view valueName, std::uint8_t *buffer, std::size_t bufferSize);
  /// The whole data of a binary (or Unknown-kind) value; empty when it does not exist. Throws
  /// invalidDataType for text and integer values.
  std::vector<std::uint8_t> ReadBytes(std::string_view valueName);

  /// Writes a string value (the text and a terminating zero). Throws cannotSetData when the
  /// registry refuses it or no key is open.
  void WriteText(std::string_view valueName, std::string_view text);
  /// Writes a 4-byte integer value. Throws cannotSetData when refused.
  void WriteNumber(std::string_view valueName, std::int32_t number);
  /// Writes a binary value of exactly `count` bytes. Throws cannotSetData when refused.
  void WriteBytes(std::string_view valueName, const std::uint8_t *bytes, std::size_t count);

  /// The value's type and data exactly as the registry stores them (text as UTF-16LE with its
  /// terminating zeros, if any); nothing when the value or the open key does not exist. This is
  /// what the undo store needs to give back values the calls above would change.
  std::optional<platform::RegValue> readRawValue(std::string_view valueName);
  /// Writes a value of any type with exactly the given data (text as UTF-16LE, nothing added).
  /// Throws cannotSetData when the registry refuses it or no key is open.
  void writeRawValue(std::string_view valueName, std::uint32_t type, const std::uint8_t *data,
                     std::size_t size);

  /// Deletes the value from the open key; false when there is no such value or no key is open.
  bool DeleteNamedValue(std::string_view valueName);
  /// Deletes the key with its whole sub-tree; true when the key itself was deleted. An empty
  /// path (which would name the open key or the root itself) deletes nothing and gives false.
  bool DeleteKeyTree(std::string_view keyPath);

private:
  /// Where a key path leads: the handle it is relative to, and the rest of the path.
  struct ResolvedPath {
    platform::RegKey base;
    std::string_view subPath;
    bool relative;
  };
  ResolvedPath resolve(std::string_view keyPath) const;
  void makeCurrent(platform::RegKey key, const ResolvedPath &where);
  std::optional<platform::RegValue> queryValue(std::string_view valueName,
                                               platform::DataForm form = platform::DataForm::Narrow);
  void writeValue(std::string_view valueName, std::uint32_t type, const std::uint8_t *data,
                  std::size_t size, platform::DataForm form = platform::DataForm::Narrow);

  platform::RegistryApi &m_api;
  RootKey m_root = HKEY_CURRENT_USER;
  std::optional<platform::RegKey> m_currentKey;
  std::string m_currentPath;
  std::uint32_t m_access;
  /// The registry view of the action that made the object (platform::ViewScope): added to the
  /// access of every open, so that the object sees the keys the action's half of the machine sees.
  std::uint32_t m_view;
  /// Closing a key does not flush it: changes reach the files through FlushRegistry.
  bool m_lazyWrite = true;
};

// --- Root names -------------------------------------------------------------------------

/// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
/// "HKEY_CURRENT_CONFIG" or "HKEY_DYN_DATA"; empty text for any other handle.
std::string RootKeyToFullName(RootKey root);
/// The root a full name names (exact, case-sensitive): HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
/// HKEY_USERS or HKEY_CURRENT_CONFIG; HKEY_CLASSES_ROOT for every other text.
RootKey FullNameToRootKey(std::string_view fullName);
/// The root a full name names in any ASCII case ("hkey_local_machine" too), the six roots
/// RootKeyToFullName names; nothing for any other text. The registry editor's files name roots so.
std::optional<RootKey> RootKeyOfName(std::string_view fullName);
/// The root a short name (HKLM, HKCU, HKU, HKCC, HKCR, HKDD; exact, case-sensitive) names, or
/// 0 for any other text.
RootKey ShortNameToRootKey(std::string_view shortName);
/// The short name of the six roots that have one; empty text otherwise.
std::string RootKeyToShortName(RootKey root);

// --- Key texts: "<full root name>\<key path>\<last name>" --------------------------------

/// FullNameToRootKey of the text before the first backslash (HKEY_CLASSES_ROOT when there is
/// none).
RootKey RootOfKeyText(std::string_view keyText);
/// The text from the first backslash (included) to the last (excluded): an absolute key path.
/// Empty when the text has fewer than two backslashes.
std::string KeyPathOfKeyText(std::string_view keyText);
/// The text after the last backslash; the whole text when it has none.
std::string LastNameOfKeyText(std::string_view keyText);

// --- Routines with a registry object of their own ---------------------------------------

/// True when the key exists under `root` and can be opened for reading.
bool RegKeyExists(RootKey root, std::string_view keyPath);
/// Deletes the value from the key; does nothing when the key cannot be opened.
void DeleteRegValue(RootKey root, std::string_view keyPath, std::string_view valueName);
/// Deletes the sub-key `subKeyName` of `parentKeyPath` with its whole sub-tree; does nothing
/// when the parent cannot be opened or the name is empty.
void DeleteRegKey(RootKey root, std::string_view parentKeyPath, std::string_view subKeyName);

/// What became of writing the registry's changes to its files; converts to true when every
/// change reached them.
struct RegistryFlushResult {
  bool written = false;
  /// Which file could not be written and why, as the registry tells it.
  platform::FlushFailure failure;
  /// The same for the user, naming the file and the cause; empty when all were written.
  std::string problem;

  explicit operator bool() const { return written; }
  /// One line for the user: the problem, or that the changes were saved.
  std::string description() const;
};

/// Writes every change made so far to the registry's files. Registry objects write lazily, so
/// every user action that changes the registry ends with this. When a file cannot be written
/// the file on disk keeps its previous content and the changes stay in memory.
RegistryFlushResult FlushRegistry();

/// Why the registry may only be read (a wineserver owns it, one of its files cannot be written),
/// as a sentence for the user; empty when it may be changed.
std::string registryReadOnlyReason();

} // namespace tw
