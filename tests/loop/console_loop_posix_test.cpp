// The console loop watching descriptors with poll(2): pipes stand in for the
// keyboard and the serial line.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "loop/console_loop.hpp"

namespace tavro::loop {
namespace {

// Real time: bounds are generous so a loaded machine cannot make these flaky.
constexpr std::uint32_t kPatienceMs = 10000;

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  void Put(char c) { ASSERT_EQ(::write(fds[1], &c, 1), 1); }
  char Take() {
    char c = 0;
    EXPECT_EQ(::read(fds[0], &c, 1), 1);
    return c;
  }
  int fds[2] = {-1, -1};
};

TEST(ConsoleLoop, WatchedPipeDeliversAndCanBeUnwatched) {
  loop::ConsoleLoop loop;
  Pipe pipe;
  std::string got;
  loop.WatchFd(pipe.fds[0], [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    got += pipe.Take();
    if (got.size() == 2)
      loop.UnwatchFd(pipe.fds[0]);
  });
  pipe.Put('a');
  pipe.Put('b');
  pipe.Put('c');
  EXPECT_TRUE(loop.RunUntil([&] { return got.size() == 2; }, kPatienceMs));
  loop.RunFor(30);
  EXPECT_EQ(got, "ab");
}

TEST(ConsoleLoop, NestedRunKeepsHandlingBytesAndTicks) {
  loop::ConsoleLoop loop;
  Pipe input;   // the console's keyboard
  Pipe serial;  // bytes from the terminal
  std::string serialBytes;
  int ticks = 0;
  char answer = 0;
  bool outerDone = false;
  loop.SetTickHandler([&](int) { ++ticks; });
  loop.WatchFd(serial.fds[0], [&](short) { serialBytes += serial.Take(); });
  loop.StartTimer(3, 5);
  // A question while bytes keep coming: the nested run waits for the answer.
  loop.WatchFd(input.fds[0], [&](short) {
    answer = input.Take();
    if (answer != 'q')
      return;
    const int ticksBefore = ticks;
    std::thread feeder([&] {
      serial.Put('x');
      serial.Put('y');
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      input.Put('y');
    });
    answer = 0;
    EXPECT_TRUE(loop.RunUntil([&] { return answer == 'y'; }, kPatienceMs));
    feeder.join();
    EXPECT_GT(ticks, ticksBefore);
    outerDone = true;
  });
  input.Put('q');
  EXPECT_TRUE(loop.RunUntil([&] { return outerDone; }, kPatienceMs));
  EXPECT_EQ(serialBytes, "xy");
}

TEST(ConsoleLoop, QuitEndsRunsFromAnotherThread) {
  loop::ConsoleLoop loop;
  std::thread quitter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Quit();
  });
  EXPECT_FALSE(loop.RunUntil([] { return false; }));
  quitter.join();
  EXPECT_TRUE(loop.Quitting());
  loop.ResetQuit();
  EXPECT_FALSE(loop.Quitting());
  bool ran = false;
  loop.StartTimer(2, 1);
  loop.SetTickHandler([&](int) { ran = true; });
  EXPECT_TRUE(loop.RunUntil([&] { return ran; }, kPatienceMs));
}

}  // namespace
}  // namespace tavro::loop
