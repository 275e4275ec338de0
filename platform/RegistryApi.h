#pragma once
// The registry interface a Windows program sees: the eleven advapi32 calls the program
// uses, with their error codes and access rules. Callers never name a backend; they ask
// platform::machine().registry() (see Machine.h) or are handed a RegistryApi.
//
// Error contract (kept by every call): the result is a Windows error code, 0 on success.
// On failure no out-parameter is changed and nothing is left open.
//
// Text: key names, value names and string data cross this interface as UTF-8, which stands
// for the 8-bit system code page of the original "A" calls. DataForm::Raw hands string data
// over exactly as stored (UTF-16LE for REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ), which the
// registry editor needs to write and read hex(2) and hex(7) values unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {

/// A key handle. The predefined roots have the Windows handle values below.
using RegKey = std::uint32_t;

inline constexpr RegKey HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr RegKey HKEY_CURRENT_USER = 0x80000001u;
inline constexpr RegKey HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr RegKey HKEY_USERS = 0x80000003u;
inline constexpr RegKey HKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr RegKey HKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr RegKey HKEY_DYN_DATA = 0x80000006u;

/// Windows error codes the calls return.
namespace error {
inline constexpr long Success = 0;
inline constexpr long FileNotFound = 2;
inline constexpr long AccessDenied = 5;
inline constexpr long InvalidHandle = 6;
inline constexpr long InvalidParameter = 87;
inline constexpr long MoreData = 234;
inline constexpr long NoMoreItems = 259;
inline constexpr long KeyDeleted = 1018;
inline constexpr long WriteFault = 29;
inline constexpr long NotSupported = 50;
inline constexpr long BadFormat = 1009;  // ERROR_BADDB: a registry file that cannot be read
} // namespace error

/// Access rights of a key handle.
namespace access {
inline constexpr std::uint32_t QueryValue = 0x0001;
inline constexpr std::uint32_t SetValue = 0x0002;
inline constexpr std::uint32_t CreateSubKey = 0x0004;
inline constexpr std::uint32_t EnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t Notify = 0x0010;
inline constexpr std::uint32_t CreateLink = 0x0020;
inline constexpr std::uint32_t Delete = 0x00010000;
inline constexpr std::uint32_t ReadControl = 0x00020000;
inline constexpr std::uint32_t WriteDac = 0x00040000;
inline constexpr std::uint32_t WriteOwner = 0x00080000;
inline constexpr std::uint32_t KeyRead = 0x20019;      // KEY_READ
inline constexpr std::uint32_t KeyWrite = 0x20006;     // KEY_WRITE
inline constexpr std::uint32_t KeyAllAccess = 0xF003F; // KEY_ALL_ACCESS
/// KEY_WOW64_64KEY and KEY_WOW64_32KEY: not rights but the registry view an open or create
/// works in on a machine that has two (see RegistryApi::hasTwoViews). Without either, a key
/// opened relative to a handle stays in that handle's view, and one opened relative to a root
/// is in the 64-bit view. A machine with one view ignores both.
inline constexpr std::uint32_t Wow64_64Key = 0x0100;
inline constexpr std::uint32_t Wow64_32Key = 0x0200;
inline constexpr std::uint32_t Wow64Views = Wow64_64Key | Wow64_32Key;
/// Rights that change the registry; refused on a registry that may only be read.
inline constexpr std::uint32_t Modifying =
    SetValue | CreateSubKey | CreateLink | Delete | WriteDac | WriteOwner;
} // namespace access

/// Registry value types.
namespace regtype {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Sz = 1;
inline constexpr std::uint32_t ExpandSz = 2;
inline constexpr std::uint32_t Binary = 3;
inline constexpr std::uint32_t Dword = 4;
inline constexpr std::uint32_t DwordBigEndian = 5;
inline constexpr std::uint32_t Link = 6;
inline constexpr std::uint32_t MultiSz = 7;
inline constexpr std::uint32_t Qword = 11;
} // namespace regtype

/// True for the types whose data is text (converted between UTF-16 and UTF-8 in DataForm::Narrow).
constexpr bool isStringType(std::uint32_t type) {
  return type == regtype::Sz || type == regtype::ExpandSz || type == regtype::MultiSz;
}

/// How string data crosses the interface: Narrow as the "A" calls give it (UTF-8, with its
/// terminating zero(s) counted in the size), Raw exactly as stored.
enum class DataForm { Narrow, Raw };

/// What RegQueryInfoKey reports. Lengths are in characters (bytes of UTF-8 text for names).
struct KeyInfo {
  std::uint32_t subKeyCount = 0;
  std::uint32_t maxSubKeyNameLength = 0;
  std::uint32_t valueCount = 0;
  std::uint32_t maxValueNameLength = 0;
  std::uint32_t maxValueDataLength = 0;
  std::string className;
  /// Last write time as a Windows FILETIME (100 ns since 1601-01-01 UTC).
  std::uint64_t lastWriteTime = 0;
};

/// Why the last flush (RegFlushKey) failed: which file could not be written and what stood in
/// the way. A default-constructed one says that nothing failed. Callers ask the interface for it
/// (lastFlushFailure) instead of reading a message or naming a backend.
struct FlushFailure {
  enum class Cause {
    None,            ///< the last flush wrote every change
    ServerRunning,   ///< a wineserver started for the prefix and owns its files now
    ChangedOnDisk,   ///< the file changed on disk since it was read (another program wrote it)
    WriteProtected,  ///< the file, or the folder it must be written in, may not be written
    NotARegularFile, ///< the file's name is taken by a folder, device or pipe
    CannotCreate,    ///< no temporary file could be made beside the file
    WriteFailed,     ///< writing the new content failed (a full disk, an I/O error)
    SyncFailed,      ///< the new content could not be flushed to the disk
    RenameFailed,    ///< the new content could not replace the old file
  };
  Cause cause = Cause::None;
  /// The backing file that could not be written (a host path); empty when none is to blame.
  std::string file;
  /// The OS error behind the cause, 0 when there is none.
  int osError = 0;

