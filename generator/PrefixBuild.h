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
/// The 32-bit programs' system folder and program files folder on a 64-bit Windows.
inline constexpr std::string_view SysWow64Dir = "C:\\windows\\syswow64";
inline constexpr std::string_view ProgramFilesX86Dir = "C:\\Program Files (x86)";

/// Whose entries the generator is making: the 64-bit programs' (and every program's on a
/// 32-bit Windows), or the 32-bit programs' on a 64-bit Windows, which Windows keeps in the
/// registry's 32-bit view (the `Wow6432Node` keys) and whose system folder is syswow64.
enum class Side { Native, Wow64 };

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
  std::string folder; ///< C:\Program Files[ (x86)]\<vendor>\<name>
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

  /// Whose entries are being made; the functions below follow it.
  Side side() const { return m_side; }
  void setSide(Side side) { m_side = side; }

  /// A random stream of its own for one kind of entry (see Random); each side has its own.
  Random random(std::uint64_t stream) const {
    return Random(options.seed, m_side == Side::Native ? stream : stream + Wow64StreamOffset);
  }
  /// How many of `count` entries are broken.
  std::size_t brokenCount(std::size_t count) const;

  const Product &installedProduct(Random &rng) const;
  const Product &removedProduct(Random &rng) const;
  const std::vector<Product> &products() const { return m_products.all; }

  /// The program files folder of the side (C:\Program Files or C:\Program Files (x86)).
  std::string_view programFilesDir() const;
  /// Where the side's key `path` (below HKEY_LOCAL_MACHINE) is stored: for the 32-bit side,
  /// keys below Software move below Software\Wow6432Node (Software\Classes\Wow6432Node for
  /// the classes), except the keys Wine links to the 64-bit ones, which both sides share.
  std::string machinePath(std::string_view path) const;
  /// The same for a key text as the scan shows it ("HKEY_LOCAL_MACHINE\SOFTWARE\...",
  /// "HKEY_CLASSES_ROOT\CLSID\..."): the text of the key where the entry is stored.
  std::string keyText(std::string_view text) const;
  /// True when the 32-bit side's key `path` (below HKEY_LOCAL_MACHINE) is a key both sides share.
  static bool isSharedKey(std::string_view path);

  /// The current user's profile folder, C:\users\<name>.
  std::string profileDir() const;

  /// A key below HKEY_CLASSES_ROOT (HKLM\Software\Classes on Wine) of the side.
  HiveKey &classesKey(std::string_view path);

  /// Notes that `path` (a C: path) must exist as a file / as a folder. On the 32-bit side a
  /// path in the system folder names the file in syswow64, where a 32-bit program finds it.
  void addFile(std::string_view path);
  void addFolder(std::string_view path);
  /// Notes that `path` must not exist, file or folder: a broken entry names it. On the 32-bit
  /// side a path in the system folder is missing from syswow64 and made in system32, so that
  /// only a scan that looks where 32-bit programs look reports it.
  void markMissing(std::string_view path);

  /// A reference to `path` that the prefix makes exist.
  FileRef intactRef(std::string_view path, RefStyle style);
  /// A reference to `path` that the prefix keeps missing.
  FileRef brokenRef(std::string_view path, RefStyle style);
  /// The text and guessed path of a reference to `path` (nothing is noted).
  FileRef makeRef(std::string_view path, RefStyle style) const;

  /// Writes a COM class under HKCR\CLSID and expects a row for each broken server key that
  /// the class scan reports.
  void addClass(const ClassSpec &spec);

  /// Expects `row` from a full scan. `order` places it among the rows of its error type as the
  /// scan finds them: the walk and the Wine order of the names it enumerates. The scan reports
  /// the 64-bit view's rows before the 32-bit view's; an entry in a key both sides share is the
  /// 64-bit view's (`shared`).
  void expect(std::string order, ExpectedRow row, bool shared = false);
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
  /// Program names under App Paths, a key both sides share.
  UniqueNames appPathNames;

private:
  static constexpr std::uint64_t Wow64StreamOffset = 1000;
  struct ProductSet {
    std::vector<Product> all;
    std::vector<std::size_t> installed;
    std::vector<std::size_t> removed;
  };
  static ProductSet makeProducts(std::size_t count, Random rng, std::string_view programFiles);
  const ProductSet &sideProducts() const { return m_side == Side::Native ? m_products : m_products32; }

  Side m_side = Side::Native;
  ProductSet m_products;
  ProductSet m_products32; ///< the 32-bit programs, under Program Files (x86)
  std::map<std::string, std::string> m_files;
  std::map<std::string, std::string> m_folders;
  std::vector<std::string> m_missing;
  struct PendingRow {
    Side view;
    std::string order;
    ExpectedRow row;
  };
  std::vector<PendingRow> m_rows;
};

// The kinds of entry, each writing its keys, files and expected rows into the build.
void addSystemBase(PrefixBuild &build);
/// The 32-bit half of a 64-bit Windows as Wine lays it out: the shared keys' links, the
/// 32-bit program folders the registry records, syswow64 and Program Files (x86).
void addWow64Base(PrefixBuild &build);
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
