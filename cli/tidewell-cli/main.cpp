// tidewell-cli: the program's work without a window. A thin shell: it picks the command and
// hands it the rest of the command line.

#include "Command.h"

#include <algorithm>
#include <iostream>
#include <string_view>
#include <vector>

using namespace tw::cli;

static void printUsage(std::ostream &out) {
  out << "usage: tidewell-cli COMMAND [OPTIONS]\n"
         "       tidewell-cli COMMAND --help\n\n"
         "commands:\n";
  for (const Command &command : commands())
    out << "  " << command.name << std::string(10 - std::min<std::size_t>(command.name.size(), 9), ' ')
        << command.summary << "\n";
}

int main(int argc, char **argv) {
  std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.empty()) {
    printUsage(std::cerr);
    return ExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    if (args[0] == "help" && args.size() > 1) {
      if (const Command *command = findCommand(args[1])) {
        command->printHelp(std::cout);
        return ExitOk;
      }
    }
    printUsage(std::cout);
    return ExitOk;
  }
  const Command *command = findCommand(args[0]);
  if (!command) {
    std::cerr << "tidewell-cli: unknown command '" << args[0] << "'\n";
    printUsage(std::cerr);
    return ExitUsage;
  }
  CommandContext context{std::span<const std::string_view>(args).subspan(1), std::cout, std::cerr};
  return command->run(context);
}
