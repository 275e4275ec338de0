#include "cli/tidewell-regedit/RegEditCommand.h"

#include "registry/regfile/RegFileExport.h"
#include "registry/regfile/RegFileImport.h"
#include "registry/regfile/RegFileReader.h"

#include <cctype>
#include <istream>
#include <iterator>
#include <ostream>

namespace tw::regedit {

namespace {

bool isWindowsPath(std::string_view path) {
  const bool driveLetter = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return driveLetter || path.starts_with("\\\\");
}

/// Switches are "/x" or "-x", optionally "/x:value"; anything longer is a file name (on Linux
/// a host path such as "/tmp/backup.reg").
bool isSwitch(std::string_view arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-'))
    return false;
  return arg.size() == 2 || arg[2] == ':';
}

std::optional<std::string> resolvePath(const std::string &file, RegEditEnvironment &env,
                                       std::string &hostPath) {
  if (!isWindowsPath(file)) {
    hostPath = file;
    return std::nullopt;
  }
  std::optional<std::string> mapped = env.hostPathOf ? env.hostPathOf(file) : std::nullopt;
  if (!mapped)
    return file + ": the path lies on no drive of the machine";
  hostPath = *mapped;
  return std::nullopt;
}

/// Loads the roots a run needs; false, with the reason on the error stream, when it cannot.
bool loadRoots(RegEditEnvironment &env, const std::vector<platform::RegKey> &roots) {
  if (!env.loadRegistry)
    return true;
  if (auto problem = env.loadRegistry(roots)) {
    *env.err << "tidewell-regedit: " << *problem << '\n';
    return false;
  }
  return true;
}

int runExport(const RegEditCommand &command, RegEditEnvironment &env) {
  const std::string &file = command.files.front();
  ExportGaps gaps;
  RegFileResult result;
  const std::vector<platform::RegKey> roots = rootsOfExport(command.key);
  if (file == "-") {
    if (!loadRoots(env, roots))
      return 1;
    std::string bytes;
    result = exportRegText(*env.registry, command.key, bytes, &gaps);
    if (result)
      env.out->write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush();
  } else {
    std::string hostPath;
    if (auto problem = resolvePath(file, env, hostPath)) {
      *env.err << "tidewell-regedit: " << *problem << '\n';
      return 1;
    }
    if (!loadRoots(env, roots))
      return 1;
    result = exportRegFile(*env.registry, command.key, hostPath, &gaps);
  }
  if (!result) {
    *env.err << "tidewell-regedit: cannot export to " << file << ": " << result.description()
             << '\n';
    return 1;
  }
  for (const std::string &gap : gaps.keys)
    *env.err << "tidewell-regedit: left out of " << file << ": " << gap << '\n';
  if (!gaps.empty()) {
    *env.err << "tidewell-regedit: " << file << " is incomplete (" << gaps.keys.size()
             << " keys left out)\n";
    return 1;
  }
  return 0;
}

/// The registry of a run that is about to import `roots`; false, with the reason on the error
/// stream, when it cannot be changed.
bool registryForImport(RegEditEnvironment &env, const std::vector<platform::RegKey> &roots,
                       const std::string &shownName) {
  if (!loadRoots(env, roots))
    return false;
  if (!env.readOnlyReason.empty()) {
    *env.err << "tidewell-regedit: cannot import " << shownName
             << ": the registry may only be read: " << env.readOnlyReason << '\n';
    return false;
  }
  return true;
}

int importFromInput(RegEditEnvironment &env) {
  const std::string shownName = "standard input";
  std::string bytes(std::istreambuf_iterator<char>(*env.in), std::istreambuf_iterator<char>{});
  if (bytes.size() > MaxRegFileBytes) {
    *env.err << "tidewell-regedit: standard input: more than " << MaxRegFileBytes << " bytes\n";
    return 1;
  }
  RegFile parsed;
  RegFileResult result = parseRegText(bytes, parsed, shownName);
  if (!result) {
    *env.err << "tidewell-regedit: " << result.description() << "; nothing was imported\n";
    return 1;
  }
  RegFileRoots roots;
  for (const RegFileEntry &entry : parsed.entries)
    roots.entry(entry);
  if (!registryForImport(env, roots.roots(), shownName))
    return 1;
  result = applyRegFile(*env.registry, parsed, shownName);
  if (!result) {
    *env.err << "tidewell-regedit: " << result.description() << '\n';
    return 1;
  }
  return 0;
}

int importOne(const std::string &file, RegEditEnvironment &env) {
  if (file == "-")
    return importFromInput(env);
  std::string hostPath;
  if (auto problem = resolvePath(file, env, hostPath)) {
    *env.err << "tidewell-regedit: " << *problem << '\n';
    return 1;
  }
  // Read twice, a piece at a time: checked whole first, applied afterwards.
  RegFileSource source;
  RegFileResult result = source.open(hostPath);
  if (!result) {
    result.file = file;
    *env.err << "tidewell-regedit: " << result.description() << '\n';
    return 1;
  }
  RegFileRoots roots;
  result = source.read(roots, file);
  if (!result) {
    *env.err << "tidewell-regedit: " << result.description() << "; nothing was imported\n";
    return 1;
  }
  if (!registryForImport(env, roots.roots(), file))
    return 1;
  result = applyRegSource(*env.registry, source, roots, file);
  if (!result) {
    *env.err << "tidewell-regedit: " << result.description() << '\n';
    return 1;
  }
  return 0;
}

} // namespace

std::optional<std::string> parseRegEditCommand(const std::vector<std::string> &args,
                                               RegEditCommand &command) {
  command = RegEditCommand();
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--help" || arg == "-h") {
      command.action = RegEditCommand::Action::Help;
      return std::nullopt;
    }
    if (!isSwitch(arg))
      break;
    switch (std::tolower(static_cast<unsigned char>(arg[1]))) {
    case '?':
      command.action = RegEditCommand::Action::Help;
      return std::nullopt;
    case 'e':
      command.action = RegEditCommand::Action::Export;
      break;
    case 's': // silent: we never ask, and report on stderr either way
    case 'i': // the import switch backup restores pass; importing is the default
    case 'v':
      break;
    default:
      return "unknown switch \"" + arg + "\"";
    }
  }
  command.files.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (command.files.empty())
    return "no file name given";
  if (command.action == RegEditCommand::Action::Export) {
    if (command.files.size() > 2)
      return "/e takes a file name and at most one key";
    if (command.files.size() == 2) {
      command.key = command.files[1];
      command.files.pop_back();
    }
  }
  return std::nullopt;
}

