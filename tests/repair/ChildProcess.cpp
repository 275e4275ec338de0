#include "ChildProcess.h"

#include <fcntl.h>
#include <unistd.h>

namespace tw::test {

pid_t startChild(const std::string &program, const std::vector<std::string> &args, const ChildOptions &options) {
  // Everything the child needs is made before the fork: it only calls what is safe there.
  std::vector<std::string> strings = {program};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &text : strings) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = options.environment.value_or(std::vector<std::string>{});
  std::vector<char *> envp;
  for (std::string &text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);
  const std::string folder = options.folder.string();
  const std::string output = options.output.string();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDWR);
    const int out = output.empty() ? devNull : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(devNull, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    if (options.environment)
      execvpe(argv[0], argv.data(), envp.data());
    else
      execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

} // namespace tw::test
