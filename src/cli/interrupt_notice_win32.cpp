#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "cli/interrupt_notice.hpp"

namespace tavro::cli {
namespace {

// The system runs the handler on a thread of its own: it reads only what is
// already in place, the buffer in use named by an atomic index.
std::array<std::array<char, 2048>, 2> texts{};
std::array<DWORD, 2> lengths{};
std::atomic<int> current{0};
bool installed = false;

BOOL WINAPI OnStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  const int i = current.load();
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), texts[i].data(), lengths[i], &written, nullptr);
  ::ExitProcess(128 + 2);
}

}  // namespace

void SayOnInterrupt(const std::string& text) {
  const int next = 1 - current.load();
  const std::size_t length = std::min(text.size(), texts[next].size());
  std::memcpy(texts[next].data(), text.data(), length);
  lengths[next] = static_cast<DWORD>(length);
  current.store(next);
  if (!installed)
    installed = ::SetConsoleCtrlHandler(OnStop, TRUE) != 0;
}

}  // namespace tavro::cli
