// Speed and memory of the Wine prefix registry: load, save, resident memory against the
// files' size, and the cost of opening a key, reading a value and closing the key.
//
//   registry_bench [PREFIX_DIR]      measure an existing prefix (it is copied first)
//   registry_bench --size MB         generate a prefix whose system.reg is about MB megabytes
//                                    (default 100) in a temporary folder and measure it
//   --keep                           leave the measured copy of the prefix on disk

#include "platform/RegistryApi.h"
#include "platform/WineRegistry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace tw::platform;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time this process has used (user and system), in seconds: on a busy machine it
// shows what the work costs apart from waiting for a processor.
double cpuSeconds() {
  struct rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto toSeconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

// Peak resident memory of this process so far (VmHWM), in bytes.
std::size_t peakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return static_cast<std::size_t>(std::strtoull(line.c_str() + 6, nullptr, 10)) * 1024;
  return 0;
}

// Writes a system.reg of about `targetBytes` shaped like a real one: many CLSID keys with a
// server path and a threading model, some file classes with commands, now and then a dword
// and a binary value. Keys come in Wine's order. Streams to disk so the generator itself
// stays small in memory.
std::size_t writeLargeSystemReg(const fs::path &path, std::size_t targetBytes,
                                std::vector<std::pair<std::string, std::string>> &samples) {
  FILE *out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  std::string chunk = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
  std::size_t written = 0;
  std::mt19937_64 random(2006);
  const char *models[] = {"Apartment", "Both", "Free"};
  std::uint64_t fileTime = 0x1dd8684adea5df2ull;
  auto flush = [&] {
    written += std::fwrite(chunk.data(), 1, chunk.size(), out);
    chunk.clear();
  };
  char line[512];
  for (std::uint64_t n = 0; written + chunk.size() < targetBytes; ++n) {
    // GUIDs in increasing order keep the keys sorted as Wine sorts them.
    char guid[64];
    std::snprintf(guid, sizeof guid, "{%08llX-%04X-%04X-%04X-%012llX}", static_cast<unsigned long long>(n),
                  static_cast<unsigned>(random() & 0xFFFF), static_cast<unsigned>(random() & 0xFFFF),
                  static_cast<unsigned>(random() & 0xFFFF), static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    unsigned seconds = static_cast<unsigned>((fileTime - 116444736000000000ull) / 10000000ull);
    std::snprintf(line, sizeof line,
                  "\n[Software\\\\Classes\\\\CLSID\\\\%s] %u\n#time=%llx\n@=\"Component %llu\"\n", guid, seconds,
                  static_cast<unsigned long long>(fileTime), static_cast<unsigned long long>(n));
    chunk += line;
    if (n % 7 == 0) {
      std::snprintf(line, sizeof line, "\"Flags\"=dword:%08x\n\"Data\"=hex:%02x,%02x,%02x,%02x,00,00,00,00\n",
                    static_cast<unsigned>(random()), static_cast<unsigned>(random() & 0xFF),
                    static_cast<unsigned>(random() & 0xFF), static_cast<unsigned>(random() & 0xFF),
                    static_cast<unsigned>(random() & 0xFF));
      chunk += line;
    }
    std::snprintf(line, sizeof line,
                  "\n[Software\\\\Classes\\\\CLSID\\\\%s\\\\InprocServer32] %u\n#time=%llx\n"
                  "@=\"C:\\\\windows\\\\system32\\\\component%llu.dll\"\n\"ThreadingModel\"=\"%s\"\n",
                  guid, seconds, static_cast<unsigned long long>(fileTime), static_cast<unsigned long long>(n),
                  models[n % 3]);
    chunk += line;
    if (n % 97 == 0) samples.emplace_back(std::string("Software\\Classes\\CLSID\\") + guid + "\\InprocServer32", "");
    if (n % 89 == 0) samples.emplace_back(std::string("Software\\Classes\\CLSID\\") + guid + "\\InprocServer32", "ThreadingModel");
    fileTime += 12345;
    if (chunk.size() > (1 << 20)) flush();
  }
  flush();
  std::fclose(out);
  return written;
}

void writeSmallFile(const fs::path &path, const char *root) {
  std::ofstream out(path, std::ios::binary);
  out << "WINE REGISTRY Version 2\n;; All keys relative to " << root << "\n\n#arch=win64\n"
      << "\n[Software\\\\Tidewell] 1796673230\n#time=1dd8684adea5df2\n@=\"bench\"\n";
}

std::size_t filesSize(const fs::path &dir) {
  std::size_t total = 0;
  for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
    if (fs::exists(dir / name)) total += fs::file_size(dir / name);
  return total;
}

// Samples of existing values from an arbitrary prefix: the first values of many keys.
void collectSamples(RegistryApi &reg, RegKey root, const std::string &path, int depth,
                    std::vector<std::pair<std::string, std::string>> &samples) {
  if (samples.size() >= 20000 || depth > 6) return;
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead, key) != error::Success) return;
  RegValue v;
  if (reg.enumValue(key, 0, v) == error::Success) samples.emplace_back(path, v.name);
  std::string name;
  for (std::uint32_t i = 0; reg.enumKey(key, i, name) == error::Success && samples.size() < 20000; ++i)
    collectSamples(reg, root, path.empty() ? name : path + "\\" + name, depth + 1, samples);
  reg.closeKey(key);
}

} // namespace

