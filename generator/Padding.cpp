// Bulk for the load and save benchmarks: application settings, COM interfaces, type libraries
// and services, the kinds of keys that make up most of a real system.reg. None of them lies in a
// location the scanners or the pages read, so padding changes no expected row.

#include "generator/PrefixBuild.h"

#include <string>

namespace tw::generator::detail {

static constexpr std::uint64_t PaddingStream = 40;

static std::string randomBytes(Random &rng, std::size_t count) {
  std::string bytes(count, '\0');
  for (char &b : bytes)
    b = static_cast<char>(rng.below(256));
  return bytes;
}

static std::string version(Random &rng) {
  return std::to_string(rng.between(1, 12)) + "." + std::to_string(rng.between(0, 9));
}

void addPadding(PrefixBuild &build, std::uint64_t currentBytes, std::uint64_t targetBytes) {
  static const char *const Sections[] = {"Settings", "Options", "Preferences", "Window", "Toolbars", "Plugins"};
  static const char *const Services[] = {"Svc", "Agent", "Monitor", "Updater", "Driver"};
  Random rng = build.random(PaddingStream);
  std::uint64_t total = currentBytes;
  std::uint64_t serial = 0;
  // Every padding key name carries a serial number, so no two padding keys merge and each adds
  // its whole block to the file.
  const auto account = [&](const HiveKey &key) { total += HiveImage::blockSize(key); };
  while (total < targetBytes) {
    ++serial;
    const std::string number = std::to_string(serial);
    const unsigned roll = static_cast<unsigned>(rng.below(100));
    const Product &product = build.products()[rng.below(build.products().size())];
    if (roll < 45) {
      const std::string base = "Software\\" + product.vendor + "\\" + product.name + "\\" + version(rng) + "\\" +
                               rng.pick(Sections) + " " + number;
      HiveKey &key = build.machine.addKey(base);
      key.setString("InstallPath", product.folder)
          .setString("Version", version(rng) + "." + std::to_string(rng.between(100, 9999)))
          .setDword("Language", 0x409)
          .setDword("Flags", static_cast<std::uint32_t>(rng.next()))
          .setBinary("WindowPlacement", randomBytes(rng, 44))
          .setMultiString("RecentFolders", {product.folder + "\\Samples", build.profileDir() + "\\Documents"});
      account(key);
    } else if (roll < 65) {
      const std::string base = "Software\\" + product.vendor + "\\" + product.name + "\\Recent File List " + number;
      HiveKey &key = build.machine.addKey(base);
      for (int i = 1; i <= 8; ++i)
        key.setString("File" + std::to_string(i),
                      build.profileDir() + "\\Documents\\" + product.slug + "-" + number + "-" + std::to_string(i) + ".dat");
      account(key);
    } else if (roll < 85) {
      const std::string iid = rng.guid();
      HiveKey &key = build.classesKey("Interface\\" + iid);
      key.setString("", "I" + product.slug + number);
      account(key);
      HiveKey &stub = build.classesKey("Interface\\" + iid + "\\ProxyStubClsid32");
      stub.setString("", "{00020424-0000-0000-C000-000000000046}");
      account(stub);
      HiveKey &methods = build.classesKey("Interface\\" + iid + "\\NumMethods");
      methods.setString("", std::to_string(rng.between(3, 40)));
      account(methods);
    } else if (roll < 93) {
      const std::string lib = rng.guid();
      HiveKey &key = build.classesKey("TypeLib\\" + lib + "\\1.0");
      key.setString("", product.name + " Type Library");
      account(key);
      HiveKey &win32 = build.classesKey("TypeLib\\" + lib + "\\1.0\\0\\win32");
      win32.setString("", product.folder + "\\" + product.slug + number + ".tlb");
      account(win32);
    } else {
      const std::string name = product.vendor.substr(0, 4) + product.slug + rng.pick(Services) + number;
      HiveKey &key = build.machine.addKey("System\\ControlSet001\\Services\\" + name);
      key.setDword("Type", 0x10)
          .setDword("Start", static_cast<std::uint32_t>(rng.between(2, 4)))
          .setDword("ErrorControl", 1)
          .setExpandString("ImagePath", "\"" + product.folder + "\\" + product.slug + "svc.exe\"")
          .setString("DisplayName", product.name + " Service")
          .setString("ObjectName", "LocalSystem");
      account(key);
    }
  }
}

} // namespace tw::generator::detail
