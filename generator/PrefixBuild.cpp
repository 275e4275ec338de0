#include "generator/PrefixBuild.h"

#include "generator/WineText.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tw::generator::detail {

// Stream numbers of the random streams; each kind of entry has its own (see Random).
static constexpr std::uint64_t ProductStream = 100;
static constexpr std::uint64_t MachineClockStream = 101;
static constexpr std::uint64_t UserClockStream = 102;
static constexpr std::uint64_t DefaultClockStream = 103;
static constexpr std::uint64_t Product32Stream = 104;

std::string_view serverKeyName(ServerKind kind) {
  switch (kind) {
  case ServerKind::InprocHandler: return "InprocHandler";
  case ServerKind::InprocHandler32: return "InprocHandler32";
  case ServerKind::LocalServer: return "LocalServer";
  case ServerKind::LocalServer32: return "LocalServer32";
  case ServerKind::DefaultIcon: return "DefaultIcon";
  case ServerKind::PersistentHandler: return "PersistentHandler";
  case ServerKind::InprocServer: return "InprocServer";
  case ServerKind::InprocServer32: return "InprocServer32";
  }
  return {};
}

static std::size_t totalEntries(const GeneratorOptions &o) {
  return o.classes + o.appPaths + o.helpFiles + o.fonts + o.sharedDlls + o.shares +
         o.soundEvents + o.uninstall + o.menuOrder + o.shellExtensions + o.fileExts +
         o.startupItems + o.addons;
}

static const char *archLine(PrefixArch arch) { return arch == PrefixArch::Win32 ? "win32" : "win64"; }

PrefixBuild::PrefixBuild(const GeneratorOptions &chosen)
    : options(chosen),
      machine("REGISTRY\\Machine", chosen.baseTime, Random(chosen.seed, MachineClockStream).next(),
              archLine(chosen.arch)),
      user("REGISTRY\\User\\S-1-5-21-0-0-0-1000", chosen.baseTime,
           Random(chosen.seed, UserClockStream).next(), archLine(chosen.arch)),
      userDefault("REGISTRY\\User\\.Default", chosen.baseTime,
                  Random(chosen.seed, DefaultClockStream).next(), archLine(chosen.arch)) {
  // Enough products that each holds a handful of the entries' files; a third of them were
  // removed and left only their registry entries behind.
  const std::size_t count = std::clamp<std::size_t>(totalEntries(options) / 24, 24, 3000);
  m_products = makeProducts(count, Random(options.seed, ProductStream), ProgramFilesDir);
  if (options.arch == PrefixArch::Win64With32Bit)
    m_products32 = makeProducts(count, Random(options.seed, Product32Stream), ProgramFilesX86Dir);
}

PrefixBuild::ProductSet PrefixBuild::makeProducts(std::size_t count, Random rng,
                                                  std::string_view programFiles) {
  ProductSet set;
  UniqueNames names;
  for (std::size_t i = 0; i < count; ++i) {
    Product product;
    product.vendor = rng.pick(VendorNames);
    product.name = rng.pick(ProductWords) + " " + rng.pick(ProductKinds);
    // The name is unique within its vendor; the folder names both.
    const std::string unique = names.make(product.vendor + "\\" + product.name);
    product.name = unique.substr(product.vendor.size() + 1);
    product.slug = slugOf(product.name);
    product.folder = std::string(programFiles) + "\\" + product.vendor + "\\" + product.name;
    product.installed = i % 3 != 2;
    (product.installed ? set.installed : set.removed).push_back(set.all.size());
    set.all.push_back(std::move(product));
  }
  return set;
}

std::size_t PrefixBuild::brokenCount(std::size_t count) const {
  return static_cast<std::size_t>(std::llround(static_cast<double>(count) * options.brokenShare));
}

const Product &PrefixBuild::installedProduct(Random &rng) const {
  const ProductSet &set = sideProducts();
  return set.all[rng.pick(set.installed)];
}

const Product &PrefixBuild::removedProduct(Random &rng) const {
  const ProductSet &set = sideProducts();
  return set.all[rng.pick(set.removed)];
}

std::string_view PrefixBuild::programFilesDir() const {
  return m_side == Side::Native ? ProgramFilesDir : ProgramFilesX86Dir;
}

