#pragma once
// Running tidewell-cli from a test as a user runs it from a shell, keeping what it prints.

#include <string>
#include <vector>

namespace tw::test {

struct CliRun {
  int status = -1; ///< the exit status, -1 when the program did not exit normally
  std::string out; ///< the standard output
  /// The output's lines, without their line breaks.
  std::vector<std::string> lines() const;
};

/// Runs the shell command line `command` and keeps its standard output and exit status.
CliRun runCommandLine(const std::string &command);

} // namespace tw::test
