// tidewell-regedit: the registry editor that backup and restore start, working on the
// registry files of a Wine prefix without running Wine.

#include "cli/tidewell-regedit/RegEditCommand.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <vector>

int main(int argc, char **argv) {
  using namespace tw;
  const std::vector<std::string> args(argv + 1, argv + argc);
  regedit::RegEditCommand command;
  if (auto problem = regedit::parseRegEditCommand(args, command)) {
    std::cerr << "tidewell-regedit: " << *problem << "\n\n" << regedit::regEditUsage();
    return 2;
  }
  regedit::RegEditEnvironment env;
  env.in = &std::cin;
  env.out = &std::cout;
  env.err = &std::cerr;
  if (command.action == regedit::RegEditCommand::Action::Help)
    return regedit::runRegEditCommand(command, env);

  // The prefix is opened for the roots the run names, so an export of HKEY_CURRENT_USER
  // never reads the machine's registry file; paths of drives need no registry at all.
  std::unique_ptr<platform::Machine> machine;
  std::vector<platform::RegKey> loaded;
  bool withRegistry = false;
  auto open = [&](const std::vector<platform::RegKey> &roots) -> std::optional<std::string> {
    platform::MachineOptions options;
    options.registryRoots = roots;
    platform::PrefixOpenResult opened;
    std::unique_ptr<platform::Machine> fresh = platform::openMachine("", opened, options);
    if (!fresh) return opened.description();
    machine = std::move(fresh);
    env.registry = &machine->registry();
    env.readOnlyReason = opened.readOnlyReason;
    return std::nullopt;
  };
  env.loadRegistry = [&](const std::vector<platform::RegKey> &roots) -> std::optional<std::string> {
    const bool covered = withRegistry && std::all_of(roots.begin(), roots.end(), [&](platform::RegKey root) {
      return std::find(loaded.begin(), loaded.end(), root) != loaded.end();
    });
    if (covered) return std::nullopt;
    std::vector<platform::RegKey> wanted = loaded;
    for (platform::RegKey root : roots)
      if (std::find(wanted.begin(), wanted.end(), root) == wanted.end()) wanted.push_back(root);
    if (auto problem = open(wanted)) return problem;
    loaded = std::move(wanted);
    withRegistry = true;
    return std::nullopt;
  };
  std::optional<std::string> unopened;
  env.hostPathOf = [&](std::string_view path) -> std::optional<std::string> {
    if (!machine && !unopened) unopened = open({});
    if (!machine) {
      std::cerr << "tidewell-regedit: " << *unopened << '\n';
      return std::nullopt;
    }
    return machine->files().hostPath(path, /*mustExist=*/false);
  };
  return regedit::runRegEditCommand(command, env);
}