std::string regEditUsage() {
  return "Usage: tidewell-regedit /e FILE [KEY]\n"
         "       tidewell-regedit [/s] [/i] FILE...\n"
         "\n"
         "Exports or imports registry-editor files (.reg) of the Wine prefix named by\n"
         "WINEPREFIX (default ~/.wine), without running Wine.\n"
         "\n"
         "  /e FILE KEY   write KEY and everything below it to FILE: KEY is a root\n"
         "                (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,\n"
         "                HKEY_USERS, HKEY_CURRENT_CONFIG) or a key below one. Without KEY\n"
         "                the whole registry is written. The file is UTF-16 text with the\n"
         "                header \"Windows Registry Editor Version 5.00\".\n"
         "  FILE...       import each file: UTF-16 or 8-bit text, \"Windows Registry Editor\n"
         "                Version 5.00\" or \"REGEDIT4\". A file is read and checked in full\n"
         "                first; a damaged file is refused with its line and the registry\n"
         "                stays as it was.\n"
         "  /s, /i        accepted and ignored: messages always go to standard error.\n"
         "  -             as FILE: standard input (import) or standard output (export).\n"
         "\n"
         "FILE may be a host path or a Windows path on a drive of the prefix (C:\\...).\n"
         "While a wineserver runs for the prefix the registry belongs to it: exports work,\n"
         "imports are refused.\n"
         "\n"
         "Exit status: 0 on success, 1 when a file was refused or the registry failed,\n"
         "2 on a usage error.\n";
}

int runRegEditCommand(const RegEditCommand &command, RegEditEnvironment &env) {
  switch (command.action) {
  case RegEditCommand::Action::Help:
    *env.out << regEditUsage();
    return 0;
  case RegEditCommand::Action::Export:
    return runExport(command, env);
  case RegEditCommand::Action::Import:
    for (const std::string &file : command.files)
      if (int status = importOne(file, env); status != 0)
        return status;
    return 0;
  }
  return 1;
}

} // namespace tw::regedit
