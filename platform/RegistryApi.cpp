#include "platform/RegistryApi.h"

#include <cstring>

namespace tw::platform {

std::string FlushFailure::description() const {
  std::string why;
  switch (cause) {
  case Cause::None: return {};
  case Cause::ServerRunning: why = "Wine started running for this prefix and owns its registry now"; break;
  case Cause::ChangedOnDisk: why = "it changed on disk since it was read (another program wrote it)"; break;
  case Cause::WriteProtected: why = "it is write-protected"; break;
  case Cause::NotARegularFile: why = "it is not a regular file"; break;
  case Cause::CannotCreate: why = "cannot create a temporary file beside it"; break;
  case Cause::WriteFailed: why = "writing failed"; break;
  case Cause::SyncFailed: why = "flushing to disk failed"; break;
  case Cause::RenameFailed: why = "replacing the old file failed"; break;
  }
  std::string text = "cannot save " + (file.empty() ? std::string("the registry") : file) + ": " + why;
  if (osError != 0) text += std::string(" (") + std::strerror(osError) + ")";
  return text + "; the file on disk is unchanged";
}

} // namespace tw::platform
