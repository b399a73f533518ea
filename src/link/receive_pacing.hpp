#pragma once
// When a serial worker lets received bytes pile up before it reads again.
//
// A paced line brings a few bytes at a time; handing each read over wakes
// the decision thread about once per millisecond, which costs a few percent
// of a core while a 4 KiB block comes in. Waiting for more costs turnaround
// instead: the last bytes of a frame reach the receive path later. So answers
// and the start of every frame are handed over as they come, and only a run
// that has already brought kLongRun bytes without a pause is gathered,
// kGatherMs at a time: it delays the end of a long block by at most that,
// and the short answers that pace a download not at all.

#include <chrono>
#include <cstddef>

namespace tavro::link {

class ReceivePacing {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::milliseconds kGather{4};
  // A pause this long ends a run: what comes next is a new frame.
  static constexpr std::chrono::milliseconds kPause{20};
  static constexpr std::size_t kLongRun = 128;
  // A read that returns this much comes from a fast line (or a backlog):
  // waiting would only slow it down.
  static constexpr std::size_t kFastRead = 1024;

  // A read returned `count` bytes at `now`. True when the worker should
  // wait kGather (or until it is woken) before it reads again.
  bool AfterRead(std::size_t count, Clock::time_point now) {
    if (now - lastRead_ > kPause)
      streamed_ = 0;
    lastRead_ = now;
    streamed_ += count;
    return count < kFastRead && streamed_ >= kLongRun;
  }

  // A frame went out: the answer to it starts a new run.
  void AfterWrite() { streamed_ = 0; }

 private:
  Clock::time_point lastRead_{};
  std::size_t streamed_ = 0;
};

}  // namespace tavro::link
