// The console loop's waiting on POSIX: poll(2) on an eventfd that other
// threads write to wake the loop, and on the watched descriptors.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "loop/console_loop.hpp"

namespace tavro::loop {

const short ConsoleLoop::kReadable = POLLIN;

struct ConsoleLoop::Waker {
  int fd = -1;
  ~Waker() {
    if (fd >= 0)
      ::close(fd);
  }
};

std::shared_ptr<ConsoleLoop::Waker> ConsoleLoop::MakeWaker() {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0)
    return nullptr;
  auto waker = std::make_shared<Waker>();
  waker->fd = fd;
  return waker;
}

void ConsoleLoop::Wake() {
  if (!waker_)
    return;
  const std::uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can go wrong here.
  [[maybe_unused]] const ssize_t n = ::write(waker_->fd, &one, sizeof one);
}

bool ConsoleLoop::WaitRound(std::int64_t waitMs, std::vector<Ready>& ready) {
  std::vector<pollfd> fds;
  std::vector<std::uint64_t> ids;
  if (waker_)
    fds.push_back({waker_->fd, POLLIN, 0});
  for (const auto& [fd, watch] : watches_) {
    fds.push_back({fd, watch.events, 0});
    ids.push_back(watch.id);
  }
  const int timeout = waitMs < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(waitMs, 1 << 30));
  if (::poll(fds.data(), fds.size(), timeout) <= 0)
    return false;

  bool woke = false;
  std::size_t first = 0;
  if (waker_) {
    first = 1;
    if (fds[0].revents != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t r = ::read(waker_->fd, &count, sizeof count);
      woke = true;
    }
  }
  for (std::size_t i = first; i < fds.size(); ++i) {
    if (fds[i].revents != 0)
      ready.push_back(Ready{fds[i].fd, fds[i].revents, ids[i - first]});
  }
  return woke;
}

}  // namespace tavro::loop