  bool failed() const { return cause != Cause::None; }
  /// One sentence naming the file and the cause; empty when nothing failed.
  std::string description() const;
};

/// One value as returned by queryValue and enumValue.
struct RegValue {
  std::string name;
  std::uint32_t type = regtype::None;
  std::vector<std::uint8_t> data;
};

class RegistryApi {
public:
  virtual ~RegistryApi() = default;

  /// RegOpenKeyEx: opens `subKey` (backslash-separated, relative to `parent`; empty reopens
  /// `parent`) with `desiredAccess`. FileNotFound if it does not exist, AccessDenied if the
  /// access cannot be granted.
  virtual long openKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
                       RegKey &result) = 0;
  /// RegCreateKeyEx: opens or creates `subKey` and any missing parents. `created` (optional)
  /// tells whether the key was new.
  virtual long createKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
                         RegKey &result, bool *created = nullptr) = 0;
  /// RegCloseKey. Closing a predefined root is a no-op that succeeds.
  virtual long closeKey(RegKey key) = 0;
  /// RegQueryInfoKey.
  virtual long queryInfoKey(RegKey key, KeyInfo &info) = 0;
  /// RegEnumKeyEx: the name of the sub-key at `index` in enumeration order; NoMoreItems past the end.
  virtual long enumKey(RegKey key, std::uint32_t index, std::string &name) = 0;
  /// RegEnumValue: the value at `index` in the order values were created; NoMoreItems past the end.
  virtual long enumValue(RegKey key, std::uint32_t index, RegValue &value,
                         DataForm form = DataForm::Narrow) = 0;
  /// RegQueryValueEx: the value named `name` (empty: the default value); FileNotFound if absent.
  virtual long queryValue(RegKey key, std::string_view name, RegValue &value,
                          DataForm form = DataForm::Narrow) = 0;
  /// RegSetValueEx: creates or replaces the value. In DataForm::Narrow string data is UTF-8
  /// (a missing terminating zero is added), stored as UTF-16LE.
  virtual long setValue(RegKey key, std::string_view name, std::uint32_t type,
                        const std::uint8_t *data, std::size_t size,
                        DataForm form = DataForm::Narrow) = 0;
  /// RegDeleteKey: deletes `subKey` of `key`; AccessDenied if it has sub-keys.
  virtual long deleteKey(RegKey key, std::string_view subKey) = 0;
  /// RegDeleteValue.
  virtual long deleteValue(RegKey key, std::string_view name) = 0;
  /// RegFlushKey: writes every change made so far to the registry's backing store.
  virtual long flushKey(RegKey key) = 0;

  /// Not a Windows call: forgets every change made since the last successful flush, so the
  /// registry in memory equals its backing store again (open handles of keys that no longer
  /// exist then fail with KeyDeleted). After a flush that failed, an action uses it to take
  /// back what did not reach the disk; a registry that writes through at once answers
  /// NotSupported. (An action's erasures wait for their undo records above the registry, not
  /// here.) The memory backend, which has no backing store, keeps a copy taken at each flush.
  virtual long discardUnflushedChanges() = 0;
  /// Not a Windows call: why the last flushKey failed; Cause::None after a flush that wrote
  /// everything (and before any flush).
  virtual FlushFailure lastFlushFailure() const = 0;

  /// Not a Windows call: reads the backing store again after another process (the registry
  /// editor of a restore) has rewritten it, so that the registry in memory is what the files
  /// now hold; unflushed changes are dropped and open handles of keys fail with KeyDeleted.
  /// On failure (a file no longer loads) the registry stays as it was, and `problem` (when
  /// given) says which file and why. A backend without a backing store has nothing to read.
  virtual long reloadBackingStore(std::string *problem = nullptr) {
    (void)problem;
    return error::Success;
  }
  /// Not a Windows call: true when the registry has a 32-bit view besides the 64-bit one (a
  /// 64-bit Wine prefix or Windows), so that access::Wow64_32Key opens the keys 32-bit programs
  /// see: the redirected keys (HKLM\Software, the redirected sub-keys of the classes) resolve
  /// to their Wow6432Node counterparts and the shared keys to the one key both views use.
  /// False on a 32-bit machine, whose one view both flags give.
  virtual bool hasTwoViews() const { return false; }
  /// Not a Windows call: where the key `key` stands for is stored, whichever view opened it:
  /// the predefined root it was opened under (or, when the key lies outside that root, the
  /// narrowest root that holds it) and its path below that root, with the stored names'
  /// spelling and no leading backslash (empty for the root itself). A key of the 32-bit view
  /// names its Wow6432Node: "SOFTWARE\Wow6432Node\..." under HKEY_LOCAL_MACHINE,
  /// "Wow6432Node\CLSID\..." under HKEY_CLASSES_ROOT. InvalidHandle or KeyDeleted as the
  /// other calls; NotSupported from a backend that cannot tell. Out-parameters change only
  /// on success.
  virtual long storedKeyPath(RegKey key, RegKey &root, std::string &subKey) {
    (void)key;
    (void)root;
    (void)subKey;
    return error::NotSupported;
  }
  /// Not a Windows call: why no change can be made (a wineserver owns the registry, a file
  /// cannot be written), as a sentence for the user; empty when changes can be made.
  virtual std::string readOnlyReason() const { return {}; }
};

} // namespace tw::platform
