#pragma once
// Makes a Wine prefix of any size for tests, benchmarks and the demo: the three registry files
// in Wine's own text format, the dosdevices links, a drive_c holding the files that the intact
// registry entries name, and `expected-errors.tsv`, the error rows a full scan of the prefix
// must report. The same options and seed always give the same registry files and manifest.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw::generator {

/// Which Windows the prefix holds, as the `#arch` line of its registry files and its folders say.
enum class PrefixArch {
  /// A 64-bit Windows (Wine's default) on which only 64-bit programs were installed: one
  /// registry view has entries, and neither `Wow6432Node` nor syswow64 exist.
  Win64,
  /// A 64-bit Windows with the 32-bit programs' half as Wine keeps it: the redirected keys under
  /// `Wow6432Node`, the shared ones as `#link` keys, C:\windows\syswow64 and
  /// C:\Program Files (x86). Every kind of entry the 32-bit view keeps apart is made again for
  /// 32-bit programs, with as many entries and broken ones as the 64-bit side.
  Win64With32Bit,
  /// A 32-bit Windows: one registry view, no `Wow6432Node`, no syswow64.
  Win32,
};

/// How many entries of each kind to make. Each count is the number of entries the scanners
/// (or the startup and add-on pages) look at; `brokenShare` of them refer to something that
/// does not exist.
struct GeneratorOptions {
  std::uint64_t seed = 1;
  /// Share of the entries of each kind that are broken, 0 to 1. The broken entries of a kind
  /// are exactly round(count * brokenShare), chosen by the seed.
  double brokenShare = 0.1;

  std::size_t classes = 200;         ///< HKCR\CLSID\{guid} with their server keys
  std::size_t appPaths = 50;         ///< App Paths sub-keys
  std::size_t helpFiles = 40;        ///< values of Windows\Help and Windows\HTML Help
  std::size_t fonts = 40;            ///< values of Windows NT\CurrentVersion\Fonts
  std::size_t sharedDlls = 100;      ///< values of SharedDlls
  std::size_t shares = 8;            ///< values of lanmanserver\Shares; broken ones take a drive letter the prefix does not map, so at most 24 are broken
  std::size_t soundEvents = 40;      ///< AppEvents events, each with .Current and .Default
  std::size_t uninstall = 60;        ///< Uninstall sub-keys
  std::size_t menuOrder = 30;        ///< MenuOrder\Start Menu(2)\Programs sub-keys
  std::size_t shellExtensions = 30;  ///< Shell Extensions\Approved values
  std::size_t fileExts = 100;        ///< HKCU Explorer\FileExts sub-keys
  std::size_t startupItems = 20;     ///< Run, RunOnce, ... values and disabled-entry records
  std::size_t addons = 20;           ///< browser add-ons (toolbars, extensions, bars, helpers, menu extensions)
  std::size_t traceFiles = 20;       ///< files in the browser's cache, cookie, favourite, history and temporary folders

  /// When not 0, system.reg is padded with ordinary application keys (outside every scanned
  /// location) until it is at least this many megabytes (MiB).
  std::size_t systemMegabytes = 0;

  /// The Windows user whose profile folder is drive_c\users\<userName>.
  std::string userName = "user";
  /// Modification time (seconds since 1970) around which the keys' times are spread.
  std::int64_t baseTime = 1136073600; // 2006-01-01
  /// Report the version of Windows XP SP3 (which the startup manager needs) rather than Wine's
  /// default Windows 7.
  bool windowsXp = true;
  /// The Windows the prefix holds (see PrefixArch).
  PrefixArch arch = PrefixArch::Win64;
  /// Replace the registry files of a folder that already holds a prefix. Without it, a folder
  /// holding system.reg, user.reg or userdef.reg is refused and left untouched.
  bool overwrite = false;

  /// A few hundred entries of every kind, some broken: what the program shows when no prefix
  /// exists yet.
  static GeneratorOptions demo();
};

/// What generatePrefix made, or why it made nothing; converts to true on success.
struct GenerateResult {
  enum class Status {
    Ok,
    BadOptions,        ///< an option is out of range (see `message`)
    PrefixExists,      ///< the folder holds registry files and `overwrite` is not set
    CannotCreate,      ///< a folder, file or link could not be made
    WriteFailed,       ///< a registry file or the manifest could not be saved
  };
  Status status = Status::CannotCreate;
  std::string path;    ///< the file or folder concerned, when there is one
  std::string message; ///< what went wrong, in a few words

  std::size_t keysWritten = 0;     ///< keys in the three registry files together
  std::size_t valuesWritten = 0;   ///< values in the three registry files together
  std::size_t filesCreated = 0;    ///< files made under drive_c
  std::size_t expectedErrors = 0;  ///< rows of expected-errors.tsv
  std::uint64_t systemRegBytes = 0;

  explicit operator bool() const { return status == Status::Ok; }
  /// One line for the user: the path and what went wrong, or a summary on success.
  std::string description() const;
};

/// The manifest's file name inside the prefix folder. One row per line, in the order a full scan
/// finds them grouped by error type (the 64-bit view's rows before the 32-bit view's): error type, key name, key value, guess path, separated by
/// one TAB, lines ending in LF, no header.
inline constexpr const char *ExpectedErrorsFileName = "expected-errors.tsv";

/// The file, written last, that records the options a prefix was made with (describeOptions).
inline constexpr const char *OptionsFileName = "generator-options.txt";

/// The name of an architecture on the command line and in OptionsFileName: "win64", "wow64"
/// (64-bit with the 32-bit half) or "win32".
const char *archName(PrefixArch arch);

/// Every option that shapes a prefix, one "name=value" line each (overwrite is left out; the
/// architecture only when it is not the default, so that earlier records stay valid).
std::string describeOptions(const GeneratorOptions &options);

/// Makes the prefix in `dir` (created if missing; its parent must exist). Registry files and
/// the manifest are saved atomically. On failure the folder may hold part of drive_c, but
/// registry files already present are only replaced whole.
GenerateResult generatePrefix(const std::string &dir, const GeneratorOptions &options);

/// For benchmarks and demos that keep their prefix between runs: reuses the prefix in `dir` when
/// it was made with the same options (its OptionsFileName says so; `*reused` is set), and
/// otherwise makes it afresh, replacing a registry only if this generator made it. A reused
/// prefix gives a result with only `status` and `path` set.
GenerateResult ensurePrefix(const std::string &dir, const GeneratorOptions &options, bool *reused = nullptr);

} // namespace tw::generator
