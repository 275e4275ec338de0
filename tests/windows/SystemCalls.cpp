// The tests' own system calls as a Windows program.
#include "tests/support/SystemCalls.h"

#include <filesystem>

#include <windows.h>

namespace tw::test {

void markHidden(const std::string &path) {
  const std::filesystem::path file(path);
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(file.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
}

ForeignLock::ForeignLock(const std::string &path) {
  HANDLE handle = ::CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  m_handle = handle;
  OVERLAPPED whole{};
  m_held = ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole) != 0;
}

void ForeignLock::release() {
  if (m_handle) ::CloseHandle(static_cast<HANDLE>(m_handle));
  m_handle = nullptr;
  m_held = false;
}

} // namespace tw::test
