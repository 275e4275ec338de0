// Fuzzes the reader of Wine's registry files: any input must load or be refused with a
// status and a line, never crash. Inputs that load are written back, read again, and must
// come out the same, so the writer is fuzzed too. Seeds: tests/data/registry/.

#include "platform/WineRegistry.h"
#include "platform/registry/RegistryEngine.h"
#include "platform/registry/WineFileParser.h"
#include "platform/registry/WineFileWriter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tw::platform;

static std::string writeBack(const std::string &text, bool regenerate, bool &ok) {
  detail::RegistryStore store;
  detail::BranchFile file;
  file.path = "fuzz.reg";
  file.bytes = text;
  file.branch = detail::ensureKeyPath(store, "Machine");
  store.key(file.branch).file = 0;
  store.files().push_back(std::move(file));
  detail::FileHeader header;
  ok = static_cast<bool>(detail::parseBranchFile(store, 0, header));
  if (!ok) return {};
  if (regenerate)
    for (detail::KeyId id = 0; id < store.keySlots(); ++id)
      if (store.isLive(id)) store.key(id).flags |= detail::keyflag::Changed;
  std::string out;
  detail::writeBranchFile(store, 0, header.rootText.empty() ? "REGISTRY\\\\Machine" : header.rootText, header.arch, out);
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  RegistryLoadResult result = checkRegistryText(text, "fuzz.reg");
  if (!result) {
    if (result.line == 0 || result.description().empty()) std::abort();
    return 0;
  }
  // What Wine's writer makes of the input must read back to the same file.
  bool ok = false;
  std::string once = writeBack(text, /*regenerate=*/true, ok);
  if (!ok) std::abort();
  std::string twice = writeBack(once, /*regenerate=*/true, ok);
  if (!ok || twice != once) std::abort();
  return 0;
}
