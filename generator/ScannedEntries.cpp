// The entries the registry scan examines, kind by kind. Each kind writes its entries where the
// scan looks for them, makes the files of the intact ones exist, and expects one row (two for
// some classes and events) for each broken one, with the key text as the scanner composes it:
// the scanner's own spelling of the location, then the names as the registry enumerates them.

#include "generator/PrefixBuild.h"
#include "generator/WineText.h"
#include "platform/RegistryApi.h"

#include <string>

namespace tw::generator::detail {

// Random stream numbers of the kinds.
enum : std::uint64_t {
  AppPathsStream = 1,
  ClassesStream,
  HelpStream,
  FontsStream,
  MenuOrderStream,
  SharedDllsStream,
  SharesStream,
  ShellExtensionsStream,
  SoundsStream,
  UninstallStream,
  FileExtsStream,
};

// Paths in the system folder and the Windows folder.
static std::string inSystem(std::string_view file) { return std::string(SystemDir) + "\\" + std::string(file); }
static std::string inWindows(std::string_view file) { return std::string(WindowsDir) + "\\" + std::string(file); }

static std::string camelName(std::string_view name) {
  std::string out;
  for (char c : name)
    if (c != ' ')
      out += c;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Application paths: HKLM ...\App Paths\<program>.exe, default value = the program. Both
// sides share the key (Wine links it); 32-bit programs name their files by full path, which
// means the same in either view.

void addAppPaths(PrefixBuild &build) {
  static const std::string Location = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
  static const std::string KeyText =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  Random rng = build.random(AppPathsStream);
  build.machine.addKey(Location);
  UniqueNames &names = build.appPathNames;
  const bool fullPathsOnly = build.side() == Side::Wow64;
  const auto fullPath = [&](RefStyle style) {
    return fullPathsOnly && (style == RefStyle::ProgramFilesVariable || style == RefStyle::SystemRootVariable)
               ? RefStyle::Quoted
               : style;
  };
  const std::size_t count = build.options.appPaths;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    if (broken[i]) {
      const Product &product = build.removedProduct(rng);
      const std::string exe = names.make(camelName(product.name) + ".exe");
      FileRef ref;
      if (roll < 40)
        ref = build.brokenRef(product.folder + "\\" + exe, RefStyle::Plain);
      else if (roll < 60)
        ref = build.brokenRef(product.folder + "\\" + exe, RefStyle::Quoted);
      else if (roll < 80)
        ref = build.brokenRef(product.folder + "\\" + exe, fullPath(RefStyle::ProgramFilesVariable));
      else if (roll < 90 && fullPathsOnly)
        ref = build.brokenRef(product.folder + "\\" + build.sharedFileNames.make(product.slug + "svc.exe"),
                              RefStyle::Plain);
      else if (roll < 90)
        ref = build.brokenRef(inSystem(build.sharedFileNames.make(product.slug + "svc.exe")),
                              RefStyle::SystemRootVariable);
      else
        ref = build.brokenRef(exe, RefStyle::NetworkPath);
      HiveKey &key = build.machine.addKey(Location + "\\" + exe);
      if (ref.expandable)
        key.setExpandString("", ref.text);
      else
        key.setString("", ref.text);
      key.setString("Path", product.folder + "\\");
      build.expect(nameSortKey(exe), {"Application", KeyText + exe, ref.text, ref.guess}, /*shared=*/true);
      continue;
    }
    const Product &product = build.installedProduct(rng);
    const std::string exe = names.make(camelName(product.name) + ".exe");
    HiveKey &key = build.machine.addKey(Location + "\\" + exe);
    key.setString("Path", product.folder);
    if (roll < 70) {
      const RefStyle style = roll < 40   ? RefStyle::Plain
                             : roll < 55 ? RefStyle::Quoted
                                         : RefStyle::ProgramFilesVariable;
      const FileRef ref = build.intactRef(product.folder + "\\" + exe, fullPath(style));
      if (ref.expandable)
        key.setExpandString("", ref.text);
      else
        key.setString("", ref.text);
    } else if (roll < 80 && !fullPathsOnly) {
      const FileRef ref = build.intactRef(inSystem(build.sharedFileNames.make(product.slug + ".exe")),
                                          RefStyle::SystemRootVariable);
      key.setExpandString("", ref.text);
    } else if (roll < 90) {
      // A default value naming a folder that exists is no broken reference.
      build.addFolder(product.folder);
      key.setString("", product.folder);
    }
    // Otherwise no default value: empty text is never broken.
  }
}

// ---------------------------------------------------------------------------------------------
// COM classes: HKCR\CLSID\{guid} with server keys.

static const char *const ClassNouns[] = {"Class", "Control", "Object", "Document", "Handler",
                                         "Provider", "Filter", "Extension", "Factory", "Viewer"};
static const char *const ThreadingModels[] = {"Apartment", "Both", "Free", "Neutral"};

// A library of an installed product, or of the system folder, that a class can be served by.
static FileRef intactLibrary(PrefixBuild &build, Random &rng, const Product &product) {
  const unsigned roll = static_cast<unsigned>(rng.below(100));
  const std::string library = product.folder + "\\" + product.slug + (rng.chance(50) ? ".dll" : "ui.dll");
  if (roll < 45)
    return build.intactRef(library, RefStyle::Plain);
  if (roll < 60)
    return build.intactRef(library, RefStyle::Quoted);
  if (roll < 75)
    return build.intactRef(library, RefStyle::ProgramFilesVariable);
  if (roll < 90)
    return build.intactRef(inSystem(product.slug + "ps.dll"), RefStyle::SystemRootVariable);
  // A bare system library is found in the system folder.
  build.addFile(inSystem("ole32.dll"));
  return {"ole32.dll", "", false};
}

static FileRef brokenLibrary(PrefixBuild &build, Random &rng, UniqueNames &missingNames) {
  const Product &product = build.removedProduct(rng);
  const unsigned roll = static_cast<unsigned>(rng.below(100));
  const std::string library = product.folder + "\\" + missingNames.make(product.slug + ".dll");
  if (roll < 45)
    return build.brokenRef(library, RefStyle::Plain);
  if (roll < 60)
    return build.brokenRef(library, RefStyle::Quoted);
  if (roll < 80)
    return build.brokenRef(library, RefStyle::ProgramFilesVariable);
  return build.brokenRef(inSystem(build.sharedFileNames.make(product.slug + "ax.dll")),
                         RefStyle::SystemRootVariable);
}

static FileRef brokenProgram(PrefixBuild &build, Random &rng, UniqueNames &missingNames) {
  const Product &product = build.removedProduct(rng);
  const std::string exe = product.folder + "\\" + missingNames.make(product.slug + ".exe");
  const unsigned roll = static_cast<unsigned>(rng.below(3));
  return build.brokenRef(exe, roll == 0   ? RefStyle::Plain
                              : roll == 1 ? RefStyle::QuotedSwitch
                                          : RefStyle::Arguments);
}

static FileRef brokenIcon(PrefixBuild &build, Random &rng, UniqueNames &missingNames) {
  const Product &product = build.removedProduct(rng);
  if (rng.chance(50))
    return build.brokenRef(product.folder + "\\" + missingNames.make(product.slug + ".exe"),
                           RefStyle::IconIndex);
  return build.brokenRef(product.folder + "\\Icons\\" + missingNames.make(product.slug + ".ico"),
                         RefStyle::Plain);
}

void addClasses(PrefixBuild &build) {
  Random rng = build.random(ClassesStream);
  build.classesKey("CLSID");
  UniqueNames missingNames;
  const std::size_t count = build.options.classes;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    ClassSpec spec;
    spec.clsid = rng.guid();
    const Product &product = build.installedProduct(rng);
    spec.name = rng.chance(90) ? product.name + " " + rng.pick(ClassNouns) : "";
    const bool localServer = rng.chance(15);
    const unsigned roll = static_cast<unsigned>(rng.below(100));

    if (broken[i]) {
      // Which servers are gone: the main one, the main one and the icon (two rows), the icon
      // only, or an old 16-bit LocalServer key beside an intact main server.
      const bool mainBroken = roll < 85;
      const bool iconBroken = roll >= 60 && roll < 90;
      const bool oldServerBroken = roll >= 90;
      if (localServer) {
        FileRef ref = mainBroken ? brokenProgram(build, rng, missingNames)
                                 : build.intactRef(product.folder + "\\" + product.slug + ".exe",
                                                   RefStyle::QuotedSwitch);
        spec.servers.push_back({ServerKind::LocalServer32, ref, mainBroken, ""});
      } else {
        FileRef ref = mainBroken ? brokenLibrary(build, rng, missingNames)
                                 : intactLibrary(build, rng, product);
        spec.servers.push_back({ServerKind::InprocServer32, ref, mainBroken, rng.pick(ThreadingModels)});
      }
      if (iconBroken)
        spec.servers.push_back({ServerKind::DefaultIcon, brokenIcon(build, rng, missingNames), true, ""});
      if (oldServerBroken)
        spec.servers.push_back({ServerKind::LocalServer, brokenProgram(build, rng, missingNames), true, ""});
      build.addClass(spec);
      continue;
    }

    if (roll < 2) {
      // A class key that is no GUID is never reported, even with its server file gone.
      spec.clsid = build.classRootNames.make(camelName(product.vendor) + "." + product.slug + "Legacy");
      spec.servers.push_back({ServerKind::InprocServer32, brokenLibrary(build, rng, missingNames), false, ""});
      build.addClass(spec);
      continue;
    }
    if (roll < 5) {
      // A persistent handler names another class, which is never taken for a file.
      spec.servers.push_back({ServerKind::PersistentHandler, {rng.guid(), "", false}, false, ""});
    } else if (roll < 10) {
      // Classes implemented inside the system leave the server's default value empty.
      spec.servers.push_back({ServerKind::InprocServer32, {"", "", false}, false, "Both"});
    } else if (localServer) {
      spec.servers.push_back({ServerKind::LocalServer32,
                              build.intactRef(product.folder + "\\" + product.slug + ".exe",
                                              rng.chance(50) ? RefStyle::QuotedSwitch
                                                             : RefStyle::Arguments),
                              false, ""});
    } else {
      spec.servers.push_back({ServerKind::InprocServer32, intactLibrary(build, rng, product), false,
                              rng.pick(ThreadingModels)});
    }
    if (rng.chance(10)) {
      build.addFile(inSystem("ole32.dll"));
      spec.servers.push_back({ServerKind::InprocHandler32, {"ole32.dll", "", false}, false, ""});
    }
    if (rng.chance(30)) {
      const std::string exe = product.folder + "\\" + product.slug + ".exe";
      spec.servers.push_back({ServerKind::DefaultIcon,
                              rng.chance(50) ? build.intactRef(exe, RefStyle::IconIndex)
                                             : build.intactRef(inSystem("shell32.dll"),
                                                               RefStyle::SystemRootVariable),
                              false, ""});
    }
    if (rng.chance(40))
      spec.progId = build.classRootNames.make(camelName(product.vendor) + "." +
                                              camelName(product.name) + ".1");
    build.addClass(spec);
  }
}

