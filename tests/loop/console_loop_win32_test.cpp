// The console loop watching descriptors on Windows, where a watched
// descriptor is waited on through its handle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <string>

#include "loop/console_loop.hpp"
#include "support/temp_dir.hpp"

namespace tavro::loop {
namespace {

constexpr std::uint32_t kPatienceMs = 10000;

TEST(ConsoleLoopWin32, WatchedFileIsReadUntilItsHandlerUnwatchesIt) {
  test::TempDir dir;
  ASSERT_TRUE(dir.Write("input.txt", "yes\n"));
  const std::string path = dir.PathOf("input.txt");
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
  ASSERT_GE(fd, 0);

  ConsoleLoop loop;
  std::string got;
  bool answered = false;
  loop.WatchFd(fd, [&](short revents) {
    EXPECT_EQ(revents, ConsoleLoop::kReadable);
    char c = 0;
    if (::_read(fd, &c, 1) != 1 || c == '\n') {
      answered = true;
      loop.UnwatchFd(fd);
      return;
    }
    got.push_back(c);
  });
  EXPECT_TRUE(loop.RunUntil([&] { return answered; }, kPatienceMs));
  EXPECT_EQ(got, "yes");
  ::_close(fd);
}

TEST(ConsoleLoopWin32, DescriptorWithoutAHandleStillReachesItsHandler) {
  ConsoleLoop loop;
  constexpr int kNotOpen = 4000;
  int calls = 0;
  loop.WatchFd(kNotOpen, [&](short) {
    ++calls;
    loop.UnwatchFd(kNotOpen);
  });
  EXPECT_TRUE(loop.RunUntil([&] { return calls > 0; }, kPatienceMs));
  loop.RunFor(20);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tavro::loop
