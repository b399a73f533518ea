#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "cli/interrupt_notice.hpp"

namespace tavro::cli {
namespace {

// The handler may only read what is already in place: two buffers, the one
// in use named by an atomic index.
std::array<std::array<char, 2048>, 2> texts{};
std::array<std::size_t, 2> lengths{};
std::atomic<int> current{0};
bool installed = false;

void OnStop(int) {
  const int i = current.load();
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, texts[i].data(), lengths[i]);
  ::_exit(128 + 2);
}

}  // namespace

void SayOnInterrupt(const std::string& text) {
  const int next = 1 - current.load();
  const std::size_t length = std::min(text.size(), texts[next].size());
  std::memcpy(texts[next].data(), text.data(), length);
  lengths[next] = length;
  current.store(next);
  if (installed)
    return;
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  installed =
      ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace tavro::cli
