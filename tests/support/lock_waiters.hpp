#pragma once
// Waiting until a process or thread is blocked on a file lock, read from the
// kernel's lock table, so a test releases the lock only once the other side
// is really waiting for it. Only Linux shows blocked requests (/proc/locks);
// elsewhere LockWaitersVisible() is false and the tests that need it skip.

#include <string>

namespace tavro::test {

bool LockWaitersVisible();
// The requests blocked on the lock of `path`.
int LockWaiters(const std::string& path);
// True once `count` requests wait on `path`; false after ten seconds.
bool WaitForLockWaiters(const std::string& path, int count);

}  // namespace tavro::test
