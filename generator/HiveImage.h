#pragma once
// One registry file of the prefix (system.reg, user.reg or userdef.reg) held in memory while
// the generator fills it, then written in Wine's text format exactly as wineserver saves it:
// keys in Wine's order, each key that has values or no sub-keys on its own "[path] time" line,
// values in Wine's order, strings escaped and binary data wrapped as Wine does.

#include "generator/Random.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tw::generator::detail {

struct HiveValue {
  std::string name;   ///< empty for the default value
  std::uint32_t type; ///< registry value type
  /// String types: the UTF-8 text, without the terminating zero (a multi-string keeps the zero
  /// after each of its strings). Other types: the raw bytes.
  std::string data;
};

struct HiveKey {
  std::string path;             ///< below the file's root, components joined by one '\'
  std::vector<HiveValue> values;
  std::uint64_t modified = 0;   ///< FILETIME: 100 ns units since 1601
  bool link = false;            ///< a symbolic link (its one value is SymbolicLinkValue)

  HiveKey &setString(std::string name, std::string text);
  HiveKey &setExpandString(std::string name, std::string text);
  HiveKey &setMultiString(std::string name, const std::vector<std::string> &strings);
  HiveKey &setDword(std::string name, std::uint32_t number);
  HiveKey &setBinary(std::string name, std::string bytes);
  HiveKey &setRaw(std::string name, std::uint32_t type, std::string bytes);
};

/// What writing a hive produced.
struct HiveTextStats {
  std::size_t keys = 0;   ///< "[...]" lines
  std::size_t values = 0; ///< value lines (a wrapped hex value counts once)
};

class HiveImage {
public:
  /// `rootPath` is the file's root as its header names it ("REGISTRY\Machine"); `baseTime` the
  /// Unix time around which key times are spread; `seed` makes that spread repeatable; `arch`
  /// the Windows the file belongs to ("win64" or "win32"), as its `#arch` line says.
  HiveImage(std::string rootPath, std::int64_t baseTime, std::uint64_t seed, std::string arch = "win64");

  /// Adds a key below the root (parents are implied, as in Wine's files). Adding a path again,
  /// in any letter case, adds to the same key: its values merge, a later value replacing an
  /// earlier one of the same name. The reference stays valid for the image's lifetime.
  HiveKey &addKey(std::string path);
  /// Adds a symbolic link key that points at `target`, a full registry path
  /// ("\Registry\Machine\System\ControlSet001").
  HiveKey &addLink(std::string path, std::string_view target);

  std::size_t keyCount() const { return m_keys.size(); }

  /// The whole file text.
  std::string text(HiveTextStats *stats = nullptr) const;

  /// The number of bytes `key` adds to the file when it is written on a line of its own (it
  /// has values, or no sub-keys), so that a caller can grow a file to a target size.
  static std::size_t blockSize(const HiveKey &key);

private:
  std::string m_rootPath;
  std::string m_arch;
  std::int64_t m_baseTime;
  Random m_clock;
  std::deque<HiveKey> m_keys;
};

} // namespace tw::generator::detail
