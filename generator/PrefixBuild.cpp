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

PrefixBuild::PrefixBuild(const GeneratorOptions &chosen)
    : options(chosen),
      machine("REGISTRY\\Machine", chosen.baseTime, Random(chosen.seed, MachineClockStream).next()),
      user("REGISTRY\\User\\S-1-5-21-0-0-0-1000", chosen.baseTime,
           Random(chosen.seed, UserClockStream).next()),
      userDefault("REGISTRY\\User\\.Default", chosen.baseTime,
                  Random(chosen.seed, DefaultClockStream).next()) {
  // Enough products that each holds a handful of the entries' files; a third of them were
  // removed and left only their registry entries behind.
  const std::size_t count = std::clamp<std::size_t>(totalEntries(options) / 24, 24, 3000);
  Random rng = random(ProductStream);
  UniqueNames names;
  for (std::size_t i = 0; i < count; ++i) {
    Product product;
    product.vendor = rng.pick(VendorNames);
    product.name = rng.pick(ProductWords) + " " + rng.pick(ProductKinds);
    // The name is unique within its vendor; the folder names both.
    const std::string unique = names.make(product.vendor + "\\" + product.name);
    product.name = unique.substr(product.vendor.size() + 1);
    product.slug = slugOf(product.name);
    product.folder = std::string(ProgramFilesDir) + "\\" + product.vendor + "\\" + product.name;
    product.installed = i % 3 != 2;
    (product.installed ? m_installed : m_removed).push_back(m_products.size());
    m_products.push_back(std::move(product));
  }
}

std::size_t PrefixBuild::brokenCount(std::size_t count) const {
  return static_cast<std::size_t>(std::llround(static_cast<double>(count) * options.brokenShare));
}

const Product &PrefixBuild::installedProduct(Random &rng) const {
  return m_products[rng.pick(m_installed)];
}

const Product &PrefixBuild::removedProduct(Random &rng) const {
  return m_products[rng.pick(m_removed)];
}

std::string PrefixBuild::profileDir() const { return "C:\\users\\" + options.userName; }

HiveKey &PrefixBuild::classesKey(std::string_view path) {
  return machine.addKey("Software\\Classes\\" + std::string(path));
}

void PrefixBuild::addFile(std::string_view path) {
  assert(path.size() > 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' && "a C: path");
  m_files.emplace(lowerAscii(path), std::string(path));
}

void PrefixBuild::addFolder(std::string_view path) {
  assert(path.size() > 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' && "a C: path");
  m_folders.emplace(lowerAscii(path), std::string(path));
}

void PrefixBuild::markMissing(std::string_view path) { m_missing.push_back(lowerAscii(path)); }

[[maybe_unused]] static bool hasExecutableExtension(std::string_view path) {
  const std::string lowered = lowerAscii(path);
  return lowered.ends_with(".exe") || lowered.ends_with(".dll");
}

FileRef PrefixBuild::makeRef(std::string_view path, RefStyle style) {
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
    const std::string prefix = std::string(ProgramFilesDir) + "\\";
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
           {"COM/ActiveX", "HKEY_CLASSES_ROOT\\CLSID\\" + spec.clsid + "\\" +
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

void PrefixBuild::expect(std::string order, ExpectedRow row) {
  assert(row.keyName.find_first_of("\t\n") == std::string::npos &&
         row.keyValue.find_first_of("\t\n") == std::string::npos &&
         row.guessPath.find_first_of("\t\n") == std::string::npos && "a row fits one TSV line");
  m_rows.push_back({std::move(order), std::move(row)});
}

std::vector<ExpectedRow> PrefixBuild::expectedRows() const {
  std::vector<const PendingRow *> sorted;
  sorted.reserve(m_rows.size());
  for (const PendingRow &row : m_rows)
    sorted.push_back(&row);
  std::stable_sort(sorted.begin(), sorted.end(), [](const PendingRow *a, const PendingRow *b) {
    if (a->row.errorType != b->row.errorType)
      return a->row.errorType < b->row.errorType;
    return a->order < b->order;
  });
  std::vector<ExpectedRow> rows;
  rows.reserve(sorted.size());
  for (const PendingRow *row : sorted)
    rows.push_back(row->row);
  return rows;
}

} // namespace tw::generator::detail
