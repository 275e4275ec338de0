#pragma once
// A prefix folder for the backup tests, installed as the process's machine while it lives:
// either a small one with an in-memory registry (drive C: and Z:), or one made by the prefix
// generator and opened as the program opens a prefix. The registry editor the backup starts is
// the built tidewell-regedit.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tw::test {

class BackupTestPrefix {
public:
  enum class Kind { Memory, Generated };
  explicit BackupTestPrefix(Kind kind = Kind::Memory, std::uint64_t seed = 1);
  ~BackupTestPrefix();
  BackupTestPrefix(const BackupTestPrefix &) = delete;
  BackupTestPrefix &operator=(const BackupTestPrefix &) = delete;

  /// The prefix folder and the folder around it (for files outside the prefix).
  const std::filesystem::path &prefix() const { return m_prefix; }
  const std::filesystem::path &outside() const { return m_outside; }
  /// The program's Backup folder: its Windows path and its host folder.
  std::string backupFolder() const;
  std::filesystem::path backupHostFolder() const;
  /// How many error rows a full scan of a generated prefix must report.
  std::size_t expectedErrors() const { return m_expectedErrors; }

  /// Opens the prefix's registry files again and installs the machine, as a start of the
  /// program does (generated prefixes only).
  void reopen();

  static void writeFile(const std::filesystem::path &path, std::string_view content);
  static std::string readFile(const std::filesystem::path &path);

private:
  std::filesystem::path m_root;
  std::filesystem::path m_prefix;
  std::filesystem::path m_outside;
  std::size_t m_expectedErrors = 0;
};

/// Sets an environment variable while it lives, and restores the earlier value.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char *name, const std::string &value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment &) = delete;
  ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
  std::string m_name;
  bool m_had = false;
  std::string m_old;
};

/// Runs a shell command; returns its exit status.
int runShell(const std::string &command);
/// `text` quoted for the shell.
std::string shellQuoted(const std::string &text);

} // namespace tw::test
