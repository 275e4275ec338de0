#pragma once
// Importing .reg files into a registry, as the registry editor's "/s FILE" does.
//
// An import reads and checks the whole file first (RegFileReader.h lists what it accepts);
// a damaged file is refused and the registry stays untouched. Only then are the changes
// applied, in file order, and flushed. A file on the host is read twice, a piece at a time,
// rather than held in memory: once to check it and learn the roots it changes, once to apply
// it. Should the registry refuse a change midway, every change since the registry's last flush
// is discarded (RegistryApi::discardUnflushedChanges), so the registry again equals its backing
// store.
//
// Tests build registries from short literal texts:
//   importRegText(*registry, "Windows Registry Editor Version 5.00\n"
//                            "[HKEY_CURRENT_USER\\Software\\Demo]\n"
//                            "\"Path\"=\"C:\\\\missing.exe\"\n");

#include "registry/regfile/RegFileReader.h"
#include "registry/regfile/RegFileResult.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit {

/// Checks the bytes of a .reg file (UTF-16LE with its byte-order mark, or UTF-8/8-bit text)
/// and imports them into `registry`, then flushes it. On failure nothing is changed and the
/// result names `fileName`, the line and what was expected.
RegFileResult importRegText(platform::RegistryApi &registry, std::string_view bytes,
                            std::string_view fileName = {});

/// importRegText on the content of the host file `path`, read a piece at a time.
RegFileResult importRegFile(platform::RegistryApi &registry, const std::string &path);

class RegFileRoots;

/// Applies a file that `roots` has already read whole (and so checked): reads it again and
/// applies it entry by entry, then flushes; see the top of this header for a refusal midway.
RegFileResult applyRegSource(platform::RegistryApi &registry, RegFileSource &source,
                             const RegFileRoots &roots, std::string_view fileName);

/// A root a file changes, and the line that first names it.
struct RegFileRootUse {
  platform::RegKey root = 0;
  std::size_t line = 0;
};

/// The roots of the [key] and [-key] lines a sink is handed, in order of first use.
class RegFileRoots final : public RegFileSink {
public:
  bool entry(const RegFileEntry &entry) override;
  const std::vector<RegFileRootUse> &uses() const { return m_uses; }
  std::vector<platform::RegKey> roots() const;

private:
  std::vector<RegFileRootUse> m_uses;
};

/// Applies checked entries to a registry as a sink: prepare() with the roots the file changes,
/// the entries (RegFileSource::read or readRegText), then finish(). The first refused change
/// stops it.
class RegFileApplier final : public RegFileSink {
public:
  RegFileApplier(platform::RegistryApi &registry, std::string_view fileName);
  /// Asks each root for write access before anything changes, so that a registry that may
  /// only be read is named once and clearly. False when one refuses (see finish()).
  bool prepare(const std::vector<RegFileRootUse> &roots);
  bool entry(const RegFileEntry &entry) override;
  /// Flushes the roots; on any failure (here or before) discards the file's changes. The
  /// result of the whole import.
  RegFileResult finish();
  /// Discards what was applied, for a reading that failed midway; `why` is the result.
  RegFileResult abandon(RegFileResult why);

private:
  platform::RegistryApi &m_registry;
  std::string m_fileName;
  std::vector<RegFileRootUse> m_roots;
  OwnedKey m_current;
  RegFileResult m_failure;
  bool m_failed = false;
  bool m_changed = false; // false while nothing was applied

  bool refuse(std::size_t line, long code, std::string what);
};

/// Applies an already checked file to `registry` and flushes it; see the top of this header
/// for what happens when the registry refuses a change.
RegFileResult applyRegFile(platform::RegistryApi &registry, const RegFile &file,
                           std::string_view fileName = {});

} // namespace tw::regedit
