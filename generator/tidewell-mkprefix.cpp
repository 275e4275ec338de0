// tidewell-mkprefix: makes a Wine prefix for tests, benchmarks and the demo.

#include "generator/CommandLine.h"
#include "generator/PrefixGenerator.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  using namespace tw::generator;
  const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
  case CommandLine::Action::ShowHelp:
    std::fputs(usageText().c_str(), stdout);
    return 0;
  case CommandLine::Action::Error:
    std::fprintf(stderr, "tidewell-mkprefix: %s\n(tidewell-mkprefix --help lists the options)\n",
                 line.error.c_str());
    return 2;
  case CommandLine::Action::Generate:
    break;
  }
  const auto start = std::chrono::steady_clock::now();
  const GenerateResult result = generatePrefix(line.dir, line.options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result) {
    std::fprintf(stderr, "tidewell-mkprefix: %s\n", result.description().c_str());
    return 1;
  }
  std::printf("%s, in %.2f s\n", result.description().c_str(), seconds);
  return 0;
}
