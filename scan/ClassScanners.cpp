// The scanners of class and extension entries: COM classes whose server or icon files are gone,
// start-menu order entries, approved shell extensions whose server is gone, and per-user
// file-extension settings for extensions that no longer have a class.

#include "scan/Scanners.h"

#include "registry/RegistryAccess.h"
#include "registry/uUtils.h"
#include "scan/ScanContext.h"
#include "scan/ScannerSupport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::scan {

using detail::joinKey;
using detail::WalkRegistry;

static bool startsWithBrace(std::string_view text) { return !text.empty() && text.front() == '{'; }

void scanComClasses(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::Clsid;
  constexpr std::string_view Path = "\\CLSID";
  // The sub-keys of a class that name a file, each examined once per class, in this order.
  constexpr std::string_view ServerKeys[] = {"\\InprocHandler", "\\InprocHandler32",
                                             "\\LocalServer",   "\\LocalServer32",
                                             "\\DefaultIcon",   "\\PersistentHandler",
                                             "\\InprocServer",  "\\InprocServer32"};
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_CLASSES_ROOT);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string rootName = registry.rootName();
  for (const std::string &classId : registry.ListSubKeyNames()) {
    registry.CloseRegKey();
    const std::string classPath = joinKey(Path, classId);
    context.showStatus(rootName + classPath);
    // Only classes named by an identifier in braces count, but every server key is read first,
    // so a default value of the wrong type ends the scan whatever the class is called.
    const bool isClassId = startsWithBrace(classId);
    for (std::string_view server : ServerKeys) {
      std::string serverPath = classPath;
      serverPath += server;
      if (!registry.OpenRegKey(serverPath, false)) continue;
      const std::string v = registry.ReadText("");
      // A default value in braces names another class (a persistent handler), not a file.
      if (!isClassId || startsWithBrace(v)) continue;
      std::optional<std::string> guess = context.brokenReferenceGuess(v);
      if (guess) context.report(Group, rootName + serverPath, v, std::move(*guess), counter);
    }
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

void scanStartMenuOrder(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::ObsoleteStartMenu;
  constexpr std::string_view Paths[] = {
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs"};
  constexpr std::string_view NullValue = "{null value}";
  std::int32_t counter = 0;
  // The second walk runs even when a stop request ended the first.
  for (std::string_view path : Paths) {
    WalkRegistry registry(HKEY_CURRENT_USER);
    if (!registry.OpenRegKey(path, false)) continue;
    const std::string base = std::string("HKEY_CURRENT_USER") + std::string(path);
    for (const std::string &entry : registry.ListSubKeyNames()) {
      registry.CloseRegKey();
      // An entry that cannot be opened has no sub-keys either, so it is reported too.
      registry.OpenRegKey(joinKey(path, entry), false);
      if (!registry.HasChildKeys())
        context.report(Group, joinKey(base, entry), entry, std::string(NullValue), counter);
      if (context.stopRequested()) break;
    }
  }
  context.writeCount(Group, counter);
}

void scanShellExtensions(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::ShellExtensions;
  constexpr std::string_view Path =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKey(Path, false)) return;
  // The error names the approval, under the machine root, though the server is read under the
  // classes root.
  const std::string base = std::string("HKEY_LOCAL_MACHINE") + std::string(Path);
  for (const std::string &classId : registry.ListValueNames()) {
    registry.CloseRegKey();
    registry.CurrentRoot(HKEY_CLASSES_ROOT);
    std::string serverPath = joinKey("\\CLSID", classId);
    serverPath += "\\InprocServer32";
    // An approved class without a server key is not examined.
    if (!registry.OpenRegKey(serverPath, false)) continue;
    const std::string v = registry.ReadText("");
    if (std::optional<std::string> guess = context.brokenReferenceGuess(v))
      context.report(Group, joinKey(base, classId), v, std::move(*guess), counter);
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

void scanFileExtensions(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::FileExtensions;
  constexpr std::string_view Path = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_CURRENT_USER);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string base = std::string("HKEY_CURRENT_USER") + std::string(Path);
  for (const std::string &extension : registry.ListSubKeyNames()) {
    // Only whether the classes root knows the extension decides; what the user's settings key
    // holds is not looked at.
    if (!RegKeyExists(HKEY_CLASSES_ROOT, joinKey("", extension)))
      context.report(Group, joinKey(base, extension), std::string(), std::string(), counter);
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

} // namespace tw::scan
