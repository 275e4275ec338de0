#include "generator/CommandLine.h"

#include <charconv>
#include <cstdlib>

namespace tw::generator {

namespace {

struct CountOption {
  const char *name;
  std::size_t GeneratorOptions::*field;
  const char *help;
};

} // namespace

static constexpr CountOption CountOptions[] = {
    {"--classes", &GeneratorOptions::classes, "COM classes under HKCR\\CLSID"},
    {"--app-paths", &GeneratorOptions::appPaths, "App Paths entries"},
    {"--help-files", &GeneratorOptions::helpFiles, "Help and HTML Help values"},
    {"--fonts", &GeneratorOptions::fonts, "font values"},
    {"--shared-dlls", &GeneratorOptions::sharedDlls, "SharedDlls values"},
    {"--shares", &GeneratorOptions::shares, "network shares (at most 24 broken)"},
    {"--sound-events", &GeneratorOptions::soundEvents, "event sounds (each with .Current and .Default)"},
    {"--uninstall", &GeneratorOptions::uninstall, "Uninstall entries"},
    {"--menu-order", &GeneratorOptions::menuOrder, "start-menu order keys"},
    {"--shell-extensions", &GeneratorOptions::shellExtensions, "approved shell extensions"},
    {"--file-exts", &GeneratorOptions::fileExts, "per-user FileExts keys"},
    {"--startup", &GeneratorOptions::startupItems, "start-up programs"},
    {"--addons", &GeneratorOptions::addons, "browser add-ons"},
    {"--trace-files", &GeneratorOptions::traceFiles, "browser cache, cookie, history and temporary files"},
    {"--system-mb", &GeneratorOptions::systemMegabytes, "pad system.reg to at least this many MiB"},
};

static bool parseUnsigned(const std::string &text, std::uint64_t &value) {
  const char *end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

static bool parseShare(const std::string &text, double &value) {
  if (text.empty())
    return false;
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

CommandLine parseCommandLine(const std::vector<std::string> &args) {
  CommandLine line;
  const auto fail = [&](std::string message) {
    line.action = CommandLine::Action::Error;
    line.error = std::move(message);
    return line;
  };
  for (const std::string &arg : args)
    if (arg == "--demo")
      line.options = GeneratorOptions::demo();

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.action = CommandLine::Action::ShowHelp;
      return line;
    }
    if (arg == "--demo")
      continue;
    if (arg == "--force") {
      line.options.overwrite = true;
      continue;
    }
    if (arg == "--win7") {
      line.options.windowsXp = false;
      continue;
    }
    if (!arg.starts_with("-")) {
      if (!line.dir.empty())
        return fail("more than one folder given: '" + line.dir + "' and '" + arg + "'");
      line.dir = arg;
      continue;
    }
    if (i + 1 >= args.size())
      return fail("option " + arg + " needs a value");
    const std::string &value = args[++i];
    if (arg == "--seed") {
      if (!parseUnsigned(value, line.options.seed))
        return fail("--seed wants a whole number, not '" + value + "'");
      continue;
    }
    if (arg == "--broken") {
      if (!parseShare(value, line.options.brokenShare) || !(line.options.brokenShare >= 0.0) ||
          line.options.brokenShare > 1.0)
        return fail("--broken wants a share between 0 and 1, not '" + value + "'");
      continue;
    }
    if (arg == "--arch") {
      bool known = false;
      for (PrefixArch arch : {PrefixArch::Win64, PrefixArch::Win64With32Bit, PrefixArch::Win32})
        if (value == archName(arch)) {
          line.options.arch = arch;
          known = true;
        }
      if (!known)
        return fail("--arch wants win64, wow64 or win32, not '" + value + "'");
      continue;
    }
    if (arg == "--user") {
      line.options.userName = value;
      continue;
    }
    bool known = false;
    for (const CountOption &option : CountOptions) {
      if (arg != option.name)
        continue;
      std::uint64_t count = 0;
      if (!parseUnsigned(value, count))
        return fail(arg + " wants a whole number, not '" + value + "'");
      line.options.*option.field = static_cast<std::size_t>(count);
      known = true;
      break;
    }
    if (!known)
      return fail("unknown option " + arg);
  }
  if (line.dir.empty())
    return fail("no prefix folder given");
  line.action = CommandLine::Action::Generate;
  return line;
}

std::string usageText() {
  std::string text =
      "usage: tidewell-mkprefix DIR [options]\n"
      "Makes a Wine prefix in DIR (system.reg, user.reg, userdef.reg, dosdevices, drive_c) with\n"
      "registry entries of every kind the cleaner scans, some of them broken, and lists in\n"
      "DIR/expected-errors.tsv the error rows a full scan must report.\n"
      "\n"
      "  --demo                 a few hundred entries of every kind (other options override it)\n"
      "  --seed N               random seed (the same seed gives the same prefix)\n"
      "  --broken SHARE         share of broken entries of each kind, 0 to 1 (default 0.1)\n";
  for (const CountOption &option : CountOptions) {
    std::string name = std::string("  ") + option.name + " N";
    name.resize(25, ' ');
    text += name + option.help + "\n";
  }
  text +=
      "  --user NAME            the Windows user (default \"user\")\n"
      "  --win7                 report Windows 7 rather than Windows XP\n"
      "  --arch ARCH            win64 (default): a 64-bit Windows with 64-bit programs only;\n"
      "                         wow64: also the 32-bit programs' half (Wow6432Node, syswow64,\n"
      "                         Program Files (x86)), as many entries again; win32: a 32-bit Windows\n"
      "  --force                replace the registry of a folder that already holds a prefix\n"
      "  --help                 this text\n";
  return text;
}

} // namespace tw::generator
