// tidewell-regedit: the registry editor that backup and restore start, working on the
// registry files of a Wine prefix without running Wine.

#include "cli/tidewell-regedit/RegEditCommand.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"

#include <iostream>

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

  platform::PrefixOpenResult opened;
  std::unique_ptr<platform::Machine> machine =
      platform::openMachine("", opened);
  if (!machine) {
    std::cerr << "tidewell-regedit: " << opened.description() << '\n';
    return 1;
  }
  env.registry = &machine->registry();
  env.readOnlyReason = opened.readOnlyReason;
  platform::FileSystem &files = machine->files();
  env.hostPathOf = [&files](std::string_view path) {
    return files.hostPath(path, /*mustExist=*/false);
  };
  return regedit::runRegEditCommand(command, env);
}
