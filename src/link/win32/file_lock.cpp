#include <windows.h>

#include "link/file_lock.hpp"
#include "link/win32/wide_path.hpp"

namespace tavro::link {
namespace {

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result =
      n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
  if (text != nullptr)
    ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
    result.pop_back();
  return result;
}

HANDLE AsHandle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool FileLock::OpenFile() {
  if (handle_ != -1)
    return true;
  // Shared for reading and writing: the lock, not the open, keeps others out.
  HANDLE h = ::CreateFileW(win32::WidePath(path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    h = ::CreateFileW(win32::WidePath(path_).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    failure_ = SystemText(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

LockAttempt FileLock::Take(bool wait) {
  if (held_)
    return LockAttempt::kHeld;
  if (!OpenFile())
    return LockAttempt::kFailed;
  OVERLAPPED at{};  // the lock covers the first byte, which need not exist
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (::LockFileEx(AsHandle(handle_), flags, 0, 1, 0, &at)) {
    held_ = true;
    return LockAttempt::kHeld;
  }
  const DWORD error = ::GetLastError();
  if (!wait && (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING))
    return LockAttempt::kBusy;
  failure_ = SystemText(error);
  return LockAttempt::kFailed;
}

void FileLock::Unlock() {
  if (handle_ == -1)
    return;
  // Closing the handle drops the lock.
  ::CloseHandle(AsHandle(handle_));
  handle_ = -1;
  held_ = false;
}

std::string LockHolderText(const std::string&) {
  return "another program";  // Windows does not tell who holds a file lock
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

}  // namespace tavro::link
