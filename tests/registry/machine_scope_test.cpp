// Two machines open in one process: each action works on the machine it names, on its own
// thread, and the registry layer follows it.
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"
#include "registry/RegistryAccess.h"
#include "tests/support/ScratchMachine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace tw;

namespace {

// A prefix folder with drive C: and one file, and a registry in memory with one key.
struct SmallMachine {
  fs::path root;
  std::unique_ptr<platform::Machine> machine;

  SmallMachine(const std::string &name) {
    root = test::makeScratchFolder("scope-" + name);
    fs::create_directories(root / "drive_c" / name);
    std::ofstream(root / "drive_c" / name / (name + ".exe")) << "x";
    machine = test::makeScratchMachine(root, platform::makeMemoryRegistry());
    platform::RegKey key = 0;
    EXPECT_EQ(machine->registry().createKey(platform::HKEY_LOCAL_MACHINE, "Software\\" + name,
                                            platform::access::KeyAllAccess, key),
              platform::error::Success);
    machine->registry().closeKey(key);
  }
  ~SmallMachine() {
    machine.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

bool seesOwnMachine(const std::string &own, const std::string &other) {
  return RegKeyExists(platform::HKEY_LOCAL_MACHINE, "\\Software\\" + own) &&
         !RegKeyExists(platform::HKEY_LOCAL_MACHINE, "\\Software\\" + other) &&
         platform::machine().files().fileExists("C:\\" + own + "\\" + own + ".exe") &&
         !platform::machine().files().fileExists("C:\\" + other + "\\" + other + ".exe");
}

TEST(MachineScope, EachThreadWorksOnTheMachineItsActionNames) {
  SmallMachine first("First"), second("Second");
  bool firstOk = true, secondOk = true;
  auto work = [](platform::Machine &m, const std::string &own, const std::string &other, bool &ok) {
    platform::MachineScope scope(m);
    for (int round = 0; round < 2000 && ok; ++round) ok = seesOwnMachine(own, other);
  };
  std::thread a(work, std::ref(*first.machine), "First", "Second", std::ref(firstOk));
  std::thread b(work, std::ref(*second.machine), "Second", "First", std::ref(secondOk));
  a.join();
  b.join();
  EXPECT_TRUE(firstOk);
  EXPECT_TRUE(secondOk);
}

TEST(MachineScope, ScopesNestAndGiveBackTheOuterMachine) {
  SmallMachine first("Outer"), second("Inner");
  platform::MachineScope outer(*first.machine);
  EXPECT_EQ(&platform::machine(), first.machine.get());
  {
    platform::MachineScope inner(*second.machine);
    EXPECT_EQ(&platform::machine(), second.machine.get());
    EXPECT_TRUE(seesOwnMachine("Inner", "Outer"));
  }
  EXPECT_EQ(&platform::machine(), first.machine.get());
  EXPECT_TRUE(seesOwnMachine("Outer", "Inner"));
}

} // namespace
