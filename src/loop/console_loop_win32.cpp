// The console loop's waiting on Windows: a manual-reset event that other
// threads set to wake the loop, and the watched descriptors' handles, in one
// WaitForMultipleObjects.
#include <io.h>
#include <windows.h>

#include <algorithm>

#include "loop/console_loop.hpp"

namespace tavro::loop {

const short ConsoleLoop::kReadable = 1;

struct ConsoleLoop::Waker {
  HANDLE event = nullptr;
  ~Waker() {
    if (event != nullptr)
      ::CloseHandle(event);
  }
};

std::shared_ptr<ConsoleLoop::Waker> ConsoleLoop::MakeWaker() {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr)
    return nullptr;
  auto waker = std::make_shared<Waker>();
  waker->event = event;
  return waker;
}

void ConsoleLoop::Wake() {
  if (waker_)
    ::SetEvent(waker_->event);
}

bool ConsoleLoop::WaitRound(std::int64_t waitMs, std::vector<Ready>& ready) {
  std::vector<HANDLE> handles;
  std::vector<const std::pair<const int, Watch>*> watched;
  if (waker_)
    handles.push_back(waker_->event);
  for (const auto& entry : watches_) {
    if (handles.size() == MAXIMUM_WAIT_OBJECTS)
      break;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(entry.first));
    if (handle == INVALID_HANDLE_VALUE) {
      // Nothing to wait on: let the handler's read fail and unwatch it.
      ready.push_back(Ready{entry.first, kReadable, entry.second.id});
      continue;
    }
    handles.push_back(handle);
    watched.push_back(&entry);
  }
  if (!ready.empty())
    return false;
  if (handles.empty()) {
    ::Sleep(waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs));
    return false;
  }
  const DWORD timeout =
      waitMs < 0 ? INFINITE : static_cast<DWORD>(std::min<std::int64_t>(waitMs, 1 << 30));
  const DWORD result =
      ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
  if (result < WAIT_OBJECT_0 || result >= WAIT_OBJECT_0 + handles.size())
    return false;  // time-out or failure
  std::size_t index = result - WAIT_OBJECT_0;
  if (waker_) {
    if (index == 0) {
      // Reset before the requests are drained, so a later Wake is not lost.
      ::ResetEvent(waker_->event);
      return true;
    }
    --index;
  }
  ready.push_back(Ready{watched[index]->first, kReadable, watched[index]->second.id});
  return false;
}

}  // namespace tavro::loop
