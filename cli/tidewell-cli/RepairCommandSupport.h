#pragma once
// What the commands of the repair pages (fix, history, restore, clear, ignore) share: finding
// and reading the undo store and the ignore list without changing them, and printing rows.

#include <pugixml.hpp>

#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw {
class PrefixLock;
}
namespace tw::platform {
struct FileIdentity;
}

namespace tw::cli {

struct CommandContext;

/// The host path of Backup.xml in the program folder of the installed machine; empty (with the
/// reason written to `err`) when that folder cannot be reached.
std::string undoStorePathOfMachine(std::ostream &err);

/// The host path of ignore.xml in the current folder.
std::string ignoreListPathHere();

/// Reads the document kept in `path` into `document`: a new one with just `rootName` when there
/// is no such file. A file that cannot be read or parsed is reported on `err`, naming the file
/// and the position, and left as it is; the result is then false.
bool readDocumentFile(pugi::xml_document &document, const std::string &path, const char *rootName,
                      std::ostream &err);

/// Reads the undo store of the installed machine into `undoStore` and returns its host path;
/// empty, with the reason on `err`, when it cannot be found or read (the file is left as it is).
/// `version`, when given, receives the identity of the file that was read.
std::string readUndoStoreOfMachine(pugi::xml_document &undoStore, std::ostream &err,
                                   platform::FileIdentity *version = nullptr);

/// Takes the installed machine's PrefixLock for the whole command, so that no other program
/// changes the registry or the undo store between reading and saving them. Returns ExitOk when
/// held; otherwise says why on the error stream and returns the exit status (ExitBusy while
/// another program works on the prefix).
int takePrefixLock(const CommandContext &context, std::string_view command, PrefixLock &lock);

/// True when the installed machine's registry may be changed; otherwise says why on `err`.
bool registryIsWritable(std::ostream &err);

/// Writes one line of tab-separated fields (a tab or line break inside a field becomes a space).
void writeTsvLine(std::ostream &out, std::initializer_list<std::string_view> fields);

/// Parses row positions (0 = first) below `rowCount`. Nothing, with the reason on `err`, when
/// one is not a number or names no row.
std::optional<std::vector<int>> parseRowPositions(std::span<const std::string_view> args,
                                                  int rowCount, std::string_view what,
                                                  std::ostream &err);

/// The command line of a list page's command: "list [--json]" or "ACTION N..." (positions of
/// 'list', 0 the first), with --prefix DIR and --help anywhere.
struct ListActionLine {
  std::string prefixDir;
  std::string_view action;
  bool json = false;
  bool helpWanted = false;
  std::vector<std::string_view> positions;
};

/// Parses the command line of `command`, whose actions besides "list" are `actions`. False, with
/// the usage on the error stream, for anything else (--json goes with list only).
bool parseListActionLine(const CommandContext &context, std::string_view command, std::string_view usage,
                         std::initializer_list<std::string_view> actions, ListActionLine &line);

/// Parses a command line whose only option is --prefix DIR. With `operands`, the arguments that
/// do not begin with "-", and those in `flags`, are collected there in order for the command.
/// Sets `helpWanted` for --help. False, with the usage on the error stream, for anything else.
bool parsePrefixOnly(const CommandContext &context, std::string_view command,
                     std::string_view usage, std::string &prefixDir, bool &helpWanted,
                     std::vector<std::string_view> *operands = nullptr,
                     std::initializer_list<std::string_view> flags = {});

} // namespace tw::cli
