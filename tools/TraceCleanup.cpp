// The cleanup of the traces page: the two registry actions, then the checked files, each deleted
// only while it still lies inside the folder it was found in.

#include "tools/uIE.h"

#include "lists/CheckableList.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "registry/RegistryAccess.h"

namespace tw::tools {

// Progress is reported this often; more often would cost the deletion more than it shows.
static constexpr int ProgressStep = 1000;

repair::ActionResult runTraceRegistryActions(const std::vector<bool> &checked) {
  repair::ActionResult result = repair::ActionResult::ok();
  auto isChecked = [&](TraceActionIndex action) {
    const auto index = static_cast<std::size_t>(action);
    return index < checked.size() && checked[index];
  };
  const bool typedUrls = isChecked(TraceActionIndex::TypedUrls);
  const bool appendCompletion = isChecked(TraceActionIndex::AppendCompletion);
  if (!typedUrls && !appendCompletion) return result;

  // The registry changes from here on, and is written at the end.
  try {
    if (typedUrls) ClearTypedUrls();
    if (appendCompletion) SetAppendCompletion(true);
  } catch (const ERegistryException &error) {
    result.fail(repair::ActionResult::Status::RegistryRefused, error.what());
  }
  const RegistryFlushResult flushed = FlushRegistry();
  if (!flushed)
    result.fail(repair::ActionResult::Status::RegistryNotSaved,
                "The registry could not be saved: " + flushed.description() + ".");
  return result;
}

std::vector<TraceFile> checkedTraceFiles(const std::vector<lists::Row> &rows) {
  std::vector<TraceFile> chosen;
  for (const lists::Row &row : rows) {
    if (!row.checked) continue;
    chosen.push_back({row.data, row.subItem(TraceFullPathSubItem) + row.subItem(TraceFileNameSubItem)});
  }
  return chosen;
}

std::vector<TraceFile> takeCheckedTraceFiles(lists::CheckableList &files) {
  return checkedTraceFiles(files.takeRows());
}

void deleteTraceFiles(const std::vector<TraceFile> &files, TraceCleanupResult &result,
                      const std::function<void(int done, const std::string &path)> &progress,
                      const std::function<bool()> &stop) {
  platform::FileSystem &fileSystem = platform::machine().files();
  int done = 0;
  for (const TraceFile &file : files) {
    if (stop && stop()) break;
    // A row without the folder it was found in cannot be checked, so it is not deleted.
    if (!file.sectionFolder.empty() && fileSystem.deleteFileInside(file.sectionFolder, file.path))
      ++result.deleted;
    else
      ++result.passedOver;
    ++done;
    if (progress && done % ProgressStep == 0) progress(done, file.path);
  }
  if (progress && done > 0) progress(done, files[static_cast<std::size_t>(done - 1)].path);
}

TraceCleanupResult cleanUpTraces(const std::vector<bool> &checked, lists::CheckableList &files) {
  TraceCleanupResult cleanup;
  cleanup.result = runTraceRegistryActions(checked);
  deleteTraceFiles(takeCheckedTraceFiles(files), cleanup);
  return cleanup;
}

} // namespace tw::tools
