#pragma once
// The command line of tidewell-mkprefix: DIR and options, parsed into GeneratorOptions.

#include "generator/PrefixGenerator.h"

#include <string>
#include <vector>

namespace tw::generator {

struct CommandLine {
  enum class Action { Generate, ShowHelp, Error };
  Action action = Action::Error;
  std::string dir;
  GeneratorOptions options;
  std::string error; ///< for Action::Error: what is wrong, naming the argument
};

/// Parses the arguments after the program name. "--demo" starts from the demo preset wherever
/// it stands; every other option overrides what came before it.
CommandLine parseCommandLine(const std::vector<std::string> &args);

/// The text printed for --help.
std::string usageText();

} // namespace tw::generator
