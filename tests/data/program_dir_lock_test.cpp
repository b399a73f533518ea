// The program directory's lock: taken at once when free, waited for (and
// said so once) when another instance holds it.

#include "data/program_dir_lock.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/lock_waiters.hpp"
#include "support/temp_dir.hpp"

namespace tavro::data {
namespace {

TEST(ProgramDirLock, AFreeLockIsTakenWithoutANotice) {
  test::TempDir dir;
  std::vector<std::string> notices;
  {
    const ProgramDirLock lock(dir.Path(), [&](const std::string& h) { notices.push_back(h); });
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(lock.path(), dir.PathOf("SwUpdate.lock"));
    link::FileLock other(lock.path());
    EXPECT_EQ(other.TryLock(), link::LockAttempt::kBusy);
  }
  EXPECT_TRUE(notices.empty());
  link::FileLock after(dir.PathOf("SwUpdate.lock"));
  EXPECT_EQ(after.TryLock(), link::LockAttempt::kHeld) << "released when the guard ends";
}

TEST(ProgramDirLock, AHeldLockIsWaitedForAfterOneNoticeNamingTheHolder) {
  if (!test::LockWaitersVisible())
    GTEST_SKIP() << "this system does not show who waits for a file lock";
  test::TempDir dir;
  link::FileLock other(dir.PathOf("SwUpdate.lock"));
  ASSERT_EQ(other.TryLock(), link::LockAttempt::kHeld);
  std::vector<std::string> notices;
  bool heldInside = false;
  std::thread instance([&] {
    const ProgramDirLock lock(dir.Path(), [&](const std::string& h) { notices.push_back(h); });
    heldInside = lock.held();
  });
  ASSERT_TRUE(test::WaitForLockWaiters(dir.PathOf("SwUpdate.lock"), 1));
  other.Unlock();
  instance.join();
  EXPECT_TRUE(heldInside);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].rfind("process ", 0), 0u) << notices[0];
}

TEST(ProgramDirLock, ADirectoryWithoutTheLockFileGoesOnUnlocked) {
  test::TempDir dir;
  const ProgramDirLock lock(dir.PathOf("not-there"), nullptr);
  EXPECT_FALSE(lock.held());
  EXPECT_FALSE(lock.failure().empty());
}

}  // namespace
}  // namespace tavro::data
