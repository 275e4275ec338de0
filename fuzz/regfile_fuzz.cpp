// libFuzzer entry point of the .reg reader: any input must either be refused with a status
// or import into a memory registry; whatever imports must export to a text the reader takes
// back without complaint.

#include "registry/regfile/RegFileExport.h"
#include "registry/regfile/RegFileImport.h"
#include "registry/regfile/RegFileReader.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace tw;
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  regedit::RegFile file;
  const regedit::RegFileResult parsed = regedit::parseRegText(bytes, file, "fuzz.reg");
  if (!parsed) {
    if (!file.entries.empty() || parsed.line == 0) {
      std::fprintf(stderr, "refused input kept entries or named no line: %s\n",
                   parsed.description().c_str());
      std::abort();
    }
    return 0;
  }
  auto registry = platform::makeMemoryRegistry();
  const regedit::RegFileResult applied = regedit::applyRegFile(*registry, file, "fuzz.reg");
  if (!applied)
    return 0; // the memory registry may refuse names it does not take; that is reported
  for (const char *root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS"}) {
    std::string text;
    if (!regedit::exportRegText(*registry, root, text))
      continue;
    regedit::RegFile again;
    const regedit::RegFileResult reread = regedit::parseRegText(text, again, root);
    if (!reread) {
      std::fprintf(stderr, "own export refused: %s\n", reread.description().c_str());
      std::abort();
    }
  }
  return 0;
}
