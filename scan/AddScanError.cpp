#include "scan/AddScanError.h"

#include "scan/IgnoreIndex.h"
#include "scan/ScanSession.h"

namespace tw::scan {

void AddScanError(ScanSession &session, std::string_view errorType, std::string keyText,
                  std::string keyValue, std::string guessPath, std::int32_t &counter) {
  // One snapshot per error: the user may change the ignore list while the scan runs, and each
  // test must see the list whole, as it stood at one moment.
  const std::shared_ptr<const IgnoreIndex> ignoreList = session.ignoreList();
  if (ignoreList && ignoreList->ignores(keyText)) return;
  session.appendErrorRow(
      {std::string(errorType), std::move(keyText), std::move(keyValue), std::move(guessPath)});
  ++counter;
}

} // namespace tw::scan