// ---------------------------------------------------------------------------------------------
// Help files: values of Windows\Help (.hlp) and Windows\HTML Help (.chm); the value's name is
// the file, its data the folder.

void addHelpFiles(PrefixBuild &build) {
  Random rng = build.random(HelpStream);
  const std::size_t count = build.options.helpFiles;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  struct Walk {
    std::string location, keyText, extension;
  };
  const Walk walks[2] = {
      {build.machinePath("Software\\Microsoft\\Windows\\Help"),
       build.keyText("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help\\"), ".hlp"},
      {build.machinePath("Software\\Microsoft\\Windows\\HTML Help"),
       build.keyText("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\HTML Help\\"), ".chm"},
  };
  HiveKey *keys[2] = {&build.machine.addKey(walks[0].location), &build.machine.addKey(walks[1].location)};
  const std::string helpFolder = inWindows("help");
  for (std::size_t i = 0; i < count; ++i) {
    const int walk = i < count / 2 ? 0 : 1;
    HiveKey &key = *keys[walk];
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    if (broken[i]) {
      const Product &product = build.removedProduct(rng);
      const std::string file = build.sharedFileNames.make(product.slug + walks[walk].extension);
      // The folder comes with or without its closing backslash; the scan joins them alike.
      std::string folder = roll < 80 ? product.folder : helpFolder;
      const std::string path = folder + "\\" + file;
      if (rng.chance(50))
        folder += "\\";
      key.setString(file, folder);
      build.markMissing(path);
      build.expect(std::to_string(walk) + '\x01' + nameSortKey(file),
                   {"Help File", walks[walk].keyText + file, path, lowerAscii(path)});
      continue;
    }
    const Product &product = build.installedProduct(rng);
    const std::string file = build.sharedFileNames.make(product.slug + walks[walk].extension);
    if (roll < 60) {
      build.addFile(product.folder + "\\" + file);
      key.setString(file, rng.chance(50) ? product.folder : product.folder + "\\");
    } else if (roll < 80) {
      build.addFile(helpFolder + "\\" + file);
      key.setString(file, helpFolder);
    } else {
      // No folder: the file is looked for in the Windows folder.
      build.addFile(inWindows(file));
      key.setString(file, "");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Fonts: values of Windows NT\CurrentVersion\Fonts; a bare file name means C:\WINDOWS\FONTS.

void addFonts(PrefixBuild &build) {
  static const std::string KeyText =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
  static const char *const Styles[] = {"", " Bold", " Italic", " Bold Italic", " Light", " Condensed"};
  Random rng = build.random(FontsStream);
  HiveKey &key = build.machine.addKey("Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
  UniqueNames entryNames;
  const std::size_t count = build.options.fonts;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::string family = rng.pick(FontFamilies);
    const std::string style = rng.pick(Styles);
    const std::string entry = entryNames.make(family + style + " (TrueType)");
    const std::string file = build.sharedFileNames.make(slugOf(family + style) + ".ttf");
    const bool bare = rng.chance(70);
    if (broken[i]) {
      const std::string path = bare ? "C:\\WINDOWS\\FONTS\\" + file
                                    : build.removedProduct(rng).folder + "\\Fonts\\" + file;
      key.setString(entry, bare ? file : path);
      build.markMissing(path);
      build.expect(nameSortKey(entry), {"Font File", KeyText + entry, path, lowerAscii(path)});
      continue;
    }
    if (bare) {
      build.addFile(inWindows("Fonts\\" + file));
      key.setString(entry, file);
    } else {
      const std::string path = build.installedProduct(rng).folder + "\\Fonts\\" + file;
      build.addFile(path);
      key.setString(entry, path);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Start-menu order: HKCU ...\MenuOrder\Start Menu2\Programs and ...\Start Menu\Programs; a
// sub-key without sub-keys of its own is reported.

static std::string orderBytes(Random &rng) {
  // The binary "Order" record lists the menu's items; its contents do not matter here, only
  // that it is long enough to wrap over several lines.
  std::string bytes(static_cast<std::size_t>(rng.between(24, 160)), '\0');
  for (char &b : bytes)
    b = static_cast<char>(rng.below(256));
  return bytes;
}

void addMenuOrder(PrefixBuild &build) {
  static const std::string Base = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\";
  static const std::string Walks[2] = {"Start Menu2\\Programs", "Start Menu\\Programs"};
  Random rng = build.random(MenuOrderStream);
  UniqueNames names[2];
  for (const std::string &walk : Walks)
    build.user.addKey(Base + walk).setBinary("Order", orderBytes(rng));
  const std::size_t count = build.options.menuOrder;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const int walk = rng.chance(60) ? 0 : 1;
    const std::string wanted = rng.chance(30) ? rng.pick(MenuFolders) : build.installedProduct(rng).vendor;
    const std::string name = names[walk].make(wanted);
    const std::string path = Base + Walks[walk] + "\\" + name;
    build.user.addKey(path).setBinary("Order", orderBytes(rng));
    if (broken[i]) {
      build.expect(std::to_string(walk) + '\x01' + nameSortKey(name),
                   {"Start Menu", "HKEY_CURRENT_USER\\" + Base + Walks[walk] + "\\" + name, name,
                    "{null value}"});
      continue;
    }
    // A menu folder that holds further folders is still in use.
    const int children = static_cast<int>(rng.between(1, 3));
    for (int c = 0; c < children; ++c) {
      HiveKey &child = build.user.addKey(path + "\\" + build.installedProduct(rng).name + " " + std::to_string(c + 1));
      if (rng.chance(70))
        child.setBinary("Order", orderBytes(rng));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Shared libraries: values of SharedDlls named by a library's full path, data a use count.

void addSharedDlls(PrefixBuild &build) {
  const std::string KeyText =
      build.keyText("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\");
  Random rng = build.random(SharedDllsStream);
  HiveKey &key = build.machine.addKey(build.machinePath("Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls"));
  UniqueNames paths;
  const std::size_t count = build.options.sharedDlls;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  static const char *const Suffixes[] = {"", "core", "rt", "ui", "net", "img", "res", "32"};
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned uses = static_cast<unsigned>(rng.between(1, 6));
    if (broken[i]) {
      const Product &product = build.removedProduct(rng);
      const std::string path = paths.make(product.folder + "\\" + product.slug + rng.pick(Suffixes) + ".dll");
      key.setDword(path, uses);
      build.markMissing(path);
      build.expect(nameSortKey(path), {"Shared DLLs", KeyText + path, path, lowerAscii(path)});
      continue;
    }
    const Product &product = build.installedProduct(rng);
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    std::string path;
    if (roll < 60)
      path = paths.make(product.folder + "\\" + product.slug + rng.pick(Suffixes) + ".dll");
    else if (roll < 85)
      path = paths.make(std::string(build.programFilesDir()) + "\\Common Files\\" + product.vendor + "\\" +
                        product.slug + rng.pick(Suffixes) + ".dll");
    else
      path = paths.make(inSystem(product.slug + rng.pick(Suffixes)) + ".ocx");
    build.addFile(path);
    key.setDword(path, uses);
  }
}

// ---------------------------------------------------------------------------------------------
// Network shares: values of lanmanserver\Shares; only two-character names (C$) are examined, and
// one is broken when its drive does not exist.

void addShares(PrefixBuild &build) {
  static const std::string KeyText =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\lanmanserver\\Shares\\";
  // Drive letters the prefix does not map (it maps C: and Z:), the rarest first.
  static constexpr char FreeLetters[] = "QRSTUVWXYPONMLKJIHGFEDBA";
  static const char *const IntactNames[] = {"C$", "Z$", "ADMIN$", "IPC$", "print$", "Public",
                                            "SharedDocs", "Scans", "Music", "Backups"};
  HiveKey &key = build.machine.addKey("System\\ControlSet001\\Services\\lanmanserver\\Shares");
  const std::size_t count = build.options.shares;
  const std::size_t brokenShares = std::min(build.brokenCount(count), sizeof FreeLetters - 1);
  const auto shareData = [&](const std::string &name, const std::string &path) {
    return std::vector<std::string>{"CSCFlags=0", "MaxUses=4294967295", "Path=" + path, "Permissions=0",
                                    "Remark=" + (name.ends_with("$") ? std::string("Default share") : name),
                                    "Type=0"};
  };
  for (std::size_t i = 0; i < brokenShares; ++i) {
    const std::string name = std::string(1, FreeLetters[i]) + "$";
    const std::string root = std::string(1, FreeLetters[i]) + ":\\";
    key.setMultiString(name, shareData(name, root));
    build.expect(nameSortKey(name),
                 {"Shared Folder", KeyText + name, name, lowerAscii(root)});
  }
  for (std::size_t i = 0; i < count - brokenShares; ++i) {
    std::string name;
    if (i < std::size(IntactNames))
      name = IntactNames[i];
    else
      name = "Share" + std::to_string(i + 1);
    std::string path = build.profileDir() + "\\" + name;
    if (name.size() == 2)
      path = name.substr(0, 1) + ":\\";
    else if (name == "ADMIN$")
      path = std::string(WindowsDir);
    else if (name == "IPC$")
      path.clear();
    else if (name == "print$")
      path = inSystem("spool\\drivers");
    key.setMultiString(name, shareData(name, path));
  }
}

// ---------------------------------------------------------------------------------------------
// Shell extensions: values of Shell Extensions\Approved named by a class identifier; broken when
// the class's in-process server file is missing.

void addShellExtensions(PrefixBuild &build) {
  const std::string Location =
      build.machinePath("Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved");
  const std::string KeyText = build.keyText(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved\\");
  Random rng = build.random(ShellExtensionsStream);
  HiveKey &approved = build.machine.addKey(Location);
  UniqueNames missingNames;
  const std::size_t count = build.options.shellExtensions;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::string clsid = rng.guid();
    const Product &owner = broken[i] ? build.removedProduct(rng) : build.installedProduct(rng);
    const std::string description = owner.name + " Shell Extension";
    approved.setString(clsid, description);
    if (!broken[i] && rng.chance(20))
      continue; // approved, but no class registered: not reported
    ClassSpec spec;
    spec.clsid = clsid;
    spec.name = description;
    FileRef ref;
    if (broken[i]) {
      ref = build.brokenRef(owner.folder + "\\" + missingNames.make(owner.slug + "shext.dll"),
                            rng.chance(70) ? RefStyle::Plain : RefStyle::ProgramFilesVariable);
      build.expect(nameSortKey(clsid), {"Shell Extensions", KeyText + clsid, ref.text, ref.guess});
    } else {
      ref = build.intactRef(owner.folder + "\\" + owner.slug + "shext.dll",
                            rng.chance(70) ? RefStyle::Plain : RefStyle::ProgramFilesVariable);
    }
    spec.servers.push_back({ServerKind::InprocServer32, ref, broken[i], "Apartment"});
    build.addClass(spec);
    if (rng.chance(50))
      build.classesKey("*\\shellex\\ContextMenuHandlers\\" + camelName(owner.name))
          .setString("", clsid);
  }
}

// ---------------------------------------------------------------------------------------------
// Event sounds: HKCU AppEvents\Schemes\Apps\<application>\<event>\.Current and .Default.

void addSoundEvents(PrefixBuild &build) {
  static const std::string Apps = "AppEvents\\Schemes\\Apps";
  static const std::string KeyText = "HKEY_CURRENT_USER\\AppEvents\\Schemes\\Apps\\";
  static const char *const Schemes[2] = {".Current", ".Default"};
  Random rng = build.random(SoundsStream);
  build.user.addKey("AppEvents\\Schemes").setString("", ".Default");
  build.user.addKey("AppEvents\\Schemes\\Names\\.Default").setString("", "Windows Default");
  const std::size_t count = build.options.soundEvents;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));

  // Applications hold up to eight events each; the first two are the system's own.
  std::vector<std::string> apps = {".Default", "Explorer"};
  UniqueNames appNames;
  appNames.reserve(".Default");
  appNames.reserve("Explorer");
  while (apps.size() * 8 < count)
    apps.push_back(appNames.make(camelName(build.installedProduct(rng).name)));
  for (const std::string &app : apps)
    build.user.addKey(Apps + "\\" + app).setString("", app == ".Default" ? "Windows" : app);
  // An application without events is passed over.
  build.user.addKey(Apps + "\\" + appNames.make("Idle")).setString("", "Idle");
  std::vector<UniqueNames> eventNames(apps.size());

  const std::string media = inWindows("Media\\");
  const auto intactSound = [&]() -> FileRef {
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    if (roll < 30)
      return {"", "", false};
    const std::string file = media + slugOf(rng.pick(SoundEvents)) + ".wav";
    return build.intactRef(file, roll < 70 ? RefStyle::Plain : RefStyle::SystemRootVariable);
  };
  const auto brokenSound = [&]() -> FileRef {
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    if (roll < 50) {
      const Product &product = build.removedProduct(rng);
      return build.brokenRef(product.folder + "\\Sounds\\" + build.sharedFileNames.make(product.slug + ".wav"),
                             RefStyle::Plain);
    }
    const std::string file = media + build.sharedFileNames.make("gone" + slugOf(rng.pick(SoundEvents)) + ".wav");
    return build.brokenRef(file, roll < 80 ? RefStyle::SystemRootVariable : RefStyle::Plain);
  };

  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t appIndex = i % apps.size();
    const std::string &app = apps[appIndex];
    const std::string event = eventNames[appIndex].make(rng.pick(SoundEvents));
    const std::string eventPath = Apps + "\\" + app + "\\" + event;
    build.user.addKey("AppEvents\\EventLabels\\" + event).setString("", event);
    build.user.addKey(eventPath);
    const unsigned which = static_cast<unsigned>(rng.below(100));
    const bool brokenScheme[2] = {broken[i] && which < 80, broken[i] && which >= 50};
    for (int s = 0; s < 2; ++s) {
      const FileRef ref = brokenScheme[s] ? brokenSound() : intactSound();
      HiveKey &key = build.user.addKey(eventPath + "\\" + Schemes[s]);
      if (ref.expandable)
        key.setExpandString("", ref.text);
      else
        key.setString("", ref.text);
      if (brokenScheme[s])
        build.expect(pathSortKey(app + "\\" + event) + '\x01' + static_cast<char>('0' + s),
                     {"Sound AppEvent", KeyText + app + "\\" + event + "\\" + Schemes[s], ref.text,
                      ref.guess});
    }
    // Schemes other than .Current and .Default are not examined, broken or not.
    if (!broken[i] && rng.chance(10))
      build.user.addKey(eventPath + "\\.Modified").setString("", brokenSound().text);
  }
}

// ---------------------------------------------------------------------------------------------
// Uninstall entries: HKLM ...\Uninstall\<product>, value UninstallString.

void addUninstallEntries(PrefixBuild &build) {
  const std::string Location = build.machinePath("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  const std::string KeyText =
      build.keyText("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
  Random rng = build.random(UninstallStream);
  build.machine.addKey(Location);
  UniqueNames names;
  const std::size_t count = build.options.uninstall;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    const Product &product = broken[i] ? build.removedProduct(rng) : build.installedProduct(rng);
    const bool msi = rng.chance(40);
    const std::string guid = rng.guid();
    const std::string name = msi ? guid : names.make(product.vendor + " " + product.name);
    HiveKey &key = build.machine.addKey(Location + "\\" + name);
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    std::string displayName = product.vendor + " " + product.name;
    if (rng.chance(3))
      displayName = rng.pick(AccentedProductNames);
    if (roll >= 3)
      key.setString("DisplayName", displayName);
    key.setString("DisplayVersion", std::to_string(rng.between(1, 12)) + "." + std::to_string(rng.between(0, 9)) +
                                        "." + std::to_string(rng.between(100, 4000)));
    key.setString("Publisher", product.vendor);
    key.setString("InstallLocation", product.folder);
    key.setDword("EstimatedSize", static_cast<std::uint32_t>(rng.between(200, 900000)));
    key.setString("InstallDate", std::to_string(rng.between(2001, 2005)) + "0" + std::to_string(rng.between(1, 9)) +
                                     std::to_string(rng.between(10, 28)));
    if (msi) {
      key.setDword("NoModify", 1);
      key.setDword("WindowsInstaller", 1);
    }

    if (broken[i]) {
      FileRef ref;
      const std::string uninstaller = product.folder + "\\" + (rng.chance(50) ? "uninst.exe" : "unins000.exe");
      if (roll < 50)
        ref = build.brokenRef(uninstaller, RefStyle::Quoted);
      else if (roll < 75)
        ref = build.brokenRef(uninstaller, RefStyle::Plain);
      else if (roll < 95)
        ref = build.brokenRef(uninstaller, RefStyle::QuotedSwitch);
      else
        ref = build.brokenRef(uninstaller, RefStyle::NetworkPath);
      key.setString("UninstallString", ref.text);
      build.expect(nameSortKey(name), {"Uninstall", KeyText + name + "\\UninstallString", ref.text, ref.guess});
      continue;
    }
    if (msi) {
      // Found in the system folder by the path guessing.
      build.addFile(inSystem("msiexec.exe"));
      key.setExpandString("UninstallString", "MsiExec.exe /X" + guid);
      key.setString("ModifyPath", "MsiExec.exe /I" + guid);
    } else if (roll < 10) {
      build.addFile(inSystem("rundll32.exe"));
      key.setString("UninstallString", "RunDll32 advpack.dll,LaunchINFSection " +
                                           inWindows("INF\\" + product.slug + ".inf") + ",DefaultUninstall");
    } else if (roll < 95) {
      const std::string uninstaller = product.folder + "\\uninst.exe";
      key.setString("UninstallString",
                    build.intactRef(uninstaller, rng.chance(50) ? RefStyle::Quoted : RefStyle::QuotedSwitch).text);
    }
    // Otherwise no UninstallString: empty text is never broken.
  }
}

// ---------------------------------------------------------------------------------------------
// File extensions: HKCU ...\Explorer\FileExts\.ext, broken when HKCR has no .ext key.

void addFileExts(PrefixBuild &build) {
  static const std::string Location = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
  static const std::string KeyText =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
  Random rng = build.random(FileExtsStream);
  build.user.addKey(Location);
  const std::size_t count = build.options.fileExts;
  const std::vector<bool> broken = rng.choose(count, build.brokenCount(count));
  for (std::size_t i = 0; i < count; ++i) {
    std::string wanted = ".";
    const int length = static_cast<int>(rng.between(3, 4));
    for (int c = 0; c < length; ++c)
      wanted += static_cast<char>('a' + rng.below(26));
    const std::string ext = build.classRootNames.make(wanted);
    const Product &product = build.installedProduct(rng);
    const std::string program = camelName(product.name) + ".exe";

    const std::string path = Location + "\\" + ext;
    build.user.addKey(path);
    if (rng.chance(70))
      build.user.addKey(path + "\\OpenWithList").setString("a", program).setString("MRUList", "a");
    const std::string progId = build.classRootNames.make(camelName(product.vendor) + "." + ext.substr(1) + "file");
    if (rng.chance(50))
      build.user.addKey(path + "\\OpenWithProgids").setRaw(progId, platform::regtype::None, "");

    if (broken[i]) {
      build.expect(nameSortKey(ext), {"File Extensions", KeyText + ext, "", ""});
      continue;
    }
    // Whatever the class-root entry holds, its existence is what counts.
    HiveKey &extKey = build.classesKey(ext);
    if (rng.chance(85)) {
      extKey.setString("", progId);
      build.classesKey(progId).setString("", product.name + " " + ext.substr(1) + " file");
      const std::string exe = product.folder + "\\" + product.slug + ".exe";
      build.addFile(exe);
      build.classesKey(progId + "\\shell\\open\\command").setString("", "\"" + exe + "\" \"%1\"");
    }
  }
}

} // namespace tw::generator::detail
