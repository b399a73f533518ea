#include "support/lock_waiters.hpp"

namespace tavro::test {

// Windows does not show who waits for a file lock.
bool LockWaitersVisible() {
  return false;
}

int LockWaiters(const std::string&) {
  return 0;
}

bool WaitForLockWaiters(const std::string&, int) {
  return false;
}

}  // namespace tavro::test
