#include "sim/virtual_wire.hpp"

#include <algorithm>
#include <vector>

#include "sim/terminal.hpp"

namespace tavro::sim {
namespace {

constexpr std::uint64_t kNsPerMs = 1000000;

std::uint64_t CeilMs(std::uint64_t ns) {
  return (ns + kNsPerMs - 1) / kNsPerMs;
}

}  // namespace

VirtualWire::VirtualWire(loop::VirtualLoop& loop, Terminal& terminal, std::uint32_t baud,
                         std::uint32_t port)
    : loop_(loop), terminal_(terminal), baud_(baud == 0 ? 115200 : baud), port_(port) {
  terminal_.SetSink([this](const link::Bytes& frame) { FromTerminal(frame); });
}

VirtualWire::~VirtualWire() {
  terminal_.SetSink({});
}

void VirtualWire::Schedule(std::uint64_t atMs, std::function<void()> fn) {
  std::weak_ptr<int> alive = alive_;
  loop_.ScheduleAt(atMs, [alive, fn = std::move(fn)] {
    if (!alive.expired())
      fn();
  });
}

// Ten bit times per byte (start bit, 8 data bits, stop bit).
std::uint64_t VirtualWire::Transmit(std::uint64_t& lineFreeNs, std::size_t count) const {
  const std::uint64_t byteNs = 10ull * 1000000000ull / baud_;
  const std::uint64_t start = std::max(loop_.NowMs() * kNsPerMs, lineFreeNs);
  lineFreeNs = start + count * byteNs;
  return start;
}

void VirtualWire::SendToTerminal(link::ByteView bytes) {
  if (bytes.empty())
    return;
  const std::uint64_t byteNs = 10ull * 1000000000ull / baud_;
  const std::uint64_t start = Transmit(toTerminalFreeNs_, bytes.size());
  // One delivery per millisecond: the terminal counts time in milliseconds.
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint64_t ms = CeilMs(start + (i + 1) * byteNs);
    std::vector<std::uint8_t> group;
    while (i < bytes.size() && CeilMs(start + (i + 1) * byteNs) == ms)
      group.push_back(bytes[i++]);
    Schedule(ms, [this, group = std::move(group)] {
      if (!plugged_)
        return;
      for (std::uint8_t b : group)
        terminal_.OnByte(b);
    });
  }
}

void VirtualWire::FromTerminal(const link::Bytes& frame) {
  if (!plugged_ || frame.empty())
    return;
  const std::uint64_t byteNs = 10ull * 1000000000ull / baud_;
  const std::uint64_t start = Transmit(toPcFreeNs_, frame.size());
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const std::uint64_t ms = CeilMs(start + (i + 1) * byteNs);
    toPc_.push_back({ms, frame[i]});
    if (ms != lastToPcEventMs_) {
      lastToPcEventMs_ = ms;
      Schedule(ms, [this] { DeliverToPc(); });
    }
  }
}

void VirtualWire::DeliverToPc() {
  if (open_ && !running_)
    return;  // held in the driver until the worker runs
  const std::uint64_t now = loop_.NowMs();
  std::vector<std::uint8_t> run;
  while (!toPc_.empty() && toPc_.front().arrivalMs <= now) {
    run.push_back(toPc_.front().byte);
    toPc_.pop_front();
  }
  if (run.empty() || !open_ || !plugged_ || !listening_)
    return;  // nobody listens: the bytes are lost
  const std::uint64_t writes = framesWritten_;
  const std::size_t handed = delivery_.Deliver(run, delivery_.Generation());
  bytesDelivered_ += handed;
  // The rest of the run was purged by a frame write, or lost to a stop.
  if (framesWritten_ != writes)
    bytesPurged_ += run.size() - handed;
}

bool VirtualWire::Open(std::uint32_t port, const link::LineSettings& settings) {
  (void)settings;  // both ends run at the wire's rate
  if (open_)
    RequestStop();
  if (!plugged_ || (port_ != 0 && port != port_))
    return false;
  // A fresh open starts with empty driver buffers.
  const std::uint64_t now = loop_.NowMs();
  while (!toPc_.empty() && toPc_.front().arrivalMs <= now)
    toPc_.pop_front();
  open_ = true;
  running_ = false;
  return true;
}

bool VirtualWire::StartWorker() {
  if (!open_)
    return false;
  running_ = true;
  Schedule(loop_.NowMs(), [this] { DeliverToPc(); });
  return true;
}

void VirtualWire::WriteFrame(link::ByteView frame) {
  if (!open_)
    return;
  delivery_.DropRest();
  const std::uint64_t now = loop_.NowMs();
  while (!toPc_.empty() && toPc_.front().arrivalMs <= now) {
    toPc_.pop_front();
    ++bytesPurged_;
  }
  ++framesWritten_;
  if (plugged_)
    SendToTerminal(frame);
}

void VirtualWire::RequestStop() {
  delivery_.DropRest();
  open_ = false;
  running_ = false;
}

void VirtualWire::ForceStop() {
  RequestStop();
}

void VirtualWire::Unplug() {
  if (!plugged_)
    return;
  plugged_ = false;
  toPc_.clear();
  if (onUnplug_)
    onUnplug_();
}

void VirtualWire::Plug() {
  plugged_ = true;
  terminal_.AdapterBack();
}

void VirtualWire::InjectToTerminal(link::ByteView bytes) {
  if (plugged_)
    SendToTerminal(bytes);
}

}  // namespace tavro::sim