// True when `path` is `key` or lies below it (ASCII letters compared in any case).
static bool isAtOrBelow(std::string_view path, std::string_view key) {
  if (path.size() < key.size() || lowerAscii(path.substr(0, key.size())) != lowerAscii(key))
    return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

// Keys below HKLM\Software that Wine links from Wow6432Node to the 64-bit key (the ones the
// generator writes entries into), and the classes keys linked from Classes\Wow6432Node.
static constexpr std::string_view SharedSoftwareKeys[] = {
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
};
static constexpr std::string_view SharedClassesKeys[] = {"AppId", "Protocols", "TypeLib"};

bool PrefixBuild::isSharedKey(std::string_view path) {
  if (!isAtOrBelow(path, "Software"))
    return true; // System and the hardware keys have one view
  const std::string_view rest = path.size() > 9 ? path.substr(9) : std::string_view();
  if (isAtOrBelow(rest, "Classes")) {
    const std::string_view below = rest.size() > 8 ? rest.substr(8) : std::string_view();
    for (std::string_view key : SharedClassesKeys)
      if (isAtOrBelow(below, key))
        return true;
    return false;
  }
  for (std::string_view key : SharedSoftwareKeys)
    if (isAtOrBelow(rest, key))
      return true;
  return false;
}

std::string PrefixBuild::machinePath(std::string_view path) const {
  if (m_side == Side::Native || isSharedKey(path))
    return std::string(path);
  // "Software\" and what follows it.
  const std::string_view software = path.substr(0, 8);
  const std::string_view rest = path.size() > 9 ? path.substr(9) : std::string_view();
  if (isAtOrBelow(rest, "Classes")) {
    const std::string_view below = rest.size() > 8 ? rest.substr(8) : std::string_view();
    return std::string(software) + "\\" + std::string(rest.substr(0, 7)) + "\\Wow6432Node" +
           (below.empty() ? "" : "\\" + std::string(below));
  }
  return std::string(software) + "\\Wow6432Node" + (rest.empty() ? "" : "\\" + std::string(rest));
}

std::string PrefixBuild::keyText(std::string_view text) const {
  if (m_side == Side::Native)
    return std::string(text);
  static constexpr std::string_view Classes = "HKEY_CLASSES_ROOT\\";
  static constexpr std::string_view Machine = "HKEY_LOCAL_MACHINE\\";
  if (text.starts_with(Classes))
    return machinePath("Software\\Classes\\" + std::string(text.substr(Classes.size())))
               .replace(0, 16, Classes.substr(0, Classes.size() - 1));
  if (text.starts_with(Machine)) {
    const std::string below(text.substr(Machine.size()));
    if (isSharedKey(below))
      return std::string(text);
    // The scan's own spelling of the first key ("SOFTWARE", "Software") is kept.
    const std::size_t slash = below.find('\\');
    return std::string(Machine) + below.substr(0, slash) + "\\Wow6432Node" +
           (slash == std::string::npos ? "" : below.substr(slash));
  }
  return std::string(text);
}

std::string PrefixBuild::profileDir() const { return "C:\\users\\" + options.userName; }

HiveKey &PrefixBuild::classesKey(std::string_view path) {
  return machine.addKey(machinePath("Software\\Classes\\" + std::string(path)));
}

// Folders of system32 that Windows leaves to both sides: a 32-bit program sees them there.
static constexpr std::string_view ExemptSystemFolders[] = {"catroot", "catroot2", "drivers\\etc",
                                                           "logfiles", "spool"};

// The path where a 32-bit program finds `path`, or nothing when it finds it there itself.
static std::string wow64Redirected(std::string_view path) {
  const std::string system = std::string(SystemDir) + "\\";
  if (path.size() <= system.size() || lowerAscii(path.substr(0, system.size())) != lowerAscii(system))
    return {};
  const std::string_view rest = path.substr(system.size());
  for (std::string_view exempt : ExemptSystemFolders)
    if (isAtOrBelow(rest, exempt))
      return {};
  return std::string(SysWow64Dir) + "\\" + std::string(rest);
}

void PrefixBuild::addFile(std::string_view path) {
  assert(path.size() > 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' && "a C: path");
  if (m_side == Side::Wow64)
    if (std::string redirected = wow64Redirected(path); !redirected.empty()) {
      m_files.emplace(lowerAscii(redirected), redirected);
      return;
    }
  m_files.emplace(lowerAscii(path), std::string(path));
}

void PrefixBuild::addFolder(std::string_view path) {
  assert(path.size() > 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' && "a C: path");
  m_folders.emplace(lowerAscii(path), std::string(path));
}

void PrefixBuild::markMissing(std::string_view path) {
  if (m_side == Side::Wow64)
    if (const std::string redirected = wow64Redirected(path); !redirected.empty()) {
      m_missing.push_back(lowerAscii(redirected));
      m_files.emplace(lowerAscii(path), std::string(path));
      return;
    }
  m_missing.push_back(lowerAscii(path));
}

[[maybe_unused]] static bool hasExecutableExtension(std::string_view path) {
  const std::string lowered = lowerAscii(path);
  return lowered.ends_with(".exe") || lowered.ends_with(".dll");
}

FileRef PrefixBuild::makeRef(std::string_view path, RefStyle style) const {
  const std::string p(path);
  switch (style) {
  case RefStyle::Plain:
    return {p, lowerAscii(p)};
  case RefStyle::Quoted:
    return {"\"" + p + "\"", lowerAscii(p)};
  case RefStyle::QuotedSwitch:
    assert(hasExecutableExtension(p) && "the guess keeps a closing quote otherwise");
    return {"\"" + p + "\" /background", lowerAscii(p)};
  case RefStyle::Arguments:
    assert(hasExecutableExtension(p) && "the guess cuts at the extension only for programs");
    return {p + " -Embedding", lowerAscii(p)};
  case RefStyle::IconIndex:
    return {p + ",0", lowerAscii(p)};
  case RefStyle::ProgramFilesVariable: {
    const std::string prefix = std::string(programFilesDir()) + "\\";
    assert(p.starts_with(prefix) && "under Program Files");
    const std::string rest = p.substr(prefix.size());
    return {"%ProgramFiles%\\" + rest, prefix + lowerAscii(rest), true};
  }
  case RefStyle::SystemRootVariable: {
    const std::string system = std::string(SystemDir) + "\\";
    const std::string windows = std::string(WindowsDir) + "\\";
    if (p.starts_with(system)) {
      const std::string rest = p.substr(system.size());
      return {"%SystemRoot%\\System32\\" + rest, system + lowerAscii(rest), true};
    }
    assert(p.starts_with(windows) && "under the Windows folder");
    const std::string rest = p.substr(windows.size());
    return {"%SystemRoot%\\" + rest, windows + lowerAscii(rest), true};
  }
  case RefStyle::NetworkPath: {
    // A network path is left exactly as it is, switches included.
    const std::size_t slash = p.rfind('\\');
    const std::string text = "\\\\FILESRV01\\Apps\\" + p.substr(slash + 1) + " /x";
    return {text, text};
  }
  }
  return {p, lowerAscii(p)};
}

FileRef PrefixBuild::intactRef(std::string_view path, RefStyle style) {
  assert(style != RefStyle::NetworkPath && "a network path never exists");
  addFile(path);
  return makeRef(path, style);
}

FileRef PrefixBuild::brokenRef(std::string_view path, RefStyle style) {
  FileRef ref = makeRef(path, style);
  if (style != RefStyle::NetworkPath)
    markMissing(path);
  return ref;
}

void PrefixBuild::addClass(const ClassSpec &spec) {
  const std::string base = "CLSID\\" + spec.clsid;
  HiveKey &classKey = classesKey(base);
  if (!spec.name.empty())
    classKey.setString("", spec.name);
  for (const ServerSpec &server : spec.servers) {
    HiveKey &key = classesKey(base + "\\" + std::string(serverKeyName(server.kind)));
    if (server.ref.expandable)
      key.setExpandString("", server.ref.text);
    else
      key.setString("", server.ref.text);
    if (!server.threadingModel.empty())
      key.setString("ThreadingModel", server.threadingModel);
    if (!server.broken)
      continue;
    // The class scan reports a server only for a class named by a GUID and a default value
    // that is no class identifier itself.
    assert(spec.clsid.starts_with("{") && !server.ref.text.starts_with("{") &&
           !server.ref.text.empty() && "a broken server the class scan would not report");
    expect(nameSortKey(spec.clsid) + '\x01' + static_cast<char>('0' + static_cast<int>(server.kind)),
           {"COM/ActiveX", keyText("HKEY_CLASSES_ROOT\\CLSID\\") + spec.clsid + "\\" +
                               std::string(serverKeyName(server.kind)),
            server.ref.text, server.ref.guess});
  }
  if (!spec.progId.empty()) {
    classesKey(base + "\\ProgID").setString("", spec.progId);
    HiveKey &progKey = classesKey(spec.progId);
    progKey.setString("", spec.name);
    classesKey(spec.progId + "\\CLSID").setString("", spec.clsid);
  }
}

void PrefixBuild::expect(std::string order, ExpectedRow row, bool shared) {
  assert(row.keyName.find_first_of("\t\n") == std::string::npos &&
         row.keyValue.find_first_of("\t\n") == std::string::npos &&
         row.guessPath.find_first_of("\t\n") == std::string::npos && "a row fits one TSV line");
  m_rows.push_back({shared ? Side::Native : m_side, std::move(order), std::move(row)});
}

std::vector<ExpectedRow> PrefixBuild::expectedRows() const {
  std::vector<const PendingRow *> sorted;
  sorted.reserve(m_rows.size());
  for (const PendingRow &row : m_rows)
    sorted.push_back(&row);
  std::stable_sort(sorted.begin(), sorted.end(), [](const PendingRow *a, const PendingRow *b) {
    if (a->row.errorType != b->row.errorType)
      return a->row.errorType < b->row.errorType;
    if (a->view != b->view)
      return a->view == Side::Native;
    return a->order < b->order;
  });
  std::vector<ExpectedRow> rows;
  rows.reserve(sorted.size());
  for (const PendingRow *row : sorted)
    rows.push_back(row->row);
  return rows;
}

} // namespace tw::generator::detail
