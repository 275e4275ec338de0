// The scanners of plain file references: registered application paths, help files, fonts,
// shared libraries, network shares, event sounds and uninstall commands.

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

/// Reports `v`, read at `keyText`, when it names nothing that exists.
static void reportIfBroken(ScanContext &context, ScanGroupIndex group, std::string keyText,
                           const std::string &v, std::int32_t &counter) {
  std::optional<std::string> guess = context.brokenReferenceGuess(v);
  if (!guess) return;
  context.report(group, std::move(keyText), v, std::move(*guess), counter);
}

void scanApplicationPaths(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::ApplicationPath;
  constexpr std::string_view Path = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string base = registry.rootName() + std::string(Path);
  for (const std::string &name : registry.ListSubKeyNames()) {
    std::string keyText = joinKey(base, name);
    context.showStatus(keyText);
    // An application key that cannot be opened ends the whole group, count not written.
    if (!registry.OpenRegKey(joinKey(Path, name), false)) return;
    const std::string v = registry.ReadText("");
    reportIfBroken(context, Group, std::move(keyText), v, counter);
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

void scanHelpFiles(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::HelpPath;
  constexpr std::string_view Paths[] = {"\\SOFTWARE\\Microsoft\\Windows\\Help",
                                        "\\SOFTWARE\\Microsoft\\Windows\\HTML Help"};
  std::int32_t counter = 0;
  // The second walk runs even when a stop request ended the first.
  for (std::string_view path : Paths) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(path, false)) continue;
    const std::string base = registry.rootName() + std::string(path);
    for (const std::string &fileName : registry.ListValueNames()) {
      std::string keyText = joinKey(base, fileName);
      context.showStatus(keyText);
      // The value's data is the folder that holds the file the value names.
      std::string v = registry.ReadText(fileName);
      if (!v.empty() && v.back() != '\\') v += '\\';
      v += fileName;
      reportIfBroken(context, Group, std::move(keyText), v, counter);
      if (context.stopRequested()) break;
    }
  }
  context.writeCount(Group, counter);
}

void scanFontFiles(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::FontPath;
  const int kind = WindowsKind();
  const std::string_view path = kind >= 1 && kind <= 3
                                    ? "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts"
                                    : "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  // When the key does not open, its value list is empty and the group finds nothing.
  registry.OpenRegKey(path, false);
  const std::string base = registry.rootName() + std::string(path);
  for (const std::string &fontName : registry.ListValueNames()) {
    std::string keyText = joinKey(base, fontName);
    context.showStatus(keyText);
    std::string v = registry.ReadText(fontName);
    // A bare file name is looked for in the fonts folder of a standard installation, whatever
    // the Windows folder of this machine is.
    if (v.find_first_of("\\:") == std::string::npos) v.insert(0, "C:\\WINDOWS\\FONTS\\");
    reportIfBroken(context, Group, std::move(keyText), v, counter);
    if (context.stopRequested()) break;
  }
  context.writeCount(Group, counter);
}

void scanSharedDlls(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::SharedDlls;
  constexpr std::string_view Path = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string base = registry.rootName() + std::string(Path);
  // Each value's name is a library's full path; the data (a use count) is not read.
  for (const std::string &library : registry.ListValueNames()) {
    std::string keyText = joinKey(base, library);
    context.showStatus(keyText);
    reportIfBroken(context, Group, std::move(keyText), library, counter);
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

static bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

/// The first character of a share name that is exactly two characters long, or nothing. Names
/// are counted in characters, not in bytes of their UTF-8 text.
static std::optional<std::string_view> firstOfTwoCharacters(std::string_view name) {
  std::size_t starts[2] = {0, 0};
  std::size_t count = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (isContinuationByte(name[i])) continue;
    if (count == 2) return std::nullopt;
    starts[count++] = i;
  }
  if (count != 2) return std::nullopt;
  return name.substr(0, starts[1]);
}

void scanSharedFolders(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::SharedFolder;
  const int kind = WindowsKind();
  const std::string_view path = kind >= 1 && kind <= 3
                                    ? "\\Software\\Microsoft\\Windows\\CurrentVersion\\Network\\LanMan"
                                    : "\\SYSTEM\\ControlSet001\\Services\\lanmanserver\\Shares";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKey(path, false)) return;
  const std::string base = registry.rootName() + std::string(path);
  for (const std::string &share : registry.ListValueNames()) {
    std::string keyText = joinKey(base, share);
    context.showStatus(keyText);
    // Only a drive's administrative share (C$) is examined: it is broken when its drive is gone.
    if (const auto drive = firstOfTwoCharacters(share)) {
      const std::string driveRoot = std::string(*drive) + ":\\";
      if (!context.files().directoryExists(driveRoot))
        context.report(Group, std::move(keyText), share, GuessPath(share), counter);
    }
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

void scanEventSounds(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::SoundAndAppEvents;
  constexpr std::string_view Path = "\\AppEvents\\Schemes\\Apps";
  constexpr std::string_view Schemes[] = {".Current", ".Default"};
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_CURRENT_USER);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string rootName = registry.rootName();
  // This group never looks at the stop flag: once started it runs to its end.
  if (registry.HasChildKeys()) {
    for (const std::string &application : registry.ListSubKeyNames()) {
      registry.CloseRegKey();
      const std::string applicationPath = joinKey(Path, application);
      if (!registry.OpenRegKeyForRead(applicationPath) || !registry.HasChildKeys()) continue;
      for (const std::string &event : registry.ListSubKeyNames()) {
        registry.CloseRegKey();
        const std::string eventPath = joinKey(applicationPath, event);
        for (std::string_view scheme : Schemes) {
          const std::string schemePath = joinKey(eventPath, scheme);
          std::string keyText = rootName + schemePath;
          context.showStatus(keyText);
          if (!registry.OpenRegKeyForRead(schemePath)) continue;
          const std::string v = registry.ReadText("");
          reportIfBroken(context, Group, std::move(keyText), v, counter);
        }
      }
    }
  }
  context.writeCount(Group, counter);
}

void scanUninstallCommands(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::Uninstall;
  constexpr std::string_view Path = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  std::int32_t counter = 0;
  WalkRegistry registry(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKey(Path, false)) return;
  const std::string base = registry.rootName() + std::string(Path);
  for (const std::string &product : registry.ListSubKeyNames()) {
    const std::string productText = joinKey(base, product);
    context.showStatus(productText);
    if (!registry.OpenRegKey(joinKey(Path, product), false)) continue;
    const std::string v = registry.ReadText("UninstallString");
    // The error names the value, so that fixing removes the command and keeps the product key.
    reportIfBroken(context, Group, joinKey(productText, "UninstallString"), v, counter);
    if (context.stopRequested()) return;
  }
  context.writeCount(Group, counter);
}

} // namespace tw::scan
