#include "generator/PrefixGenerator.h"

#include "generator/DriveTree.h"
#include "generator/PrefixBuild.h"
#include "generator/WineText.h"
#include "platform/AtomicFile.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace tw::generator {

namespace fs = std::filesystem;
using namespace detail;

GeneratorOptions GeneratorOptions::demo() {
  GeneratorOptions o;
  o.seed = 2006;
  o.brokenShare = 0.15;
  o.classes = 300;
  o.appPaths = 200;
  o.helpFiles = 200;
  o.fonts = 200;
  o.sharedDlls = 300;
  o.shares = 12;
  o.soundEvents = 150;
  o.uninstall = 200;
  o.menuOrder = 120;
  o.shellExtensions = 150;
  o.fileExts = 300;
  o.startupItems = 40;
  o.addons = 40;
  o.traceFiles = 60;
  return o;
}

std::string GenerateResult::description() const {
  switch (status) {
  case Status::Ok:
    return "made the prefix " + path + ": " + std::to_string(keysWritten) + " keys, " +
           std::to_string(valuesWritten) + " values, " + std::to_string(filesCreated) + " files, " +
           std::to_string(expectedErrors) + " expected errors, system.reg " +
           std::to_string(systemRegBytes) + " bytes";
  case Status::BadOptions:
    return "bad option: " + message;
  case Status::PrefixExists:
  case Status::CannotCreate:
  case Status::WriteFailed:
    break;
  }
  return path + ": " + message;
}

// Counts above this would not fit in memory anyway; refusing them early gives a clear message.
static constexpr std::size_t MaxEntriesPerKind = 5'000'000;
// A registry file Wine could still load in reasonable time.
static constexpr std::size_t MaxSystemMegabytes = 4096;

static GenerateResult failure(GenerateResult::Status status, std::string path, std::string message) {
  GenerateResult result;
  result.status = status;
  result.path = std::move(path);
  result.message = std::move(message);
  return result;
}

static std::string checkOptions(const GeneratorOptions &o) {
  if (!(o.brokenShare >= 0.0 && o.brokenShare <= 1.0))
    return "the broken share must lie between 0 and 1";
  const std::size_t counts[] = {o.classes, o.appPaths, o.helpFiles, o.fonts, o.sharedDlls,
                                o.shares, o.soundEvents, o.uninstall, o.menuOrder,
                                o.shellExtensions, o.fileExts, o.startupItems, o.addons,
                                o.traceFiles};
  for (std::size_t count : counts)
    if (count > MaxEntriesPerKind)
      return "at most " + std::to_string(MaxEntriesPerKind) + " entries of one kind";
  if (o.systemMegabytes > MaxSystemMegabytes)
    return "system.reg can be padded to at most " + std::to_string(MaxSystemMegabytes) + " MB";
  if (o.userName.empty() || o.userName.size() > 64)
    return "the user name must have 1 to 64 characters";
  for (char c : o.userName)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
          c == '-' || c == '.'))
      return "the user name may hold only letters, digits, '_', '-' and '.'";
  if (o.userName == "." || o.userName == "..")
    return "the user name may not be '.' or '..'";
  return {};
}

// True when no broken entry names a file or folder that the prefix makes: the generator's own
// promise that every expected row stays an error.
[[maybe_unused]] static bool brokenPathsStayMissing(const PrefixBuild &build) {
  std::set<std::string> present;
  const auto addWithParents = [&](std::string path) {
    while (true) {
      present.insert(path);
      const std::size_t slash = path.rfind('\\');
      if (slash == std::string::npos || slash <= 2)
        break;
      path.resize(slash);
    }
  };
  for (const auto &[lowered, path] : build.files())
    addWithParents(lowered);
  for (const auto &[lowered, path] : build.folders())
    addWithParents(lowered);
  for (const std::string &missing : build.missingPaths())
    if (present.count(missing))
      return false;
  return true;
}

static std::string manifestText(const std::vector<ExpectedRow> &rows) {
  std::string text;
  for (const ExpectedRow &row : rows) {
    text += row.errorType;
    text += '\t';
    text += row.keyName;
    text += '\t';
    text += row.keyValue;
    text += '\t';
    text += row.guessPath;
    text += '\n';
  }
  return text;
}

