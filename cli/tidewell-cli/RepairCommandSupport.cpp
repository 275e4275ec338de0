#include "RepairCommandSupport.h"

#include "CliSupport.h"
#include "Command.h"

#include "platform/FileIdentity.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"
#include "registry/PrefixLock.h"
#include "registry/ProgramFiles.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <ostream>

namespace tw::cli {

namespace fs = std::filesystem;

std::string undoStorePathOfMachine(std::ostream &err) {
  const ProgramFiles files = programFilesOf(platform::machine());
  if (files.undoStorePath.empty())
    err << "tidewell-cli: the program folder " << files.programFolder << " cannot be reached\n";
  return files.undoStorePath;
}

std::string ignoreListPathHere() {
  std::error_code error;
  const fs::path file = fs::absolute("ignore.xml", error);
  return error ? std::string("ignore.xml") : file.string();
}

bool readDocumentFile(pugi::xml_document &document, const std::string &path, const char *rootName,
                      std::ostream &err) {
  const XmlLoadResult loaded = readXmlDocument(document, path, rootName);
  if (loaded) return true;
  err << "tidewell-cli: " << loaded.problemDescription() << "; the file was left as it is\n";
  return false;
}

bool registryIsWritable(std::ostream &err) {
  const std::string refusal = registryReadOnlyReason();
  if (refusal.empty()) return true;
  err << "tidewell-cli: the registry cannot be changed: " << refusal << "\n";
  return false;
}

void writeTsvLine(std::ostream &out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) out << '\t';
    first = false;
    for (char c : field) out << (c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
  }
  out << '\n';
}

std::optional<std::vector<int>> parseRowPositions(std::span<const std::string_view> args,
                                                  int rowCount, std::string_view what,
                                                  std::ostream &err) {
  std::vector<int> positions;
  for (std::string_view arg : args) {
    int position = -1;
    auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), position);
    if (arg.empty() || error != std::errc() || end != arg.data() + arg.size() || position < 0) {
      err << "tidewell-cli: '" << arg << "' is not a position (0 is the first " << what << ")\n";
      return std::nullopt;
    }
    if (position >= rowCount) {
      err << "tidewell-cli: there is no " << what << " " << position << " (there are " << rowCount
          << ")\n";
      return std::nullopt;
    }
    positions.push_back(position);
  }
  return positions;
}

bool parsePrefixOnly(const CommandContext &context, std::string_view command,
                     std::string_view usage, std::string &prefixDir, bool &helpWanted,
                     std::vector<std::string_view> *operands,
                     std::initializer_list<std::string_view> flags) {
  helpWanted = false;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string_view arg = context.args[i];
    if (arg == "--help" || arg == "-h") {
      helpWanted = true;
      return true;
    }
    const OptionMatch match = matchValueOption(context.args, i, "--prefix", prefixDir);
    if (match == OptionMatch::Taken) continue;
    const bool isFlag = std::find(flags.begin(), flags.end(), arg) != flags.end();
    if (match == OptionMatch::NoMatch && operands && (isFlag || !arg.starts_with("-"))) {
      operands->push_back(arg);
      continue;
    }
    if (match == OptionMatch::MissingValue)
      context.err << "tidewell-cli " << command << ": " << arg << " needs a value\n";
    else
      context.err << "tidewell-cli " << command << ": unknown argument '" << arg << "'\n";
    context.err << usage;
    return false;
  }
  return true;
}

bool parseListActionLine(const CommandContext &context, std::string_view command, std::string_view usage,
                         std::initializer_list<std::string_view> actions, ListActionLine &line) {
  std::vector<std::string_view> operands;
  if (!parsePrefixOnly(context, command, usage, line.prefixDir, line.helpWanted, &operands, {"--json"}))
    return false;
  if (line.helpWanted) return true;
  line.json = std::erase(operands, std::string_view("--json")) > 0;
  line.action = operands.empty() ? std::string_view() : operands[0];
  const bool isAction = std::find(actions.begin(), actions.end(), line.action) != actions.end();
  const bool wellFormed = (line.action == "list" && operands.size() == 1) ||
                          (isAction && operands.size() >= 2 && !line.json);
  if (wellFormed) {
    line.positions.assign(operands.begin() + 1, operands.end());
    return true;
  }
  context.err << "tidewell-cli " << command << ": "
              << (line.action.empty() ? std::string("say what to do")
                                      : "wrong arguments for '" + std::string(line.action) + "'")
              << "\n"
              << usage;
  return false;
}

std::string readUndoStoreOfMachine(pugi::xml_document &undoStore, std::ostream &err,
                                   platform::FileIdentity *version) {
  std::string path = undoStorePathOfMachine(err);
  if (path.empty()) return {};
  // Taken before the text is read, so that a change in between makes the later save refuse.
  if (version) *version = platform::fileIdentityOf(path);
  if (!readDocumentFile(undoStore, path, UndoStoreRootName, err)) return {};
  return path;
}

int takePrefixLock(const CommandContext &context, std::string_view command, PrefixLock &lock) {
  lock = PrefixLock::take();
  if (lock) return ExitOk;
  context.err << "tidewell-cli " << command << ": " << lock.description() << "\n";
  return lock.isBusy() ? ExitBusy : ExitCannotOpen;
}

} // namespace tw::cli
