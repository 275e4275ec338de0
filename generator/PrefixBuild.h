#pragma once
// Everything one run of the generator builds up before anything reaches the disk: the three
// registry images, the files the intact entries name, the paths the broken entries name (which
// must stay missing), the software products both refer to, and the error rows a scan must
// report. Each kind of entry is made by one function over this state.

#include "generator/HiveImage.h"
#include "generator/Naming.h"
#include "generator/PrefixGenerator.h"
#include "generator/Random.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tw::generator::detail {

/// The folders of the generated Windows, as the program sees them on a Wine prefix.
inline constexpr std::string_view WindowsDir = "C:\\windows";
inline constexpr std::string_view SystemDir = "C:\\windows\\system32";
inline constexpr std::string_view ProgramFilesDir = "C:\\Program Files";

/// One error row a full scan must report, with its four texts.
struct ExpectedRow {
  std::string errorType;
  std::string keyName;
  std::string keyValue;
  std::string guessPath;
};

/// How registry data refers to a file. Each style turns a path into registry text whose
/// guessed path is known without running the guessing: the path itself, lower-cased, or with
/// the program files or Windows folder put back in the case the system gives it.
enum class RefStyle {
  Plain,                ///< C:\Dir\file.ext
  Quoted,               ///< "C:\Dir\file.ext"
  QuotedSwitch,         ///< "C:\Dir\file.exe" /switch (.exe and .dll only)
  Arguments,            ///< C:\Dir\file.exe -argument (.exe and .dll only)
  IconIndex,            ///< C:\Dir\file.ext,N
  ProgramFilesVariable, ///< %ProgramFiles%\Dir\file.ext (the path must lie under Program Files)
  SystemRootVariable,   ///< %SystemRoot%\[System32\]file.ext (the path must lie under the Windows folder)
  NetworkPath,          ///< \\server\share\file.exe /x (the path is ignored; never exists)
};

/// Registry text naming a file, and what the program's path guessing makes of it.
struct FileRef {
  std::string text;
  std::string guess;
  bool expandable = false; ///< holds a %variable%, so it is stored as an expandable string
};

/// A piece of software: installed ones have their folder on disk, removed ones left registry
/// entries behind but no files.
struct Product {
  std::string vendor;
  std::string name;
  std::string slug;   ///< file name stem: lower-case letters and digits
  std::string folder; ///< C:\Program Files\<vendor>\<name>
  bool installed = false;
};

/// The server sub-keys of a COM class, in the order the class scan examines them.
enum class ServerKind {
  InprocHandler,
  InprocHandler32,
  LocalServer,
  LocalServer32,
  DefaultIcon,
  PersistentHandler,
  InprocServer,
  InprocServer32,
};
std::string_view serverKeyName(ServerKind kind);

struct ServerSpec {
  ServerKind kind;
  FileRef ref;        ///< the default value (text) and its guessed path
  bool broken = false;
  std::string threadingModel; ///< empty for none
};

struct ClassSpec {
  std::string clsid; ///< the class key's name, normally a GUID in braces
  std::string name;  ///< default value of the class key; empty for none
  std::vector<ServerSpec> servers;
  std::string progId; ///< empty for none
};

class PrefixBuild {
public:
  explicit PrefixBuild(const GeneratorOptions &options);

  const GeneratorOptions &options;
  HiveImage machine;     ///< system.reg: HKEY_LOCAL_MACHINE
  HiveImage user;        ///< user.reg: HKEY_CURRENT_USER
  HiveImage userDefault; ///< userdef.reg: HKEY_USERS\.Default

  /// A random stream of its own for one kind of entry (see Random).
  Random random(std::uint64_t stream) const { return Random(options.seed, stream); }
  /// How many of `count` entries are broken.
  std::size_t brokenCount(std::size_t count) const;

  const Product &installedProduct(Random &rng) const;
  const Product &removedProduct(Random &rng) const;
  const std::vector<Product> &products() const { return m_products; }

  /// The current user's profile folder, C:\users\<name>.
  std::string profileDir() const;

  /// A key below HKEY_CLASSES_ROOT (HKLM\Software\Classes on Wine).
  HiveKey &classesKey(std::string_view path);

  /// Notes that `path` (a C: path) must exist as a file / as a folder.
  void addFile(std::string_view path);
  void addFolder(std::string_view path);
  /// Notes that `path` must not exist, file or folder: a broken entry names it.
  void markMissing(std::string_view path);

  /// A reference to `path` that the prefix makes exist.
  FileRef intactRef(std::string_view path, RefStyle style);
  /// A reference to `path` that the prefix keeps missing.
  FileRef brokenRef(std::string_view path, RefStyle style);
  /// The text and guessed path of a reference to `path` (nothing is noted).
  static FileRef makeRef(std::string_view path, RefStyle style);

  /// Writes a COM class under HKCR\CLSID and expects a row for each broken server key that
  /// the class scan reports.
  void addClass(const ClassSpec &spec);

  /// Expects `row` from a full scan. `order` places it among the rows of its error type as the
  /// scan finds them: the walk and the Wine order of the names it enumerates.
  void expect(std::string order, ExpectedRow row);
  /// Every expected row, grouped by error type in the order a scan finds them.
  std::vector<ExpectedRow> expectedRows() const;

  /// Files and folders to make under drive_c, keyed by their lower-cased path.
  const std::map<std::string, std::string> &files() const { return m_files; }
  const std::map<std::string, std::string> &folders() const { return m_folders; }
  /// Paths the broken entries name, lower-cased.
  const std::vector<std::string> &missingPaths() const { return m_missing; }

  /// Top-level names under HKEY_CLASSES_ROOT (extensions, programmatic identifiers).
  UniqueNames classRootNames;
  /// File names handed out in folders that several kinds of entry share (system32, Fonts,
  /// Media, help), so that a missing file never shares its name with one that exists.
  UniqueNames sharedFileNames;

private:
  std::vector<Product> m_products;
  std::vector<std::size_t> m_installed;
  std::vector<std::size_t> m_removed;
  std::map<std::string, std::string> m_files;
  std::map<std::string, std::string> m_folders;
  std::vector<std::string> m_missing;
  struct PendingRow {
    std::string order;
    ExpectedRow row;
  };
  std::vector<PendingRow> m_rows;
};

// The kinds of entry, each writing its keys, files and expected rows into the build.
void addSystemBase(PrefixBuild &build);
void addAppPaths(PrefixBuild &build);
void addClasses(PrefixBuild &build);
void addHelpFiles(PrefixBuild &build);
void addFonts(PrefixBuild &build);
void addMenuOrder(PrefixBuild &build);
void addSharedDlls(PrefixBuild &build);
void addShares(PrefixBuild &build);
void addShellExtensions(PrefixBuild &build);
void addSoundEvents(PrefixBuild &build);
void addUninstallEntries(PrefixBuild &build);
void addFileExts(PrefixBuild &build);
void addStartupItems(PrefixBuild &build);
void addBrowserAddons(PrefixBuild &build);
void addBrowserTraces(PrefixBuild &build);
/// Pads system.reg with application keys outside every scanned location until its text is at
/// least `targetBytes` long; `currentBytes` is its length so far.
void addPadding(PrefixBuild &build, std::uint64_t currentBytes, std::uint64_t targetBytes);

} // namespace tw::generator::detail
