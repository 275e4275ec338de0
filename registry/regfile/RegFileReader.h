#pragma once
// Reading .reg files: the text the Windows registry editor exports and imports.
//
// The reader checks the text line by line and hands on each change as soon as its lines are
// checked (RegFileSink), or gathers them into a list (parseRegText). An import checks the whole
// file before anything touches a registry, so a damaged file is refused as a whole. It accepts:
//   - UTF-16LE text with a byte-order mark, or 8-bit text (UTF-8 with or without its mark;
//     text that is not UTF-8 is read as Windows-1252);
//   - the header "Windows Registry Editor Version 5.00" or "REGEDIT4" on the first line;
//   - [key], [-key] (delete the key and everything below it), "name"=- (delete a value),
//     @= for the default value, and the data forms "string", dword:, hex: and hex(N): with
//     comma-separated bytes continued over lines by a trailing backslash;
//   - blank lines and lines starting with ';'; a ';' comment also after data and key names.
// Hex data of string types (hex(1), hex(2), hex(7)) holds UTF-16LE bytes in a version 5.00
// file and 8-bit text in a REGEDIT4 file, which the reader widens to UTF-16LE.

#include "registry/regfile/RegFileResult.h"
#include "platform/RegistryApi.h"
#include "registry/RegistryKeys.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit {

/// Largest .reg file the reader loads: far above a full export of a large registry, and small
/// enough that the decoded text fits in memory.
inline constexpr std::size_t MaxRegFileBytes = std::size_t(1) << 30;
/// Windows limits on names: a key name part of 255 characters, a value name of 16383, and at
/// most 512 levels of keys below a root.
inline constexpr std::size_t MaxKeyNameLength = 255;
inline constexpr std::size_t MaxValueNameLength = 16383;
inline constexpr std::size_t MaxKeyDepth = MaxRegistryKeyDepth;

/// One change a .reg file asks for, in file order.
struct RegFileEntry {
  enum class Kind {
    OpenKey,     ///< [key]: create the key if missing; the values that follow go there
    DeleteKey,   ///< [-key]: delete the key and its whole tree
    SetValue,    ///< "name"=data
    DeleteValue, ///< "name"=-
  };
  Kind kind = Kind::OpenKey;
  std::size_t line = 0;
  /// The key (OpenKey, DeleteKey): a root and the path below it (UTF-8, "" for the root).
  platform::RegKey root = 0;
  std::string keyPath;
  /// The value (SetValue, DeleteValue): its name (UTF-8, "" for the default value), its type
  /// and its data as stored (DataForm::Raw: string types in UTF-16LE).
  std::string valueName;
  std::uint32_t type = platform::regtype::None;
  std::vector<std::uint8_t> data;
};

/// The checked content of a .reg file.
struct RegFile {
  enum class Version { Regedit4, Version5 };
  Version version = Version::Version5;
  /// True when the text was UTF-16LE.
  bool utf16 = false;
  std::vector<RegFileEntry> entries;
};

/// Receives the content of a .reg file as the reader checks it, line by line.
class RegFileSink {
public:
  virtual ~RegFileSink() = default;
  /// The header was read; comes once, before any entry.
  virtual void begin(RegFile::Version version, bool utf16) {
    (void)version;
    (void)utf16;
  }
  /// One checked entry, in file order; it is only valid during the call. Returning false ends
  /// the reading there (the reader's result is then Ok: the sink knows why it stopped).
  virtual bool entry(const RegFileEntry &entry) = 0;
};

/// Checks and parses the bytes of a .reg file. On failure `out` is left empty and the result
/// says where and why; `fileName` only goes into the result.
RegFileResult parseRegText(std::string_view bytes, RegFile &out, std::string_view fileName = {});

/// Checks the bytes of a .reg file line by line, handing each entry to `sink` as soon as its
/// lines are checked. On failure the result says where and why; the sink has then seen the
/// entries before the damaged line.
RegFileResult readRegText(std::string_view bytes, RegFileSink &sink, std::string_view fileName = {});

/// Loads the bytes of the host file `path`. Refuses anything that is not a regular file, and
/// files over MaxRegFileBytes; `bytes` is left empty on failure.
RegFileResult loadRegFile(const std::string &path, std::string &bytes);

/// A .reg file of the host, read piece by piece: UTF-16 text (every file the registry editor
/// exports) is decoded a piece at a time, so a large file never sits in memory whole; 8-bit
/// text, whose encoding only the whole file tells, is loaded whole. Each read starts from the
/// beginning, so a file can be checked in full before it is read again to be applied.
class RegFileSource {
public:
  /// UTF-16 units decoded at a time.
  static constexpr std::size_t PieceUnits = std::size_t(1) << 20;

  /// Checks `path` as loadRegFile does (a regular file of at most MaxRegFileBytes).
  RegFileResult open(const std::string &path);
  /// Reads the file from its start as readRegText reads bytes; `fileName` names it in results.
  RegFileResult read(RegFileSink &sink, std::string_view fileName);

private:
  std::string m_path;
  std::uint64_t m_size = 0;
  bool m_utf16 = false;
  std::string m_bytes; // 8-bit text, loaded whole
};

} // namespace tw::regedit
