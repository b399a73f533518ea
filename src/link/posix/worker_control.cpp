#include "link/posix/worker_control.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tavro::link::posix {

std::shared_ptr<WorkerControl> WorkerControl::Create() {
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0)
    return nullptr;
  return std::shared_ptr<WorkerControl>(new WorkerControl(fd));
}

WorkerControl::~WorkerControl() {
  if (wakeFd_ >= 0)
    ::close(wakeFd_);
}

void WorkerControl::Wake() {
  const std::uint64_t one = 1;
  // A full counter (EAGAIN) is still readable, so a failed add loses nothing.
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void WorkerControl::ClearWake() {
  std::uint64_t count = 0;
  while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

}  // namespace tavro::link::posix
