// The traces page's fixed actions and its registry settings: typed addresses, appending
// completion and the browser's shell folders.

#include "tools/uIE.h"

#include "lists/CheckableList.h"
#include "registry/RegistryAccess.h"

#include <array>

namespace tw::tools {

static constexpr std::array<TraceAction, TraceActionCount> TraceActions = {{
    {"Clear the Internet Explorer Typed Address History", "Yes",
     "Internet Explorer caches any URLs that are typed into the address bar. This may become a "
     "privacy issue on a shared computer, or a nuisance if there is a particular URL you want to "
     "remove without clearing the whole history.",
     false},
    {"Reverse Auto Complete Mode", "Yes",
     "This setting controls whether the automatic text completion (AutoComplete) feature of "
     "Windows Explorer appends the suggested text to the words as you are typing as well as "
     "showing a drop-down list of available values.",
     false},
    {"Cache", "No", "Cleanup cache file on your system", true},
    {"Cookies", "No", "Manage cookies on your system", false},
    {"Downloaded files", "No", "Cleanup downloaded files when you use the Internet Explorer", true},
    {"Favorites list", "Yes", "Favourites list", false},
    {"History of visited URLs", "Yes", "History of Visited URLs", true},
}};

std::span<const TraceAction> traceActions() { return TraceActions; }

void fillTraceActions(lists::CheckableList &actions) {
  std::vector<lists::Row> rows;
  for (const TraceAction &a : TraceActions) {
    lists::Row row;
    row.caption = a.action;
    row.subItems = {std::string(a.restartBrowser), std::string(a.description)};
    row.checked = a.checkedAtStart;
    rows.push_back(std::move(row));
  }
  actions.clear();
  actions.appendRows(std::move(rows));
}

std::vector<bool> checkedTraceActions(const lists::CheckableList &actions) {
  std::vector<bool> checked(TraceActionCount, false);
  for (int i = 0; i < TraceActionCount && i < actions.count(); ++i) checked[static_cast<std::size_t>(i)] = actions.row(i).checked;
  return checked;
}

static constexpr std::string_view TypedUrlsKey = "\\Software\\Microsoft\\Internet Explorer\\TypedURLs";
static constexpr std::string_view AutoCompleteKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete";
static constexpr std::string_view ShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void ClearTypedUrls() {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  if (!registry.OpenRegKey(TypedUrlsKey, /*canCreate=*/false)) return;
  for (const std::string &name : registry.ListValueNames()) registry.DeleteNamedValue(name);
}

void SetAppendCompletion(bool on) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  if (!registry.OpenRegKey(AutoCompleteKey, /*canCreate=*/true)) return;
  registry.WriteText("Append Completion", on ? "Yes" : "No");
}

// Read access is enough to know where the folders are, so that a registry that may only be read
// still shows what a cleanup would remove.
std::string GetShellFolder(std::string_view valueName) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  if (!registry.OpenRegKeyForRead(ShellFoldersKey)) return "\\";
  return registry.ReadText(valueName) + "\\";
}

} // namespace tw::tools