static bool makeLink(const fs::path &link, const fs::path &target, std::error_code &error) {
  if (fs::is_symlink(fs::symlink_status(link, error)))
    return true; // a prefix's own drive mapping is kept as it is
  error.clear();
  fs::create_directory_symlink(target, link, error);
  return !error;
}

const char *archName(PrefixArch arch) {
  switch (arch) {
  case PrefixArch::Win64: return "win64";
  case PrefixArch::Win64With32Bit: return "wow64";
  case PrefixArch::Win32: return "win32";
  }
  return "win64";
}

std::string describeOptions(const GeneratorOptions &o) {
  std::string text;
  const auto line = [&](const char *name, const std::string &value) {
    text += name;
    text += '=';
    text += value;
    text += '\n';
  };
  char share[32];
  std::snprintf(share, sizeof share, "%.17g", o.brokenShare);
  line("seed", std::to_string(o.seed));
  line("broken", share);
  line("classes", std::to_string(o.classes));
  line("app-paths", std::to_string(o.appPaths));
  line("help-files", std::to_string(o.helpFiles));
  line("fonts", std::to_string(o.fonts));
  line("shared-dlls", std::to_string(o.sharedDlls));
  line("shares", std::to_string(o.shares));
  line("sound-events", std::to_string(o.soundEvents));
  line("uninstall", std::to_string(o.uninstall));
  line("menu-order", std::to_string(o.menuOrder));
  line("shell-extensions", std::to_string(o.shellExtensions));
  line("file-exts", std::to_string(o.fileExts));
  line("startup", std::to_string(o.startupItems));
  line("addons", std::to_string(o.addons));
  line("trace-files", std::to_string(o.traceFiles));
  line("system-mb", std::to_string(o.systemMegabytes));
  line("user", o.userName);
  line("base-time", std::to_string(o.baseTime));
  line("windows", o.windowsXp ? "xp" : "7");
  if (o.arch != PrefixArch::Win64)
    line("arch", archName(o.arch));
  return text;
}

static std::string readSmallFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  return text;
}

GenerateResult ensurePrefix(const std::string &dir, const GeneratorOptions &options, bool *reused) {
  if (reused)
    *reused = false;
  std::error_code error;
  const fs::path recorded = fs::path(dir) / OptionsFileName;
  const bool ours = fs::is_regular_file(recorded, error);
  if (ours && readSmallFile(recorded) == describeOptions(options)) {
    if (reused)
      *reused = true;
    GenerateResult result;
    result.status = GenerateResult::Status::Ok;
    result.path = dir;
    return result;
  }
  GeneratorOptions fresh = options;
  fresh.overwrite = ours;
  if (ours)
    fs::remove(recorded, error); // a half-made prefix must not pass for a whole one
  return generatePrefix(dir, fresh);
}

