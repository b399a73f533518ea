// The file lock several instances take turns with: one holder at a time,
// a waiter gets it when the holder lets go, and the holder can be named.

#include "link/file_lock.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/lock_waiters.hpp"
#include "support/temp_dir.hpp"

namespace tavro::link {
namespace {

TEST(FileLock, OneHolderAtATimeAndTheFileStays) {
  test::TempDir dir;
  const std::string path = dir.PathOf("x.lock");
  FileLock first(path);
  FileLock second(path);
  EXPECT_FALSE(first.held());
  ASSERT_EQ(first.TryLock(), LockAttempt::kHeld);
  EXPECT_TRUE(first.held());
  EXPECT_EQ(first.TryLock(), LockAttempt::kHeld) << "taking it again changes nothing";
  // Two objects of one process exclude each other as two processes do.
  EXPECT_EQ(second.TryLock(), LockAttempt::kBusy);
  EXPECT_FALSE(second.held());
  first.Unlock();
  EXPECT_FALSE(first.held());
  EXPECT_TRUE(dir.Exists("x.lock")) << "removing it would let a second holder in";
  EXPECT_EQ(second.TryLock(), LockAttempt::kHeld);
  EXPECT_EQ(first.TryLock(), LockAttempt::kBusy);
}

TEST(FileLock, TheEndOfTheHolderReleasesTheLock) {
  test::TempDir dir;
  const std::string path = dir.PathOf("x.lock");
  {
    FileLock holder(path);
    ASSERT_EQ(holder.Lock(), LockAttempt::kHeld);
  }
  FileLock next(path);
  EXPECT_EQ(next.TryLock(), LockAttempt::kHeld);
}

TEST(FileLock, AWaiterGetsTheLockWhenTheHolderLetsGo) {
  if (!test::LockWaitersVisible())
    GTEST_SKIP() << "this system does not show who waits for a file lock";
  test::TempDir dir;
  const std::string path = dir.PathOf("x.lock");
  FileLock holder(path);
  ASSERT_EQ(holder.TryLock(), LockAttempt::kHeld);
  std::atomic<bool> gotIt{false};
  std::atomic<bool> holderReleased{false};
  bool releasedFirst = false;
  std::thread waiter([&] {
    FileLock lock(path);
    const LockAttempt attempt = lock.Lock();
    releasedFirst = holderReleased.load();
    gotIt = attempt == LockAttempt::kHeld;
  });
  const bool waiting = test::WaitForLockWaiters(path, 1);
  EXPECT_FALSE(gotIt.load());
  holderReleased = true;
  holder.Unlock();
  waiter.join();
  ASSERT_TRUE(waiting) << "the waiter never blocked on the lock";
  EXPECT_TRUE(gotIt.load());
  EXPECT_TRUE(releasedFirst);
}

TEST(FileLock, TheHolderIsNamedByItsProcess) {
  if (!test::LockWaitersVisible())
    GTEST_SKIP() << "this system does not name a lock's holder";
  test::TempDir dir;
  const std::string path = dir.PathOf("x.lock");
  EXPECT_EQ(LockHolderText(path), "another program") << "no file, no holder";
  FileLock holder(path);
  ASSERT_EQ(holder.TryLock(), LockAttempt::kHeld);
  EXPECT_EQ(CurrentProcessId(), static_cast<std::uint32_t>(::getpid()));
  const std::string text = LockHolderText(path);
  EXPECT_EQ(text.rfind("process " + std::to_string(::getpid()), 0), 0u) << text;
}

TEST(FileLock, AFolderThatIsNotThereFailsWithTheSystemsReason) {
  test::TempDir dir;
  FileLock lock(dir.PathOf("missing/x.lock"));
  EXPECT_EQ(lock.TryLock(), LockAttempt::kFailed);
  EXPECT_EQ(lock.Lock(), LockAttempt::kFailed);
  EXPECT_FALSE(lock.held());
  EXPECT_FALSE(lock.failure().empty());
}

}  // namespace
}  // namespace tavro::link
