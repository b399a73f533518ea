#include "link/file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/posix/port_lock.hpp"

namespace tavro::link {

bool FileLock::OpenFile() {
  if (handle_ >= 0)
    return true;
  // Read and write access, where the file allows it, so that any user of a
  // shared program directory can create the file; a lock needs neither.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EACCES)
    fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    failure_ = std::strerror(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

LockAttempt FileLock::Take(bool wait) {
  if (held_)
    return LockAttempt::kHeld;
  if (!OpenFile())
    return LockAttempt::kFailed;
  int rc = 0;
  do {
    rc = ::flock(static_cast<int>(handle_), wait ? LOCK_EX : LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    held_ = true;
    return LockAttempt::kHeld;
  }
  if (!wait && errno == EWOULDBLOCK)
    return LockAttempt::kBusy;
  failure_ = std::strerror(errno);
  return LockAttempt::kFailed;
}

void FileLock::Unlock() {
  if (handle_ < 0)
    return;
  // Closing the descriptor drops the lock.
  ::close(static_cast<int>(handle_));
  handle_ = -1;
  held_ = false;
}

std::string LockHolderText(const std::string& path) {
  return posix::HolderText(posix::FindLockHolder(path));
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(::getpid());
}

}  // namespace tavro::link
