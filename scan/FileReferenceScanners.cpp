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
using detail::ViewWalks;
using detail::WalkEnd;
using detail::walkEachView;
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
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &name : registry.ListSubKeyNames()) {
      std::string keyText = joinKey(*base, name);
      context.showStatus(keyText);
      // An application key that cannot be opened ends the whole group, count not written.
      if (!registry.OpenRegKey(joinKey(Path, name), false)) return WalkEnd::EndsScanner;
      const std::string v = registry.ReadText("");
      reportIfBroken(context, Group, std::move(keyText), v, counter);
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

void scanHelpFiles(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::HelpPath;
  constexpr std::string_view Paths[] = {"\\SOFTWARE\\Microsoft\\Windows\\Help",
                                        "\\SOFTWARE\\Microsoft\\Windows\\HTML Help"};
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    // The second walk runs even when a stop request ended the first; the count is written
    // either way.
    for (std::string_view path : Paths) {
      WalkRegistry registry(HKEY_LOCAL_MACHINE);
      if (!registry.OpenRegKey(path, false)) continue;
      const std::optional<std::string> base = walks.claim(registry, path);
      if (!base) continue;
      for (const std::string &fileName : registry.ListValueNames()) {
        std::string keyText = joinKey(*base, fileName);
        context.showStatus(keyText);
        // The value's data is the folder that holds the file the value names.
        std::string v = registry.ReadText(fileName);
        if (!v.empty() && v.back() != '\\') v += '\\';
        v += fileName;
        reportIfBroken(context, Group, std::move(keyText), v, counter);
        if (context.stopRequested()) break;
      }
    }
    return WalkEnd::Completed;
  });
}

void scanFontFiles(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::FontPath;
  const int kind = WindowsKind();
  const std::string_view path = kind >= 1 && kind <= 3
                                    ? "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts"
                                    : "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    // When the key does not open, its value list is empty and the group finds nothing.
    std::optional<std::string> base = RootKeyToFullName(HKEY_LOCAL_MACHINE) + std::string(path);
    if (registry.OpenRegKey(path, false)) base = walks.claim(registry, path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &fontName : registry.ListValueNames()) {
      std::string keyText = joinKey(*base, fontName);
      context.showStatus(keyText);
      std::string v = registry.ReadText(fontName);
      // A bare file name is looked for in the fonts folder of a standard installation, whatever
      // the Windows folder of this machine is.
      if (v.find_first_of("\\:") == std::string::npos) v.insert(0, "C:\\WINDOWS\\FONTS\\");
      reportIfBroken(context, Group, std::move(keyText), v, counter);
      if (context.stopRequested()) break;
    }
    return WalkEnd::Completed;
  });
}

void scanSharedDlls(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::SharedDlls;
  constexpr std::string_view Path = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    // Each value's name is a library's full path; the data (a use count) is not read.
    for (const std::string &library : registry.ListValueNames()) {
      std::string keyText = joinKey(*base, library);
      context.showStatus(keyText);
      reportIfBroken(context, Group, std::move(keyText), library, counter);
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
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
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &share : registry.ListValueNames()) {
      std::string keyText = joinKey(*base, share);
      context.showStatus(keyText);
      // Only a drive's administrative share (C$) is examined: it is broken when its drive is gone.
      if (const auto drive = firstOfTwoCharacters(share)) {
        const std::string driveRoot = std::string(*drive) + ":\\";
        if (!context.files().directoryExists(driveRoot))
          context.report(Group, std::move(keyText), share, GuessPath(share), counter);
      }
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

void scanEventSounds(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::SoundAndAppEvents;
  constexpr std::string_view Path = "\\AppEvents\\Schemes\\Apps";
  constexpr std::string_view Schemes[] = {".Current", ".Default"};
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_CURRENT_USER);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    // This group never looks at the stop flag: once started it runs to its end.
    if (!registry.HasChildKeys()) return WalkEnd::Completed;
    for (const std::string &application : registry.ListSubKeyNames()) {
      registry.CloseRegKey();
      const std::string applicationPath = joinKey(Path, application);
      if (!registry.OpenRegKeyForRead(applicationPath) || !registry.HasChildKeys()) continue;
      for (const std::string &event : registry.ListSubKeyNames()) {
        registry.CloseRegKey();
        const std::string eventPath = joinKey(applicationPath, event);
        const std::string eventText = joinKey(joinKey(*base, application), event);
        for (std::string_view scheme : Schemes) {
          std::string keyText = joinKey(eventText, scheme);
          context.showStatus(keyText);
          if (!registry.OpenRegKeyForRead(joinKey(eventPath, scheme))) continue;
          const std::string v = registry.ReadText("");
          reportIfBroken(context, Group, std::move(keyText), v, counter);
        }
      }
    }
    return WalkEnd::Completed;
  });
}

void scanUninstallCommands(ScanContext &context) {
  constexpr auto Group = ScanGroupIndex::Uninstall;
  constexpr std::string_view Path = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  walkEachView(context, Group, [&](ViewWalks &walks, std::int32_t &counter) {
    WalkRegistry registry(HKEY_LOCAL_MACHINE);
    if (!registry.OpenRegKey(Path, false)) return WalkEnd::NotWalked;
    const std::optional<std::string> base = walks.claim(registry, Path);
    if (!base) return WalkEnd::NotWalked;
    for (const std::string &product : registry.ListSubKeyNames()) {
      const std::string productText = joinKey(*base, product);
      context.showStatus(productText);
      if (!registry.OpenRegKey(joinKey(Path, product), false)) continue;
      const std::string v = registry.ReadText("UninstallString");
      // The error names the value, so that fixing removes the command and keeps the product key.
      reportIfBroken(context, Group, joinKey(productText, "UninstallString"), v, counter);
      if (context.stopRequested()) return WalkEnd::EndsScanner;
    }
    return WalkEnd::Completed;
  });
}

} // namespace tw::scan
