#include "link/win32/worker_control.hpp"

#include <string>

namespace tavro::link::win32 {

std::shared_ptr<WorkerControl> WorkerControl::Create() {
  HANDLE wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (wake == nullptr)
    return nullptr;
  return std::shared_ptr<WorkerControl>(new WorkerControl(wake));
}

WorkerControl::~WorkerControl() {
  ::CloseHandle(wake_);
}

void WorkerControl::Wake() {
  ::SetEvent(wake_);
}

void WorkerControl::ClearWake() {
  ::ResetEvent(wake_);
}

std::string SystemText(DWORD error) {
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer),
      0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr)
    text.assign(buffer, length);
  if (buffer != nullptr)
    ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty())
    text = "error " + std::to_string(error);
  return text;
}

}  // namespace tavro::link::win32
