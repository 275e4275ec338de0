#include "CliRun.h"

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace tw::test {

std::vector<std::string> CliRun::lines() const {
  std::vector<std::string> result;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

CliRun runCommandLine(const std::string &command) {
  CliRun run;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

} // namespace tw::test