GenerateResult generatePrefix(const std::string &dir, const GeneratorOptions &options) {
  if (const std::string problem = checkOptions(options); !problem.empty())
    return failure(GenerateResult::Status::BadOptions, {}, problem);
  if (dir.empty())
    return failure(GenerateResult::Status::CannotCreate, dir, "no folder given");

  const fs::path root(dir);
  std::error_code error;
  const fs::file_status status = fs::status(root, error);
  if (fs::exists(status) && !fs::is_directory(status))
    return failure(GenerateResult::Status::CannotCreate, dir, "exists and is not a folder");
  if (!options.overwrite) {
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
      if (fs::exists(root / name, error))
        return failure(GenerateResult::Status::PrefixExists, (root / name).string(),
                       "the folder already holds a registry; it is left as it was");
  }
  if (!fs::exists(status) && !fs::create_directory(root, error))
    return failure(GenerateResult::Status::CannotCreate, dir, error.message());
  // Until the new prefix is whole, nothing may say that an earlier one is.
  fs::remove(root / OptionsFileName, error);

  PrefixBuild build(options);
  addSystemBase(build);
  addAppPaths(build);
  addClasses(build);
  addHelpFiles(build);
  addFonts(build);
  addMenuOrder(build);
  addSharedDlls(build);
  addShares(build);
  addShellExtensions(build);
  addSoundEvents(build);
  addUninstallEntries(build);
  addFileExts(build);
  addStartupItems(build);
  addBrowserAddons(build);
  addBrowserTraces(build);
  if (options.arch == PrefixArch::Win64With32Bit) {
    // The 32-bit programs' entries of every kind whose keys the 32-bit view keeps apart (and App
    // Paths, which both views share), after the 64-bit ones so that those stay as they were.
    build.setSide(Side::Wow64);
    addWow64Base(build);
    addAppPaths(build);
    addClasses(build);
    addHelpFiles(build);
    addSharedDlls(build);
    addShellExtensions(build);
    addUninstallEntries(build);
    addStartupItems(build);
    addBrowserAddons(build);
    build.setSide(Side::Native);
  }
  assert(brokenPathsStayMissing(build) && "a broken entry names a file the prefix makes");

  HiveTextStats machineStats, userStats, defaultStats;
  std::string systemText = build.machine.text(&machineStats);
  const std::uint64_t target = static_cast<std::uint64_t>(options.systemMegabytes) * 1024 * 1024;
  if (systemText.size() < target) {
    addPadding(build, systemText.size(), target);
    systemText = build.machine.text(&machineStats);
  }
  const std::string userText = build.user.text(&userStats);
  const std::string defaultText = build.userDefault.text(&defaultStats);

  // Drive C: and the drive links, as wineboot lays them out.
  const fs::path driveC = root / "drive_c";
  fs::create_directory(driveC, error);
  if (error)
    return failure(GenerateResult::Status::CannotCreate, driveC.string(), error.message());
  DriveTree drive(driveC.string());
  for (const auto &[lowered, path] : build.folders())
    if (!drive.makeFolder(path))
      return failure(GenerateResult::Status::CannotCreate, drive.failedPath(), drive.failure());
  for (const auto &[lowered, path] : build.files())
    if (!drive.makeFile(path))
      return failure(GenerateResult::Status::CannotCreate, drive.failedPath(), drive.failure());
  const fs::path devices = root / "dosdevices";
  fs::create_directory(devices, error);
  if (error)
    return failure(GenerateResult::Status::CannotCreate, devices.string(), error.message());
  if (!makeLink(devices / "c:", "../drive_c", error))
    return failure(GenerateResult::Status::CannotCreate, (devices / "c:").string(), error.message());
  if (!makeLink(devices / "z:", "/", error))
    return failure(GenerateResult::Status::CannotCreate, (devices / "z:").string(), error.message());

  const std::vector<ExpectedRow> rows = build.expectedRows();
  const std::pair<const char *, const std::string *> outputs[] = {
      {"system.reg", &systemText}, {"user.reg", &userText}, {"userdef.reg", &defaultText}};
  for (const auto &[name, text] : outputs)
    if (const platform::SaveResult saved = platform::saveFileAtomically((root / name).string(), *text); !saved)
      return failure(GenerateResult::Status::WriteFailed, saved.path, saved.description());
  if (const platform::SaveResult saved =
          platform::saveFileAtomically((root / ExpectedErrorsFileName).string(), manifestText(rows));
      !saved)
    return failure(GenerateResult::Status::WriteFailed, saved.path, saved.description());
  // Last, so that its presence says the prefix is whole.
  if (const platform::SaveResult saved =
          platform::saveFileAtomically((root / OptionsFileName).string(), describeOptions(options));
      !saved)
    return failure(GenerateResult::Status::WriteFailed, saved.path, saved.description());

  GenerateResult result;
  result.status = GenerateResult::Status::Ok;
  result.path = dir;
  result.keysWritten = machineStats.keys + userStats.keys + defaultStats.keys;
  result.valuesWritten = machineStats.values + userStats.values + defaultStats.values;
  result.filesCreated = drive.filesCreated();
  result.expectedErrors = rows.size();
  result.systemRegBytes = systemText.size();
  return result;
}

} // namespace tw::generator
