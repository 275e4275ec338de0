#pragma once
// Scratch folders and small machines for the tests, on Linux and as Windows programs alike.
//
// A scratch machine stands for a small Windows system in a folder of the test's own: its drive
// C: is the folder's drive_c, its registry whatever the test hands in (an in-memory one, mostly).
// On Linux the folder is a Wine prefix (dosdevices/c: links to drive_c) opened by the Wine
// backend's files, system facts and processes; as a Windows program the same folder is reached
// through the system's own calls, with C:\ mapped onto drive_c (tests/windows/ScratchMachine.cpp).

#include "platform/Machine.h"
#include "platform/RegistryApi.h"

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#ifndef _WIN32
#include "platform/WinePrefix.h"
#endif

namespace tw::test {

/// A new, empty folder below the system's temporary folder, named by `tag` and a random part
/// (Wine gives a program the same process id run after run, so no id names it).
inline std::filesystem::path makeScratchFolder(std::string_view tag) {
  namespace fs = std::filesystem;
  std::random_device random;
  for (;;) {
    fs::path folder = fs::temp_directory_path() /
                      ("tw-" + std::string(tag) + "-" + std::to_string(random()) + std::to_string(random()));
    std::error_code error;
    if (fs::create_directories(folder, error)) return folder;
    if (error) throw std::filesystem::filesystem_error("cannot make a scratch folder", folder, error);
  }
}

#ifdef _WIN32
std::unique_ptr<platform::Machine> makeScratchMachine(const std::filesystem::path &folder,
                                                      std::unique_ptr<platform::RegistryApi> registry);
#else
/// A machine whose drive C: is `folder`/drive_c (made when missing) and whose registry is
/// `registry`.
inline std::unique_ptr<platform::Machine> makeScratchMachine(const std::filesystem::path &folder,
                                                             std::unique_ptr<platform::RegistryApi> registry) {
  namespace fs = std::filesystem;
  fs::create_directories(folder / "drive_c");
  fs::create_directories(folder / "dosdevices");
  if (!fs::exists(fs::symlink_status(folder / "dosdevices" / "c:")))
    fs::create_directory_symlink("../drive_c", folder / "dosdevices" / "c:");
  return platform::makeMachine(folder.string(), std::move(registry));
}
#endif

} // namespace tw::test
