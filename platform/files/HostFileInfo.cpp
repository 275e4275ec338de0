#include "platform/files/HostFileInfo.h"

#include "platform/FileSystem.h"

#include <cstdint>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace tw::platform::detail {

// Wine keeps the DOS attributes it cannot express in permission bits in the same extended
// attribute Samba uses, as a hexadecimal text; only hidden and system are taken from it.
static constexpr const char *DosAttributeName = "user.DOSATTRIB";
static constexpr std::uint32_t DosAttributeMask = fileattr::Hidden | fileattr::System;

// Seconds between 1601-01-01 and 1970-01-01.
static constexpr std::int64_t SecondsFrom1601To1970 = 11644473600LL;
static constexpr std::int64_t TicksPerSecond = 10000000LL;

bool HostFileInfo::isDirectory() const { return (attributes & fileattr::Directory) != 0; }

std::uint64_t fileTimeFromHost(std::int64_t seconds, long nanoseconds) {
  if (seconds < -SecondsFrom1601To1970) return 0;
  // Beyond this the tick count would not fit; no host file carries such a time.
  static constexpr std::int64_t MaxSeconds = INT64_MAX / TicksPerSecond - SecondsFrom1601To1970 - 1;
  if (seconds > MaxSeconds) seconds = MaxSeconds;
  return static_cast<std::uint64_t>((seconds + SecondsFrom1601To1970) * TicksPerSecond +
                                    nanoseconds / 100);
}

std::uint32_t parseDosAttributeRecord(std::string_view record) {
  if (record.size() <= 2 || record[0] != '0' || record[1] != 'x') return 0;
  std::uint64_t value = 0;
  for (std::size_t i = 2; i < record.size(); ++i) {
    char c = record[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return 0;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return 0;
  }
  return static_cast<std::uint32_t>(value) & DosAttributeMask;
}

static bool isDotName(const std::string &hostPath) {
  std::size_t end = hostPath.size();
  while (end > 0 && hostPath[end - 1] == '/') --end;
  std::size_t start = hostPath.find_last_of('/', end == 0 ? 0 : end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  std::string_view name(hostPath.data() + start, end - start);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

std::optional<HostFileInfo> readHostFileInfo(const std::string &hostPath) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0) return std::nullopt;
  HostFileInfo info;
  if (S_ISLNK(st.st_mode)) {
    if (::stat(hostPath.c_str(), &st) != 0) return std::nullopt;
    info.attributes |= fileattr::ReparsePoint;
  } else if (S_ISDIR(st.st_mode)) {
    struct stat parent {};
    if (::stat((hostPath + "/..").c_str(), &parent) == 0 &&
        (parent.st_dev != st.st_dev || parent.st_ino == st.st_ino))
      info.attributes |= fileattr::ReparsePoint;
  }
  info.attributes |= S_ISDIR(st.st_mode) ? fileattr::Directory : fileattr::Archive;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) info.attributes |= fileattr::ReadOnly;

  char record[65];
  ssize_t length = ::getxattr(hostPath.c_str(), DosAttributeName, record, sizeof(record) - 1);
  if (length >= 0)
    info.attributes |= parseDosAttributeRecord(std::string_view(record, static_cast<std::size_t>(length)));
  else if (isDotName(hostPath))
    info.attributes |= fileattr::Hidden;

  info.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  info.lastWriteTime = fileTimeFromHost(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return info;
}

} // namespace tw::platform::detail
