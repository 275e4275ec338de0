#pragma once
// Starting a program as a child of the test, so that the test holds the process id of the
// program itself (not of a shell) and can kill it at the moment it chooses.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tw::test {

struct ChildOptions {
  /// The child's whole environment; nothing: this process's.
  std::optional<std::vector<std::string>> environment;
  /// The folder it starts in; empty: this process's.
  std::filesystem::path folder;
  /// The file its standard output goes to; empty: /dev/null.
  std::filesystem::path output;
};

/// Starts `program` (looked up on the PATH when it has no slash) with `args`. Its standard input
/// and standard error are /dev/null. Returns its process id, to be reaped by the caller.
pid_t startChild(const std::string &program, const std::vector<std::string> &args, const ChildOptions &options = {});

} // namespace tw::test
