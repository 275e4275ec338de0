// The rest of the generated Windows: the keys every installation has (versions, folders,
// environment, the classes of common file types), and the entries the other pages of the
// program list: start-up programs, browser add-ons and browser traces.

#include "generator/PrefixBuild.h"
#include "generator/WineText.h"

#include <string>

namespace tw::generator::detail {

enum : std::uint64_t {
  BaseStream = 20,
  StartupStream,
  AddonsStream,
  TracesStream,
};

static std::string inSystem(std::string_view file) { return std::string(SystemDir) + "\\" + std::string(file); }
static std::string inWindows(std::string_view file) { return std::string(WindowsDir) + "\\" + std::string(file); }

static std::string randomBytes(Random &rng, std::size_t count) {
  std::string bytes(count, '\0');
  for (char &b : bytes)
    b = static_cast<char>(rng.below(256));
  return bytes;
}

static std::string camelName(std::string_view name) {
  std::string out;
  for (char c : name)
    if (c != ' ')
      out += c;
  return out;
}

// ---------------------------------------------------------------------------------------------

static void addVersionKeys(PrefixBuild &build) {
  const GeneratorOptions &o = build.options;
  HiveKey &current = build.machine.addKey("Software\\Microsoft\\Windows\\CurrentVersion");
  current.setString("CommonFilesDir", std::string(ProgramFilesDir) + "\\Common Files")
      .setString("ProgramFilesDir", std::string(ProgramFilesDir))
      .setExpandString("ProgramFilesPath", "%ProgramFiles%")
      .setExpandString("MediaPathUnexpanded", "%SystemRoot%\\Media")
      .setExpandString("DevicePath", "%SystemRoot%\\inf")
      .setString("ProductId", "76487-OEM-0011903-00102")
      .setString("RegisteredOrganization", "")
      .setString("RegisteredOwner", o.userName);

  HiveKey &nt = build.machine.addKey("Software\\Microsoft\\Windows NT\\CurrentVersion");
  nt.setString("CurrentVersion", o.windowsXp ? "5.1" : "6.1")
      .setString("CurrentBuild", o.windowsXp ? "2600" : "7601")
      .setString("CurrentBuildNumber", o.windowsXp ? "2600" : "7601")
      .setString("CSDVersion", o.windowsXp ? "Service Pack 3" : "Service Pack 1")
      .setString("CurrentType", "Uniprocessor Free")
      .setString("ProductName", o.windowsXp ? "Microsoft Windows XP" : "Microsoft Windows 7")
      .setString("ProductId", "76487-OEM-0011903-00102")
      .setString("RegisteredOrganization", "")
      .setString("RegisteredOwner", o.userName)
      .setString("SystemRoot", std::string(WindowsDir))
      .setDword("InstallDate", static_cast<std::uint32_t>(o.baseTime));
  build.machine.addKey("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList")
      .setString("Default", "C:\\users\\Default")
      .setExpandString("ProfilesDirectory", "%SystemDrive%\\users")
      .setString("Public", "C:\\users\\Public");
  build.machine.addKey("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000")
      .setString("ProfileImagePath", build.profileDir());
}

static void addControlSet(PrefixBuild &build, Random &rng) {
  // Windows keeps the control set in ControlSet001 and reaches it through CurrentControlSet, a
  // link; the share scan opens ControlSet001 by name.
  build.machine.addLink("System\\CurrentControlSet", "\\Registry\\Machine\\System\\ControlSet001");
  build.machine.addKey("System\\Select")
      .setDword("Current", 1)
      .setDword("Default", 1)
      .setDword("Failed", 0)
      .setDword("LastKnownGood", 1);
  build.machine.addKey("System\\ControlSet001\\Control\\ComputerName\\ComputerName")
      .setString("ComputerName", "WORKSTATION");
  build.machine.addKey("System\\ControlSet001\\Control\\Session Manager\\Environment")
      .setExpandString("ComSpec", "%SystemRoot%\\system32\\cmd.exe")
      .setString("OS", "Windows_NT")
      .setExpandString("Path", "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem")
      .setString("PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.JS;.WSH")
      .setString("PROCESSOR_ARCHITECTURE", "x86")
      .setExpandString("TEMP", "%SystemRoot%\\temp")
      .setExpandString("TMP", "%SystemRoot%\\temp")
      .setExpandString("windir", "%SystemRoot%");
  build.machine.addKey("System\\ControlSet001\\Services\\lanmanserver")
      .setDword("Type", 0x20)
      .setDword("Start", 2)
      .setDword("ErrorControl", 1)
      .setExpandString("ImagePath", "%SystemRoot%\\system32\\svchost.exe -k netsvcs")
      .setString("DisplayName", "Server");
  build.machine.addKey("System\\ControlSet001\\Services\\lanmanserver\\Parameters")
      .setDword("AutoShareServer", 1)
      .setBinary("Guid", randomBytes(rng, 16));
}

static void addCommonClasses(PrefixBuild &build) {
  struct FileType {
    const char *extension, *progId, *description, *command;
  };
  // The classes of common file types; their programs are in the Windows and system folders.
  static const FileType Types[] = {
      {".txt", "txtfile", "Text Document", "%SystemRoot%\\system32\\NOTEPAD.EXE %1"},
      {".ini", "inifile", "Configuration Settings", "%SystemRoot%\\system32\\NOTEPAD.EXE %1"},
      {".log", "txtfile", "Text Document", nullptr},
      {".bat", "batfile", "MS-DOS Batch File", "\"%1\" %*"},
      {".exe", "exefile", "Application", "\"%1\" %*"},
      {".dll", "dllfile", "Application Extension", nullptr},
      {".reg", "regfile", "Registration Entries", "regedit.exe \"%1\""},
      {".hlp", "hlpfile", "Help File", "%SystemRoot%\\winhlp32.exe %1"},
      {".chm", "chm.file", "Compiled HTML Help file", "\"%SystemRoot%\\hh.exe\" %1"},
      {".htm", "htmlfile", "HTML Document", nullptr},
      {".wav", "soundrec", "Wave Sound", nullptr},
      {".ttf", "ttffile", "TrueType Font file", nullptr},
      {".lnk", "lnkfile", "Shortcut", nullptr},
  };
  build.classesKey("*").setString("", "");
  for (const FileType &type : Types) {
    build.classRootNames.reserve(type.extension);
    build.classRootNames.reserve(type.progId);
    build.classesKey(type.extension).setString("", type.progId);
    build.classesKey(type.progId).setString("", type.description);
    if (type.command)
      build.classesKey(std::string(type.progId) + "\\shell\\open\\command").setExpandString("", type.command);
  }
  for (const char *program : {"notepad.exe", "regedit.exe", "explorer.exe", "hh.exe", "winhlp32.exe"}) {
    build.sharedFileNames.reserve(program);
    build.addFile(inWindows(program));
  }
  for (const char *program : {"notepad.exe", "cmd.exe", "msiexec.exe", "rundll32.exe", "shell32.dll",
                              "ole32.dll", "svchost.exe", "advpack.dll", "mshtml.dll"}) {
    build.sharedFileNames.reserve(program);
    build.addFile(inSystem(program));
  }
}

static void addUserProfile(PrefixBuild &build) {
  const std::string profile = build.profileDir();
  const std::string local = profile + "\\AppData\\Local";
  const std::string roaming = profile + "\\AppData\\Roaming";
  const std::string startMenu = roaming + "\\Microsoft\\Windows\\Start Menu";
  struct Folder {
    const char *name;
    std::string path;
  };
  const Folder folders[] = {
      {"AppData", roaming},
      {"Cache", local + "\\Microsoft\\Windows\\INetCache"},
      {"Cookies", local + "\\Microsoft\\Windows\\INetCookies"},
      {"Desktop", profile + "\\Desktop"},
      {"Favorites", profile + "\\Favorites"},
      {"History", local + "\\Microsoft\\Windows\\History"},
      {"Local AppData", local},
      {"My Music", profile + "\\Music"},
      {"My Pictures", profile + "\\Pictures"},
      {"My Videos", profile + "\\Videos"},
      {"Personal", profile + "\\Documents"},
      {"Programs", startMenu + "\\Programs"},
      {"Recent", roaming + "\\Microsoft\\Windows\\Recent"},
      {"SendTo", roaming + "\\Microsoft\\Windows\\SendTo"},
      {"Start Menu", startMenu},
      {"Startup", startMenu + "\\Programs\\Startup"},
      {"Templates", roaming + "\\Microsoft\\Windows\\Templates"},
  };
  HiveKey &shellFolders = build.user.addKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  HiveKey &userShellFolders =
      build.user.addKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
  for (const Folder &folder : folders) {
    build.addFolder(folder.path);
    shellFolders.setString(folder.name, folder.path);
    userShellFolders.setExpandString(folder.name, "%USERPROFILE%" + folder.path.substr(profile.size()));
  }
  shellFolders.setString("Fonts", inWindows("Fonts"));
  userShellFolders.setExpandString("Fonts", "%SystemRoot%\\Fonts");

  build.addFolder(profile + "\\Temp");
  build.user.addKey("Environment")
      .setString("TEMP", profile + "\\Temp")
      .setString("TMP", profile + "\\Temp");
  build.user.addKey("Volatile Environment")
      .setString("APPDATA", roaming)
      .setString("HOMEDRIVE", "C:")
      .setString("HOMEPATH", profile.substr(2))
      .setString("LOCALAPPDATA", local)
      .setString("USERNAME", build.options.userName)
      .setString("USERPROFILE", profile);
  build.user.addKey("Control Panel\\Desktop")
      .setString("Wallpaper", "")
      .setString("ScreenSaveActive", "1")
      .setString("ScreenSaveTimeOut", "600")
      .setString("MenuShowDelay", "400")
      .setBinary("UserPreferencesMask", std::string("\x9e\x3e\x07\x80\x12\x00\x00\x00", 8));
  build.user.addKey("Control Panel\\International")
      .setString("Locale", "00000409")
      .setString("sShortDate", "M/d/yyyy")
      .setString("sTimeFormat", "h:mm:ss tt")
      .setString("sDecimal", ".");
  build.user.addKey("Keyboard Layout\\Preload").setString("1", "00000409");
  build.user.addKey("Software\\Microsoft\\Internet Explorer\\Main")
      .setString("Start Page", "http://www.example.com/")
      .setString("Search Page", "http://search.example.com/");
  build.user.addKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete")
      .setString("Append Completion", "no");

  build.userDefault.addKey("Control Panel\\International")
      .setString("Locale", "00000409")
      .setString("sShortDate", "M/d/yyyy");
  build.userDefault.addKey("Control Panel\\Desktop").setString("ScreenSaveActive", "1");
  build.userDefault.addKey("Environment")
      .setExpandString("TEMP", "%USERPROFILE%\\Temp")
      .setExpandString("TMP", "%USERPROFILE%\\Temp");
  build.userDefault.addKey("Keyboard Layout\\Preload").setString("1", "00000409");

  build.machine.addKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")
      .setString("Common AppData", "C:\\ProgramData")
      .setString("Common Desktop", "C:\\users\\Public\\Desktop")
      .setString("Common Documents", "C:\\users\\Public\\Documents");
  for (const char *folder : {"C:\\ProgramData", "C:\\users\\Public\\Desktop", "C:\\users\\Public\\Documents",
                             "C:\\windows\\temp", "C:\\windows\\inf", "C:\\Program Files\\Common Files"})
    build.addFolder(folder);
}

void addSystemBase(PrefixBuild &build) {
  Random rng = build.random(BaseStream);
  addVersionKeys(build);
  addControlSet(build, rng);
  addCommonClasses(build);
  addUserProfile(build);
}

// ---------------------------------------------------------------------------------------------
// The 32-bit half of a 64-bit Windows, as wineboot lays it out with Wine's 32-bit part installed.

void addWow64Base(PrefixBuild &build) {
  static const std::string CurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
  const std::string x86 = std::string(ProgramFilesX86Dir);
  // Both halves record both program folders; each names its own as ProgramFilesDir.
  build.machine.addKey(CurrentVersion)
      .setString("CommonFilesDir (x86)", x86 + "\\Common Files")
      .setString("ProgramFilesDir (x86)", x86);
  build.machine.addKey("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion")
      .setString("CommonFilesDir", x86 + "\\Common Files")
      .setString("CommonFilesDir (x86)", x86 + "\\Common Files")
      .setString("ProgramFilesDir", x86)
      .setString("ProgramFilesDir (x86)", x86)
      .setExpandString("ProgramFilesPath", "%ProgramFiles%")
      .setString("RegisteredOrganization", "")
      .setString("RegisteredOwner", build.options.userName);
  build.machine.addKey("Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion")
      .setString("CurrentVersion", build.options.windowsXp ? "5.1" : "6.1")
      .setString("SystemRoot", std::string(WindowsDir));

  // The keys both halves share are links from the 32-bit half to the 64-bit key, as Wine
  // writes them; the 32-bit classes are reached from Software\Wow6432Node\Classes too.
  static const char *const SharedKeys[] = {
      "Microsoft\\Windows\\CurrentVersion\\App Paths",
      "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
      "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
  };
  for (const char *key : SharedKeys) {
    build.machine.addKey("Software\\" + std::string(key));
    build.machine.addLink("Software\\Wow6432Node\\" + std::string(key),
                          "\\Registry\\Machine\\Software\\" + std::string(key));
  }
  for (const char *key : {"AppId", "Protocols", "TypeLib"}) {
    build.machine.addKey("Software\\Classes\\" + std::string(key));
    build.machine.addLink("Software\\Classes\\Wow6432Node\\" + std::string(key),
                          "\\Registry\\Machine\\Software\\Classes\\" + std::string(key));
  }
  build.machine.addKey("Software\\Classes\\Wow6432Node\\CLSID");
  build.machine.addLink("Software\\Wow6432Node\\Classes", "\\Registry\\Machine\\Software\\Classes\\Wow6432Node");

  // The 32-bit system folder holds the 32-bit builds of the system's programs.
  build.addFolder(std::string(SysWow64Dir));
  build.addFolder(x86 + "\\Common Files");
  for (const char *program : {"kernel32.dll", "ole32.dll", "shell32.dll", "msiexec.exe", "rundll32.exe", "regsvr32.exe"})
    build.addFile(std::string(SysWow64Dir) + "\\" + program);
}

// ---------------------------------------------------------------------------------------------
// Start-up programs: Run and RunOnce of both roots, and the records of disabled entries.

void addStartupItems(PrefixBuild &build) {
  static const std::string Run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static const std::string RunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  static const std::string Disabled = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
  static const char *const Switches[] = {"/background", "-tray", "/minimized", "-autorun", "/startup"};
  Random rng = build.random(StartupStream);
  // The 32-bit programs' machine-wide entries have keys of their own; the per-user keys and the
  // records of disabled entries are shared, so the 32-bit side keeps to its own keys.
  const bool wow64 = build.side() == Side::Wow64;
  HiveKey &machineRun = build.machine.addKey(build.machinePath(Run));
  HiveKey &machineRunOnce = build.machine.addKey(build.machinePath(RunOnce));
  HiveKey &userRun = wow64 ? machineRun : build.user.addKey(Run);
  HiveKey &userRunOnce = wow64 ? machineRunOnce : build.user.addKey(RunOnce);
  if (!wow64)
    build.machine.addKey(Disabled);
  UniqueNames names; // item names, unique over all places so disabling never collides
  const std::size_t count = build.options.startupItems;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const Product &product = broken[i] ? build.removedProduct(rng) : build.installedProduct(rng);
    const std::string item = names.make(rng.chance(50) ? camelName(product.name) : product.vendor + " " + product.name);
    const std::string exe = product.folder + "\\" + product.slug + (rng.chance(30) ? "tray.exe" : ".exe");
    if (!broken[i])
      build.addFile(exe);
    else
      build.markMissing(exe);
    const std::string command = rng.chance(60) ? "\"" + exe + "\" " + rng.pick(Switches) : exe;
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    if (roll < 35) {
      machineRun.setString(item, command);
    } else if (roll < 65) {
      userRun.setString(item, command);
    } else if (roll < 75) {
      machineRunOnce.setString(item, command);
    } else if (roll < 80 || wow64) {
      userRunOnce.setString(item, command);
    } else {
      const bool machine = rng.chance(50);
      build.machine.addKey(Disabled + "\\" + item)
          .setString("command", command)
          .setString("hkey", machine ? "HKLM" : "HKCU")
          .setString("inimapping", "0")
          .setString("item", item)
          .setString("key", Run);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Browser add-ons: toolbars, extensions, explorer bars, helper objects, menu extensions and the
// download handler. Every one but the menu extensions is a COM class, so a broken add-on is
// also a broken class for the class scan.

void addBrowserAddons(PrefixBuild &build) {
  enum class Kind { DownloadHandler, MachineToolbar, UserToolbar, Extension, MachineBar, UserBar, HelperObject, MenuExtension };
  static constexpr Kind Cycle[] = {Kind::MachineToolbar, Kind::UserToolbar, Kind::Extension, Kind::MachineBar,
                                   Kind::UserBar, Kind::HelperObject, Kind::MenuExtension};
  // The 32-bit browser's add-ons: the machine-wide ones have keys of their own (the per-user
  // keys are shared, and a 32-bit class named there would be looked up in the 64-bit view).
  static constexpr Kind Wow64Cycle[] = {Kind::MachineToolbar, Kind::MachineBar, Kind::HelperObject};
  const bool wow64 = build.side() == Side::Wow64;
  static const std::string IE = "Software\\Microsoft\\Internet Explorer";
  Random rng = build.random(AddonsStream);
  HiveKey &machineToolbar = build.machine.addKey(build.machinePath(IE + "\\Toolbar"));
  HiveKey *userToolbar = nullptr;
  if (!wow64) {
    userToolbar = &build.user.addKey(IE + "\\Toolbar\\WebBrowser");
    // Layout records sit beside the toolbars; only names that begin with "{" are toolbars.
    userToolbar->setBinary("ITBarLayout", randomBytes(rng, 40));
  }
  UniqueNames menuNames;
  UniqueNames missingNames;
  const std::size_t count = build.options.addons;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const Kind kind = wow64    ? Wow64Cycle[i % std::size(Wow64Cycle)]
                      : i == 0 ? Kind::DownloadHandler
                               : Cycle[(i - 1) % std::size(Cycle)];
    const Product &product = broken[i] ? build.removedProduct(rng) : build.installedProduct(rng);

    if (kind == Kind::MenuExtension) {
      const std::string name = menuNames.make(rng.chance(50) ? "&Send to " + product.name : "E&xport to " + product.name);
      const std::string page = product.folder + "\\" + product.slug + "menu.htm";
      if (broken[i])
        build.markMissing(page);
      else
        build.addFile(page);
      build.user.addKey(IE + "\\MenuExt\\" + name).setString("", page).setDword("Contexts", 0x22);
      continue;
    }

    ClassSpec spec;
    spec.clsid = rng.guid();
    const std::string library = product.folder + "\\" + missingNames.make(product.slug + "ie.dll");
    const FileRef server = broken[i] ? build.brokenRef(library, RefStyle::Plain) : build.intactRef(library, RefStyle::Plain);
    spec.servers.push_back({ServerKind::InprocServer32, server, broken[i], "Apartment"});
    switch (kind) {
    case Kind::DownloadHandler:
      spec.name = product.name + " Download Manager";
      build.user.addKey(IE).setString("DownloadUI", spec.clsid);
      break;
    case Kind::MachineToolbar:
      spec.name = rng.chance(10) ? "" : product.vendor + " &Toolbar";
      machineToolbar.setString(spec.clsid, "");
      break;
    case Kind::UserToolbar:
      spec.name = rng.chance(10) ? "&&" : "&" + product.name;
      userToolbar->setBinary(spec.clsid, randomBytes(rng, 24));
      break;
    case Kind::Extension:
      spec.name = product.name + " Helper";
      build.user.addKey("Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\" + spec.clsid + "\\iexplore")
          .setDword("Type", 1)
          .setDword("Count", static_cast<std::uint32_t>(rng.between(1, 400)))
          .setBinary("Time", randomBytes(rng, 16));
      break;
    case Kind::MachineBar:
    case Kind::UserBar:
      spec.name = product.name + " Bar";
      (kind == Kind::MachineBar ? build.machine : build.user)
          .addKey((kind == Kind::MachineBar ? build.machinePath(IE) : IE) + "\\Explorer Bars\\" + spec.clsid)
          .setBinary("BarSize", randomBytes(rng, 8));
      break;
    case Kind::HelperObject:
      spec.name = product.name + " Browser Helper";
      build.machine.addKey(build.machinePath("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\") + spec.clsid)
          .setDword("NoExplorer", 1);
      break;
    case Kind::MenuExtension:
      break;
    }
    build.addClass(spec);
  }
}

// ---------------------------------------------------------------------------------------------
// Browser traces: typed addresses and the files of the cache, cookie, favourite, history and
// temporary folders.

void addBrowserTraces(PrefixBuild &build) {
  static const char *const Sites[] = {"example.com", "example.org", "news.example.net", "shop.example.com",
                                      "mail.example.org", "maps.example.net", "video.example.com"};
  Random rng = build.random(TracesStream);
  const std::string profile = build.profileDir();
  const std::string local = profile + "\\AppData\\Local\\Microsoft\\Windows";
  const std::size_t count = build.options.traceFiles;
  HiveKey &typed = build.user.addKey("Software\\Microsoft\\Internet Explorer\\TypedURLs");
  for (std::size_t i = 0; i < std::min<std::size_t>(count, 25); ++i)
    typed.setString("url" + std::to_string(i + 1), "http://" + std::string(rng.pick(Sites)) + "/");
  UniqueNames names;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string site = rng.pick(Sites);
    switch (i % 5) {
    case 0:
      build.addFile(local + "\\INetCache\\Content.IE5\\" + names.make(slugOf(site).substr(0, 8) + ".htm"));
      break;
    case 1:
      build.addFile(local + "\\INetCookies\\" + names.make(build.options.userName + "@" + slugOf(site) + "[1].txt"));
      break;
    case 2:
      build.addFile(profile + "\\Favorites\\" + names.make(slugOf(site) + ".url"));
      break;
    case 3:
      build.addFile(local + "\\History\\History.IE5\\" + names.make("index" + std::to_string(i) + ".dat"));
      break;
    default:
      build.addFile(profile + "\\Temp\\" + names.make("~tmp" + std::to_string(rng.between(1000, 9999)) + ".tmp"));
      break;
    }
  }
}

} // namespace tw::generator::detail
