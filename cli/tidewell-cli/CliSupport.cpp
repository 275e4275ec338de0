#include "CliSupport.h"

#include "platform/Machine.h"
#include "registry/XmlStore.h"
#include "platform/OpenMachine.h"
#include "scan/IgnoreIndex.h"
#include "scan/ListScanSession.h"
#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <ostream>

namespace tw::cli {

OptionMatch matchValueOption(std::span<const std::string_view> args, std::size_t &i,
                             std::string_view name, std::string &value) {
  std::string_view arg = args[i];
  if (!arg.starts_with(name)) return OptionMatch::NoMatch;
  std::string_view rest = arg.substr(name.size());
  if (rest.starts_with("=")) {
    value = std::string(rest.substr(1));
    return OptionMatch::Taken;
  }
  if (!rest.empty()) return OptionMatch::NoMatch;
  if (i + 1 >= args.size()) return OptionMatch::MissingValue;
  value = std::string(args[++i]);
  return OptionMatch::Taken;
}

bool openMachine(const std::string &prefixDir, std::ostream &err) {
  platform::PrefixOpenResult result;
  std::unique_ptr<platform::Machine> machine = platform::openMachine(prefixDir, result);
  if (!machine) {
    err << "tidewell-cli: " << result.description() << "\n";
    return false;
  }
  if (result.readOnly()) err << "tidewell-cli: note: " << result.readOnlyReason << "\n";
  platform::installMachine(std::move(machine));
  return true;
}

// The ignore list is only read here, so a damaged file is reported and left where it is, and
// the command fails rather than scanning without the entries the user wanted hidden.
std::optional<std::shared_ptr<const scan::IgnoreIndex>> loadIgnoreList(std::ostream &err) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path file = fs::absolute("ignore.xml", error);
  const std::string path = error ? std::string("ignore.xml") : file.string();
  pugi::xml_document document;
  const XmlLoadResult loaded = readXmlDocument(document, path, IgnoreListRootName);
  if (loaded.status == XmlLoadResult::Status::Created) return std::make_shared<const scan::IgnoreIndex>();
  if (!loaded) {
    err << "tidewell-cli: " << loaded.problemDescription()
        << "; it cannot be used as the ignore list and was left as it is\n";
    return std::nullopt;
  }
  return std::make_shared<const scan::IgnoreIndex>(scan::IgnoreIndex::fromXml(document, path));
}

std::optional<std::vector<int>> parseGroupList(std::string_view text) {
  std::vector<int> groups;
  if (text.empty()) return groups;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view part = text.substr(0, comma);
    int index = -1;
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), index);
    if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
        !scan::isScanGroupIndex(index))
      return std::nullopt;
    groups.push_back(index);
    if (comma == std::string_view::npos) return groups;
    text.remove_prefix(comma + 1);
  }
}

// Raised by Ctrl-C; lock-free, so the signal handler may set it.
static std::atomic<bool> interruptRequested{false};

extern "C" void onInterrupt(int) {
  interruptRequested.store(true);
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

namespace {
/// The list session, also stopped by Ctrl-C.
class CliScanSession : public scan::ListScanSession {
public:
  using ListScanSession::ListScanSession;
  bool stopRequested() const override {
    return ListScanSession::stopRequested() || interruptRequested.load();
  }
};
} // namespace

ScanOutcome runScan(const std::optional<std::vector<int>> &checkedGroups,
                    std::shared_ptr<const scan::IgnoreIndex> ignoreList,
                    const std::function<void(const std::string &)> &progress) {
  ScanOutcome outcome;
  scan::rebuildScanGroupList(outcome.groups);
  if (checkedGroups) {
    outcome.groups.setAllChecked(false);
    for (int index : *checkedGroups) outcome.groups.setChecked(index, true);
  }
  CliScanSession session(outcome.groups, outcome.errors);
  session.setIgnoreList(std::move(ignoreList));
  if (progress) session.setStatusListener(progress);

  interruptRequested.store(false);
  auto previous = std::signal(SIGINT, onInterrupt);
  outcome.result = scan::runScanBody(session);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  return outcome;
}

} // namespace tw::cli
