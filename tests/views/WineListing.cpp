#include "WineListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tw::test {

namespace fs = std::filesystem;
using namespace platform;

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string runInPrefix(const fs::path &prefix, const std::string &command, int *status) {
  const std::string line = "export WINEPREFIX=" + quoted(prefix.string()) +
                           " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='; (" + command + ") 2>/dev/null";
  std::string out;
  int result = -1;
  if (FILE *pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    result = ::pclose(pipe);
  }
  if (status) *status = result;
  return out;
}

std::string wineCommand(bool thirtyTwoBit) {
  return thirtyTwoBit ? "wine" : "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64";
}

WineSession::WineSession(fs::path prefix) : m_prefix(std::move(prefix)) {
  runInPrefix(m_prefix, "wineserver -p2 >/dev/null 2>&1 </dev/null");
}

WineSession::~WineSession() { runInPrefix(m_prefix, "wineserver -w"); }

static bool isPlainAscii(const std::string &text) {
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return text.find('?') == std::string::npos; // reg.exe prints what it cannot convert as '?'
}

// A listing from what `reg query KEY` printed.
static Listing parseListing(const std::string &printed, const std::string &key) {
  Listing listing;
  std::istringstream lines(printed);
  const std::size_t keyNames = static_cast<std::size_t>(std::count(key.begin(), key.end(), '\\'));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!line.starts_with("    ")) {
      // The key itself, or one of its sub-keys, which are one name longer.
      const std::size_t lineNames = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\\'));
      const std::string name = line.substr(line.rfind('\\') + 1);
      if (lineNames == keyNames + 1 && isPlainAscii(name)) listing.subKeys.push_back(name);
      continue;
    }
    const std::string rest = line.substr(4);
    const std::size_t typeAt = rest.find("    REG_");
    if (typeAt == std::string::npos) continue; // types reg.exe cannot name
    const std::string name = rest.substr(0, typeAt);
    const std::string typeAndData = rest.substr(typeAt + 4);
    const std::size_t dataAt = typeAndData.find("    ");
    const std::string type = typeAndData.substr(0, dataAt);
    const std::string data = dataAt == std::string::npos ? "" : typeAndData.substr(dataAt + 4);
    if (isPlainAscii(name) && isPlainAscii(data)) listing.values[name] = {type, data};
  }
  return listing;
}

std::vector<Listing> wineQueries(const fs::path &prefix, const std::vector<std::string> &keys, bool thirtyTwoBit) {
  // One command interpreter of the chosen side runs every query: starting Wine's programs one
  // by one costs a second each.
  static constexpr const char *Marker = "####";
  std::string batch = "@echo off\r\n";
  for (std::size_t i = 0; i < keys.size(); ++i)
    batch += "echo " + std::string(Marker) + "\r\nreg query \"" + keys[i] + "\"\r\necho " + Marker +
             "%ERRORLEVEL%\r\n";
  const fs::path file = prefix / "drive_c" / "tw-reg-queries.bat";
  std::ofstream(file, std::ios::binary) << batch;
  const std::string printed = runInPrefix(prefix, wineCommand(thirtyTwoBit) + " cmd /c 'C:\\tw-reg-queries.bat'");
  std::error_code ignored;
  fs::remove(file, ignored);

  std::vector<Listing> listings;
  std::size_t at = 0;
  for (const std::string &key : keys) {
    const std::size_t begin = printed.find(Marker, at);
    const std::size_t end = begin == std::string::npos ? std::string::npos : printed.find(Marker, begin + 4);
    if (end == std::string::npos) {
      ADD_FAILURE() << "Wine's command interpreter printed no answer for " << key;
      listings.emplace_back();
      continue;
    }
    const std::size_t lineEnd = begin + 4;
    Listing listing = parseListing(printed.substr(lineEnd, end - lineEnd), key);
    listing.found = printed.compare(end + 4, 2, "0\r") == 0 || printed.compare(end + 4, 2, "0\n") == 0;
    listings.push_back(std::move(listing));
    at = end + 4;
  }
  return listings;
}

Listing wineQuery(const fs::path &prefix, const std::string &key, bool thirtyTwoBit) {
  int status = -1;
  const std::string printed = runInPrefix(prefix, wineCommand(thirtyTwoBit) + " reg query " + quoted(key), &status);
  Listing listing = parseListing(printed, key);
  listing.found = status == 0;
  return listing;
}

static std::string hexBytes(const std::vector<std::uint8_t> &data) {
  std::string out;
  char hex[4];
  for (std::uint8_t b : data) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    out += hex;
  }
  return out;
}

Listing ourQuery(RegistryApi &reg, RegKey root, const std::string &path, std::uint32_t viewFlags) {
  Listing listing;
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead | viewFlags, key) != error::Success) return listing;
  listing.found = true;
  RegValue v;
  for (std::uint32_t i = 0; reg.enumValue(key, i, v) == error::Success; ++i) {
    std::string type, data;
    switch (v.type) {
    case regtype::Sz:
    case regtype::ExpandSz:
      type = v.type == regtype::Sz ? "REG_SZ" : "REG_EXPAND_SZ";
      data.assign(v.data.begin(), v.data.end());
      data = data.substr(0, data.find('\0'));
      break;
    case regtype::MultiSz: {
      type = "REG_MULTI_SZ";
      const std::string all(v.data.begin(), v.data.end());
      for (std::size_t at = 0; at < all.size() && all[at] != '\0';) {
        const std::size_t end = all.find('\0', at);
        if (!data.empty()) data += "\\0";
        data += all.substr(at, end - at);
        at = end == std::string::npos ? all.size() : end + 1;
      }
      break;
    }
    case regtype::Dword: {
      if (v.data.size() != 4) continue;
      type = "REG_DWORD";
      const std::uint32_t dw = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                               (static_cast<std::uint32_t>(v.data[3]) << 24);
      char b[16];
      std::snprintf(b, sizeof b, "0x%x", dw);
      data = b;
      break;
    }
    case regtype::Binary:
    case regtype::None:
      type = v.type == regtype::Binary ? "REG_BINARY" : "REG_NONE";
      data = hexBytes(v.data);
      break;
    default:
      continue;
    }
    const std::string name = v.name.empty() ? "(Default)" : v.name;
    if (isPlainAscii(name) && isPlainAscii(data)) listing.values[name] = {type, data};
  }
  std::string sub;
  for (std::uint32_t i = 0; reg.enumKey(key, i, sub) == error::Success; ++i)
    if (isPlainAscii(sub)) listing.subKeys.push_back(sub);
  reg.closeKey(key);
  return listing;
}

std::string lowered(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

} // namespace tw::test
