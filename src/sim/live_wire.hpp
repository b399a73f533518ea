#pragma once
// A simulated terminal inside the process, in real time, behind a
// SerialLink: the Windows demo's terminal, where no pseudo terminal exists.
// The terminal runs on a thread of its own; each byte takes 10 bit times at
// the line rate in either direction, and what reaches the PC side is handed
// to the decision thread through Loop::RunOnDecisionThread, as a serial
// worker hands over what one read returned.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/batch_delivery.hpp"
#include "link/serial_link.hpp"
#include "platform/loop.hpp"
#include "sim/profile.hpp"
#include "sim/scheduler.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim {

class LiveWire : public link::SerialLink {
 public:
  // The terminal kept in the profile folder `dir` (every accepted write is
  // saved there), answering on COM<port>. Null with `error` set when the
  // profile cannot be read.
  static std::unique_ptr<LiveWire> FromProfile(platform::Loop& pcLoop, const std::string& dir,
                                               std::uint32_t port, std::string& error,
                                               std::uint32_t baud = 115200);
  LiveWire(platform::Loop& pcLoop, const Profile& profile, std::uint32_t port,
           std::uint32_t baud = 115200);
  // Stops the thread. A hand-over it waits in must be able to finish (or
  // return unrun, as a closed loop's does) for the destructor to return.
  ~LiveWire() override;
  LiveWire(const LiveWire&) = delete;
  LiveWire& operator=(const LiveWire&) = delete;

  // link::SerialLink, on the decision thread.
  void SetByteHandler(ByteHandler onByte) override { delivery_.SetHandler(std::move(onByte)); }
  bool Open(std::uint32_t port, const link::LineSettings& settings) override;
  bool StartWorker() override;
  void WriteFrame(link::ByteView frame) override;
  void RequestStop() override;
  void ForceStop() override { RequestStop(); }
  bool IsOpen() const override;

  // Any thread. The adapter is pulled: nothing passes and the port cannot
  // be opened until Plug(); `onUnplug` hears of it on the decision thread.
  void Unplug();
  void Plug();
  bool Plugged() const;
  void SetUnplugHandler(std::function<void()> onUnplug);
  // The terminal is switched off (silent) or on again.
  void PowerCut();
  void PowerUp();
  // Ends the thread; the wire passes nothing afterwards.
  void Stop();

  std::uint32_t port() const { return port_; }
  // The line rate the bytes are paced to.
  std::uint32_t baud() const { return baud_; }
  // Save failures of the profile folder; empty while every save worked.
  std::string SaveError() const;

 private:
  struct Pending {
    std::uint64_t arrivalNs;
    std::uint8_t byte;
  };
  std::uint64_t NowNs() const;
  // Queues `bytes` on a line free from `lineFreeNs` (moved on past them).
  void Queue(std::deque<Pending>& queue, std::uint64_t& lineFreeNs, link::ByteView bytes);
  void PullLocked();
  void Run();

  platform::Loop& pcLoop_;
  const std::uint32_t port_;
  const std::uint32_t baud_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

  mutable std::mutex mutex_;  // guards everything below but delivery_ and thread_
  std::condition_variable wake_;
  TimerQueue clock_;
  Terminal terminal_;
  std::unique_ptr<ProfileStore> store_;
  std::deque<Pending> toTerminal_;
  std::deque<Pending> toPc_;
  std::uint64_t toTerminalFreeNs_ = 0;
  std::uint64_t toPcFreeNs_ = 0;
  bool open_ = false;
  bool running_ = false;
  bool plugged_ = true;
  bool unplugNotice_ = false;
  bool stop_ = false;
  // delivery_'s generation as the thread may read it.
  std::uint64_t generation_ = 0;
  std::function<void()> onUnplug_;

  link::BatchDelivery delivery_;  // decision thread only
  std::thread thread_;
};

}  // namespace tavro::sim
