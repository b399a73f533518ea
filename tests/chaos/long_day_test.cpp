// A long day at the bench: one window through a thousand operations with
// faults, in virtual time. From the hundredth operation on its heap and its
// open files stay flat, no timer runs while it is idle, and the run log
// grows only by what the operations write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "chaos/bench.hpp"
#include "chaos/campaign.hpp"
#include "chaos/heap_counter.hpp"
#include "data/file_io.hpp"
#include "platform/loop.hpp"

namespace tavro::chaos {
namespace {

std::size_t OpenFiles() {
  std::error_code ec;
  std::size_t n = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
       it.increment(ec))
    ++n;
  return n;
}

std::uint64_t LogSize(Bench& b) {
  return data::FileSize(b.window().runLog().Path()).value_or(0);
}

std::uint32_t Operations() {
  const char* text = std::getenv("TAVRO_LONG_DAY_OPERATIONS");
  return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 1000;
}

struct Sample {
  std::int64_t heap = 0;
  std::size_t files = 0;
};

TEST(LongDay, AThousandOperationsLeaveTheWindowAsItWas) {
  const std::uint32_t operations = Operations();
  ASSERT_GE(operations, 200u);
  CampaignOptions o;
  o.packageDir = TAVRO_CHAOS_PACKAGE_DIR;
  o.maxApp = 12 * 1024;  // small Apps keep a thousand operations quick
  o.fixedOperations = operations;
  std::vector<Sample> samples;
  std::uint64_t lastLog = 0;
  std::uint64_t lastFrames = 0;
  int idleTimers = 0;
  int quietGrowth = 0;
  o.afterOperation = [&](std::uint32_t, Bench& b) {
    for (int id = 1; id <= platform::kLastTimer; ++id)
      idleTimers += b.loop.TimerRunning(id) ? 1 : 0;
    // Every line of the log belongs to a frame, a tick or a step of an
    // operation: a few hundred bytes for each frame the window wrote.
    const std::uint64_t log = LogSize(b);
    const std::uint64_t frames = b.tap->FramesWritten();
    if (log - lastLog > 4096 + 1024 * (frames - lastFrames))
      ++quietGrowth;
    lastLog = log;
    lastFrames = frames;
    samples.push_back({LiveHeapBytes(), OpenFiles()});
  };
  samples.reserve(operations);
  Choices choices(7);
  const SeedResult r = RunCampaign(choices, o);
  ASSERT_TRUE(r.passed) << r.failure << "\n" << r.terminal;
  ASSERT_EQ(samples.size(), operations);
  std::printf("[ long day ] %u operations, %.1f virtual hours; %s; faults: %s\n", operations,
              r.virtualMs / 3600000.0, r.terminal.c_str(), r.faults.Format().c_str());
  EXPECT_GT(r.faults.Total(), operations / 4) << "the day had faults";
  EXPECT_EQ(idleTimers, 0) << "timers ran while the window was idle";
  EXPECT_EQ(quietGrowth, 0) << "the run log grew more than the operations wrote";

  // Flat from the hundredth operation: the highest heap of the second half
  // no higher than that of operations 100 to the middle, open files the same.
  const std::size_t mid = 100 + (samples.size() - 100) / 2;
  std::int64_t firstHigh = 0;
  std::int64_t secondHigh = 0;
  for (std::size_t i = 100; i < samples.size(); ++i) {
    (i < mid ? firstHigh : secondHigh) =
        std::max(i < mid ? firstHigh : secondHigh, samples[i].heap);
    EXPECT_EQ(samples[i].files, samples[99].files) << "open files after operation " << i + 1;
  }
  std::printf(
      "[ long day ] heap after operation 100: %lld bytes, highest to %zu: %lld, after: %lld\n",
      static_cast<long long>(samples[99].heap), mid, static_cast<long long>(firstHigh),
      static_cast<long long>(secondHigh));
  EXPECT_LE(secondHigh, firstHigh + 64 * 1024) << "the heap grew through the day";
  EXPECT_LE(samples.back().heap, samples[99].heap + 256 * 1024);
}

}  // namespace
}  // namespace tavro::chaos
