#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/lock_waiters.hpp"

namespace tavro::test {

bool LockWaitersVisible() {
  return true;
}

// The blocked requests for the lock on `path` ("1: -> FLOCK ADVISORY WRITE
// <pid> MAJ:MIN:INODE 0 EOF" lines of /proc/locks).
int LockWaiters(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return 0;
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  int count = 0;
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, arrow, kind, advisory, mode, pid, file;
    fields >> number >> arrow >> kind >> advisory >> mode >> pid >> file;
    if (arrow == "->" && file == id)
      ++count;
  }
  return count;
}

bool WaitForLockWaiters(const std::string& path, int count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (LockWaiters(path) < count) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace tavro::test
