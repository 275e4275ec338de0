#pragma once
// The commands of tidewell-cli. main() only picks a command by name and hands it the rest of
// the command line; each command lives in a file of its own and parses its own options.

#include <iosfwd>
#include <span>
#include <string_view>

namespace tw::cli {

/// Exit codes shared by every command.
inline constexpr int ExitOk = 0;
/// The machine (its registry or one of the program's files) could not be opened.
inline constexpr int ExitCannotOpen = 1;
/// The command line was wrong.
inline constexpr int ExitUsage = 2;
/// Another program is working on the prefix's registry and undo store; nothing was done.
inline constexpr int ExitBusy = 3;

/// What a command is given: its arguments (without the program and command names) and the
/// streams it writes to.
struct CommandContext {
  std::span<const std::string_view> args;
  std::ostream &out;
  std::ostream &err;
};

struct Command {
  std::string_view name;
  std::string_view synopsis; ///< the usage line after the program name
  std::string_view summary;  ///< one line for the command list
  int (*run)(const CommandContext &context);
  void (*printHelp)(std::ostream &out);
};

/// Every command, in the order `--help` lists them.
std::span<const Command> commands();

/// The command called `name`, or nullptr.
const Command *findCommand(std::string_view name);

// The commands, one file each.
int runScanCommand(const CommandContext &context);
void printScanHelp(std::ostream &out);
int runFixCommand(const CommandContext &context);
void printFixHelp(std::ostream &out);
int runHistoryCommand(const CommandContext &context);
void printHistoryHelp(std::ostream &out);
int runRestoreCommand(const CommandContext &context);
void printRestoreHelp(std::ostream &out);
int runClearCommand(const CommandContext &context);
void printClearHelp(std::ostream &out);
int runIgnoreCommand(const CommandContext &context);
void printIgnoreHelp(std::ostream &out);
int runBackupCommand(const CommandContext &context);
void printBackupHelp(std::ostream &out);
int runStartupCommand(const CommandContext &context);
void printStartupHelp(std::ostream &out);
int runUninstallCommand(const CommandContext &context);
void printUninstallHelp(std::ostream &out);
int runAddonsCommand(const CommandContext &context);
void printAddonsHelp(std::ostream &out);
int runTracesCommand(const CommandContext &context);
void printTracesHelp(std::ostream &out);

} // namespace tw::cli