int main(int argc, char **argv) {
  std::size_t sizeMb = 100;
  std::string source;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) sizeMb = std::strtoull(argv[++i], nullptr, 10);
    else if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    else source = argv[i];
  }
  fs::path dir = fs::temp_directory_path() / ("tw-registry-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<std::pair<std::string, std::string>> samples;
  if (source.empty()) {
    auto start = Clock::now();
    std::size_t bytes = writeLargeSystemReg(dir / "system.reg", sizeMb << 20, samples);
    writeSmallFile(dir / "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000");
    writeSmallFile(dir / "userdef.reg", "REGISTRY\\\\User\\\\.Default");
    std::printf("generated system.reg: %.1f MB in %.2f s (%s)\n", bytes / 1048576.0, secondsSince(start), dir.c_str());
  } else {
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
      if (fs::exists(fs::path(source) / name)) fs::copy_file(fs::path(source) / name, dir / name);
  }
  std::size_t total = filesSize(dir);
  std::size_t baseline = peakResidentBytes();

  // Load.
  auto start = Clock::now();
  double cpuStart = cpuSeconds();
  RegistryLoadResult result;
  WineRegistryOptions options;
  options.ignoreRunningServer = true;
  auto reg = openWineRegistry(dir.string(), result, options);
  double loadSeconds = secondsSince(start);
  double loadCpu = cpuSeconds() - cpuStart;
  if (!reg) {
    std::fprintf(stderr, "%s\n", result.description().c_str());
    return 1;
  }
  std::size_t afterLoad = peakResidentBytes();
  std::printf("files: %.1f MB\nload: %.3f s = %.0f MB/s (processor time %.3f s = %.0f MB/s)\n", total / 1048576.0,
              loadSeconds, total / 1048576.0 / loadSeconds, loadCpu, total / 1048576.0 / loadCpu);

  if (samples.empty()) collectSamples(*reg, HKEY_LOCAL_MACHINE, "", 0, samples);
  // Open + query + close of existing values, in random order.
  std::shuffle(samples.begin(), samples.end(), std::mt19937(7));
  std::vector<double> nanos;
  nanos.reserve(samples.size() * 3);
  long failures = 0;
  for (int round = 0; round < 3; ++round) {
    for (const auto &[path, name] : samples) {
      auto t0 = Clock::now();
      RegKey key = 0;
      RegValue v;
      bool ok = reg->openKey(HKEY_LOCAL_MACHINE, path, access::KeyRead, key) == error::Success &&
                reg->queryValue(key, name, v) == error::Success;
      if (key != 0) reg->closeKey(key);
      nanos.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count());
      failures += ok ? 0 : 1;
    }
  }
  std::sort(nanos.begin(), nanos.end());
  if (!nanos.empty())
    std::printf("open+query+close: median %.0f ns, 90th percentile %.0f ns (%zu samples, %ld failed)\n",
                nanos[nanos.size() / 2], nanos[nanos.size() * 9 / 10], nanos.size(), failures);

  // Save: one changed key in the big file, so every other key is written back as loaded.
  RegKey key = 0;
  reg->createKey(HKEY_LOCAL_MACHINE, "Software\\Tidewell Bench", access::KeyAllAccess, key);
  // Different each run, so that a prefix measured before still has something to save.
  std::string text = "changed " + std::to_string(Clock::now().time_since_epoch().count());
  reg->setValue(key, "v", regtype::Sz, reinterpret_cast<const std::uint8_t *>(text.c_str()), text.size() + 1);
  reg->closeKey(key);
  start = Clock::now();
  cpuStart = cpuSeconds();
  long status = reg->flushKey(HKEY_LOCAL_MACHINE);
  double saveSeconds = secondsSince(start);
  double saveCpu = cpuSeconds() - cpuStart;
  std::size_t saved = fs::file_size(dir / "system.reg");
  std::printf("save (one key changed): %.3f s = %.0f MB/s (processor time %.3f s = %.0f MB/s)%s\n", saveSeconds,
              saved / 1048576.0 / saveSeconds, saveCpu, saved / 1048576.0 / saveCpu,
              status == error::Success ? "" : " FAILED");

  // Save again after changing every sampled key: those keys are written afresh as Wine
  // writes them, the runs between them copied.
  std::size_t changedKeys = 0;
  for (const auto &[path, name] : samples) {
    RegKey sampleKey = 0;
    if (reg->openKey(HKEY_LOCAL_MACHINE, path, access::KeyAllAccess, sampleKey) != error::Success) continue;
    std::uint32_t n = static_cast<std::uint32_t>(changedKeys);
    if (reg->setValue(sampleKey, "Bench", regtype::Dword, reinterpret_cast<const std::uint8_t *>(&n), 4) == error::Success)
      ++changedKeys;
    reg->closeKey(sampleKey);
  }
  start = Clock::now();
  cpuStart = cpuSeconds();
  status = reg->flushKey(HKEY_LOCAL_MACHINE);
  saveSeconds = secondsSince(start);
  saveCpu = cpuSeconds() - cpuStart;
  saved = fs::file_size(dir / "system.reg");
  std::printf("save (%zu keys changed): %.3f s = %.0f MB/s (processor time %.3f s = %.0f MB/s)%s\n", changedKeys,
              saveSeconds, saved / 1048576.0 / saveSeconds, saveCpu, saved / 1048576.0 / saveCpu,
              status == error::Success ? "" : " FAILED");

  std::size_t peak = peakResidentBytes();
  std::printf("peak resident memory: %.1f MB after load, %.1f MB after save (process start %.1f MB)\n",
              afterLoad / 1048576.0, peak / 1048576.0, baseline / 1048576.0);
  std::printf("peak resident memory / files: %.2f\n", static_cast<double>(peak) / static_cast<double>(total));

  reg.reset();
  if (!keep) fs::remove_all(dir);
  return status == error::Success ? 0 : 1;
}
