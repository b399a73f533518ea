#pragma once
// The serial line between the PC side and a simulated terminal, in virtual
// time. Each byte takes 10 bit times at the wire's baud rate in either
// direction; bytes reach the terminal and the PC's byte handler at their
// arrival times, so a test measures what a real line would take.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "link/batch_delivery.hpp"
#include "link/serial_link.hpp"
#include "loop/virtual_loop.hpp"
#include "sim/scheduler.hpp"

namespace tavro::sim {

class Terminal;

// Lets a terminal take its time and delayed work from a VirtualLoop.
class VirtualLoopScheduler : public Scheduler {
 public:
  explicit VirtualLoopScheduler(loop::VirtualLoop& loop) : loop_(loop) {}
  std::uint64_t NowMs() const override { return loop_.NowMs(); }
  void After(std::uint32_t ms, std::function<void()> fn) override {
    loop_.ScheduleAfter(ms, std::move(fn));
  }

 private:
  loop::VirtualLoop& loop_;
};

class VirtualWire : public link::SerialLink {
 public:
  // `port` is the COM number the wire answers to (0: any). The wire becomes
  // the terminal's sink; the terminal must outlive the wire.
  VirtualWire(loop::VirtualLoop& loop, Terminal& terminal, std::uint32_t baud = 115200,
              std::uint32_t port = 0);
  ~VirtualWire() override;
  VirtualWire(const VirtualWire&) = delete;
  VirtualWire& operator=(const VirtualWire&) = delete;

  // link::SerialLink
  void SetByteHandler(ByteHandler onByte) override {
    listening_ = static_cast<bool>(onByte);
    delivery_.SetHandler(std::move(onByte));
  }
  bool Open(std::uint32_t port, const link::LineSettings& settings) override;
  bool StartWorker() override;
  void WriteFrame(link::ByteView frame) override;
  void RequestStop() override;
  void ForceStop() override;
  bool IsOpen() const override { return open_; }

  // The adapter is pulled: nothing passes either way and the port cannot be
  // opened until Plug(). `onUnplug` hears of it (the PC's device watcher).
  void Unplug();
  void Plug();
  bool Plugged() const { return plugged_; }
  void SetUnplugHandler(std::function<void()> onUnplug) { onUnplug_ = std::move(onUnplug); }

  // Sends bytes to the terminal as they are, e.g. a frame cut off half-way.
  void InjectToTerminal(link::ByteView bytes);

  std::uint32_t Baud() const { return baud_; }
  // Frames the PC wrote, and bytes handed to its byte handler.
  std::uint64_t FramesWritten() const { return framesWritten_; }
  std::uint64_t BytesDelivered() const { return bytesDelivered_; }
  // Terminal bytes thrown away by a WriteFrame purge.
  std::uint64_t BytesPurged() const { return bytesPurged_; }

 private:
  struct Pending {
    std::uint64_t arrivalMs;
    std::uint8_t byte;
  };
  // Start time (ns) of `count` bytes sent now on a line busy until
  // `lineFreeNs`, which moves on past them.
  std::uint64_t Transmit(std::uint64_t& lineFreeNs, std::size_t count) const;
  void FromTerminal(const link::Bytes& frame);
  void SendToTerminal(link::ByteView bytes);
  void DeliverToPc();
  void Schedule(std::uint64_t atMs, std::function<void()> fn);

  loop::VirtualLoop& loop_;
  Terminal& terminal_;
  std::uint32_t baud_;
  std::uint32_t port_;
  // Bytes that arrived in the same millisecond reach the PC as one run, as a
  // serial worker hands over what one read returned.
  link::BatchDelivery delivery_;
  bool listening_ = false;
  std::function<void()> onUnplug_;
  bool open_ = false;
  bool running_ = false;
  bool plugged_ = true;
  std::uint64_t toTerminalFreeNs_ = 0;  // when each direction's line is free, ns
  std::uint64_t toPcFreeNs_ = 0;
  std::deque<Pending> toPc_;
  std::uint64_t lastToPcEventMs_ = ~std::uint64_t{0};
  std::uint64_t framesWritten_ = 0;
  std::uint64_t bytesDelivered_ = 0;
  std::uint64_t bytesPurged_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tavro::sim
