#pragma once
// Windows path texts taken apart the way Windows resolves them into a full path: drive,
// components, "." and ".." removed, separators collapsed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

/// A full path on a drive ("C:\windows\win.ini"), or a host path given through Wine's
/// "\\?\unix\" namespace.
struct FullPath {
  enum class Kind { Drive, Unix };
  Kind kind = Kind::Drive;
  char drive = 'C';                    ///< upper-case drive letter (Kind::Drive)
  std::vector<std::string> components; ///< below the drive root, or below "/" (Kind::Unix)
  bool trailingSeparator = false;      ///< the text ended in a backslash

  /// "C:\a\b" (a drive root as "C:\"), or "\\?\unix\a\b".
  std::string text() const;
};

/// The full path `path` names, with relative names ("a.txt", "\a.txt", "C:a.txt") resolved
/// against `currentDirectory` (a full path such as "C:\work"). Nothing for names that can never
/// name a file on this machine: empty text, UNC paths ("\\server\share"), device paths
/// ("\\.\COM1"), or a relative name when the current folder is itself no full path.
std::optional<FullPath> fullPathOf(std::string_view path, std::string_view currentDirectory);

/// True when a component holds a character that no Windows file name may contain.
bool hasInvalidNameCharacter(std::string_view component);

} // namespace tw::platform::detail
