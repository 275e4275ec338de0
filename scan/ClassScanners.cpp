// The scanners of class and extension entries: COM classes whose server or icon files are gone,
// start-menu order entries, approved shell extensions whose server is gone, and per-user
// file-extension settings for extensions that no longer have a class.

#include "scan/Scanners.h"

#include "platform/TextCompare.h"
#include "registry/RegistryAccess.h"
#include "registry/uUtils.h"
#include "scan/ScanContext.h"
#include "scan/ScannerSupport.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::scan {

using detail::joinKey;
using detail::ViewWalks;
using detail::WalkEnd;
using detail::walkEachView;
using detail::WalkRegistry;

static bool startsWithBrace(std::string_view text) { return !text.empty() && text.front() == '{'; }

using platform::equalIgnoringAsciiCase;

namespace {
/// The sub-keys a class has, so that only the server keys that are there are opened: a class
/// has two or three of the eight, and every open walks the classes root, the largest key of the
/// registry.
class ServerKeySet {
public:
  /// False only when the class is known to have no sub-key called `name`.
  bool mayHave(std::string_view name) const {
    if (!m_known) return true;
    for (const std::string &present : m_names)
      if (equalIgnoringAsciiCase(present, name)) return true;
    return false;
  }

  /// The names are known when they are all ASCII: names beyond it may equal a server key under
  /// the registry's own case rules, so the class's keys are then all tried.
  ServerKeySet(std::vector<std::string> names, bool readable)
      : m_names(std::move(names)),
        m_known(readable && std::all_of(m_names.begin(), m_names.end(), [](const std::string &n) {
                  return std::all_of(n.begin(), n.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
                })) {}

private:
  std::vector<std::string> m_names;
  bool m_known;
};
} // namespace

static ServerKeySet serverKeysOf(WalkRegistry &registry, const std::string &classPath) {
  if (!registry.OpenRegKey(classPath, false)) return ServerKeySet({}, /*readable=*/false);
  return ServerKeySet(registry.ListSubKeyNames(), /*readable=*/true);
}

void scanComClasses(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::Clsid;
  constexpr std::string_view Path = "\\CLSID";
  // The sub-keys of a class that name a file, each examined once per class, in this order.
  constexpr std::string_view ServerKeys[] = {"\\InprocHandler", "\\InprocHandler32",
                                             "\\LocalServer",   "\\LocalServer32",
                                             "\\DefaultIcon",   "\\PersistentHandler",
                                             "\\InprocServer",  "\\InprocServer32"};
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_CLASSES_ROOT);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &classId : registry.ListSubKeyNames()) {
      registry.CloseRegKey();
      const std::string classPath = joinKey(Path, classId);
      const std::string classText = joinKey(*base, classId);
      context.showStatus(classText);
      // Only classes named by an identifier in braces count, but every server key is read
      // first, so a default value of the wrong type ends the scan whatever the class is called.
      const bool isClassId = startsWithBrace(classId);
      const ServerKeySet present = serverKeysOf(registry, classPath);
      for (std::string_view server : ServerKeys) {
        if (!present.mayHave(server.substr(1))) continue;
        std::string serverPath = classPath;
        serverPath += server;
        if (!registry.OpenRegKey(serverPath, false)) continue;
        const std::string v = registry.ReadText("");
        // A default value in braces names another class (a persistent handler), not a file.
        if (!isClassId || startsWithBrace(v)) continue;
        std::optional<std::string> guess = context.brokenReferenceGuess(v);
        if (guess) context.report(Group, classText + std::string(server), v, std::move(*guess), counter);
      }
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

void scanStartMenuOrder(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::ObsoleteStartMenu;
  constexpr std::string_view Paths[] = {
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs"};
  constexpr std::string_view NullValue = "{null value}";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    // The second walk runs even when a stop request ended the first.
    for (std::string_view path : Paths) {
      WalkRegistry registry(HKEY_CURRENT_USER);
      if (!registry.OpenRegKey(path, false)) continue;
      const std::optional<std::string> base = walks.claim(registry, path);
      if (!base) continue;
      for (const std::string &entry : registry.ListSubKeyNames()) {
        registry.CloseRegKey();
        // An entry that cannot be opened has no sub-keys either, so it is reported too.
        registry.OpenRegKey(joinKey(path, entry), false);
        if (!registry.HasChildKeys())
          context.report(Group, joinKey(*base, entry), entry, std::string(NullValue), counter);
        if (context.stopRequested()) break;
      }
    }
    return WalkEnd::Completed;
  });
}

void scanShellExtensions(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::ShellExtensions;
  constexpr std::string_view Path =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    // The error names the approval, under the machine root, though the server is read under
    // the classes root of the same view.
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &classId : registry.ListValueNames()) {
      registry.CloseRegKey();
      registry.CurrentRoot(HKEY_CLASSES_ROOT);
      std::string serverPath = joinKey("\\CLSID", classId);
      serverPath += "\\InprocServer32";
      // An approved class without a server key is not examined.
      if (!registry.OpenRegKey(serverPath, false)) continue;
      const std::string v = registry.ReadText("");
      if (std::optional<std::string> guess = context.brokenReferenceGuess(v))
        context.report(Group, joinKey(*base, classId), v, std::move(*guess), counter);
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

void scanFileExtensions(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::FileExtensions;
  constexpr std::string_view Path = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_CURRENT_USER);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &extension : registry.ListSubKeyNames()) {
      // Only whether the classes root knows the extension decides; what the user's settings
      // key holds is not looked at.
      if (!RegKeyExists(HKEY_CLASSES_ROOT, joinKey("", extension)))
        context.report(Group, joinKey(*base, extension), std::string(), std::string(), counter);
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

} // namespace tw::scan
