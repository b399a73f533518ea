#pragma once
// Test doubles for the serial transport: a decision thread the test drives by
// hand, an error recorder, and pseudo terminals standing in for
// a terminal on a serial cable.

#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link.hpp"
#include "platform/loop.hpp"

namespace tavro::test {

using namespace std::chrono_literals;

// The test thread is the decision thread: functions handed over by other
// threads wait in a queue until the test runs them.
class TestLoop final : public platform::Loop {
 public:
  ~TestLoop() override { Close(); }

  void SetTickHandler(TickHandler) override {}
  void StartTimer(int, std::uint32_t) override {}
  void StopTimer(int) override {}
  bool TimerRunning(int) const override { return false; }
  void Sleep(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  std::uint64_t NowMs() const override { return 0; }
  std::time_t WallTime() const override { return 0; }

  void RunOnDecisionThread(const std::function<void()>& fn) override {
    auto item = std::make_shared<Item>();
    item->fn = &fn;
    std::unique_lock lock(mutex_);
    if (closed_)
      return;
    queue_.push_back(item);
    changed_.notify_all();
    changed_.wait(lock, [&] { return item->done || closed_; });
  }

  // Runs the oldest handed-over function; false when none came in time.
  bool RunOne(std::chrono::milliseconds timeout = 5s) {
    std::shared_ptr<Item> item;
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, timeout, [&] { return !queue_.empty(); }))
        return false;
      item = queue_.front();
      queue_.pop_front();
    }
    (*item->fn)();
    std::lock_guard lock(mutex_);
    item->done = true;
    ++ran_;
    changed_.notify_all();
    return true;
  }

  // Runs handed-over functions until `done()` holds; false on time-out.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        return false;
      RunOne(std::min<std::chrono::milliseconds>(left, 50ms));
    }
    return true;
  }

  // Waits until a function is waiting, without running it.
  bool WaitPending(std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
  }

  std::size_t Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

  std::size_t Ran() const {
    std::lock_guard lock(mutex_);
    return ran_;
  }

  // Releases every waiting thread without running its function, as a loop
  // that shuts down would.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    changed_.notify_all();
  }

 private:
  struct Item {
    const std::function<void()>* fn = nullptr;
    bool done = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Item>> queue_;
  std::size_t ran_ = 0;
  bool closed_ = false;
};

// Turns a hang of the decision thread into a test failure: when not
// destroyed within `limit`, it closes the loop, which releases every thread
// waiting in a hand-over, and records that it had to.
class HangGuard {
 public:
  HangGuard(TestLoop& loop, std::chrono::milliseconds limit = 3s)
      : thread_([this, &loop, limit] {
          std::unique_lock lock(mutex_);
          if (!changed_.wait_for(lock, limit, [&] { return done_; })) {
            fired_ = true;
            loop.Close();
          }
        }) {}
  ~HangGuard() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

  bool fired() const {
    std::lock_guard lock(mutex_);
    return fired_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;
};

// Records boxes; they must be asked for on the thread that created it (the
// decision thread).
class ThreadCheckingErrors {
 public:
  // The handler a port under test reports to; every report must arrive on
  // the decision thread.
  link::SerialLink::ErrorHandler Handler() {
    return [this](const std::string& text) {
      EXPECT_EQ(std::this_thread::get_id(), decisionThread) << "error from another thread";
      texts.push_back(text);
    };
  }

  std::vector<std::string> texts;
  std::thread::id decisionThread = std::this_thread::get_id();
};

// A pseudo terminal: the test plays the terminal on `master`; the port opens
// `path`.
class Pty {
 public:
  Pty() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0)
      path_ = ::ttyname(slave_);
  }
  ~Pty() {
    CloseMaster();
    CloseSlave();
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  int slave() const { return slave_; }

  void CloseMaster() {
    if (master_ >= 0)
      ::close(master_);
    master_ = -1;
  }
  void CloseSlave() {
    if (slave_ >= 0)
      ::close(slave_);
    slave_ = -1;
  }

  bool Send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0)
        return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Send(const std::string& text) const {
    return Send(std::vector<std::uint8_t>(text.begin(), text.end()));
  }

  // Reads until `count` bytes came or `timeout` passed without any.
  std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout = 5s) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    while (bytes.size() < count) {
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0)
        break;
      const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
      if (n <= 0)
        break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() { ::unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
};

inline std::size_t CountEntries(const char* folder) {
  std::size_t count = 0;
  if (DIR* dir = ::opendir(folder)) {
    while (::readdir(dir) != nullptr)
      ++count;
    ::closedir(dir);
  }
  return count;
}
inline std::size_t ThreadCount() {
  return CountEntries("/proc/self/task");
}
inline std::size_t OpenFdCount() {
  return CountEntries("/proc/self/fd");
}

// Waits for `done()` on the test thread without running handed-over work.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A thread that was joined may still be listed for a moment.
inline bool ThreadsSettleAt(std::size_t count) {
  return WaitFor([&] { return ThreadCount() == count; });
}

}  // namespace tavro::test
