#include "sim/live_wire.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace tavro::sim {
namespace {

constexpr std::uint64_t kNsPerMs = 1000000;
// The longest the thread sleeps without looking at its queues.
constexpr std::uint64_t kMaxWaitNs = 50 * kNsPerMs;

}  // namespace

std::unique_ptr<LiveWire> LiveWire::FromProfile(platform::Loop& pcLoop, const std::string& dir,
                                                std::uint32_t port, std::string& error,
                                                std::uint32_t baud) {
  Profile profile;
  if (!LoadProfile(dir, profile, error))
    return nullptr;
  auto wire = std::make_unique<LiveWire>(pcLoop, profile, port, baud);
  std::lock_guard lock(wire->mutex_);
  wire->store_ = std::make_unique<ProfileStore>(dir, profile.behaviour, profile.faults);
  wire->terminal_.SetSaveHook([store = wire->store_.get()](const Device& device, Changed changed) {
    store->Save(device, changed);
  });
  return wire;
}

LiveWire::LiveWire(platform::Loop& pcLoop, const Profile& profile, std::uint32_t port,
                   std::uint32_t baud)
    : pcLoop_(pcLoop),
      port_(port),
      baud_(baud == 0 ? 115200 : baud),
      terminal_(clock_, profile.device, profile.behaviour, profile.faults) {
  terminal_.SetSink([this](const link::Bytes& frame) {
    if (plugged_)
      Queue(toPc_, toPcFreeNs_, frame);
  });
  terminal_.SetAdapterRemovedHook([this] { PullLocked(); });
  // A power cut through a fault: the terminal comes back as a real one would.
  terminal_.SetPowerCutHook([this] { clock_.After(2000, [this] { terminal_.PowerUp(); }); });
  {
    std::lock_guard lock(mutex_);
    clock_.SetNow(NowNs() / kNsPerMs);
    terminal_.PowerUp();
  }
  thread_ = std::thread([this] { Run(); });
}

LiveWire::~LiveWire() {
  Stop();
}

void LiveWire::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable())
    thread_.join();
}

std::uint64_t LiveWire::NowNs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

// Ten bit times per byte (start bit, 8 data bits, stop bit).
void LiveWire::Queue(std::deque<Pending>& queue, std::uint64_t& lineFreeNs, link::ByteView bytes) {
  const std::uint64_t byteNs = 10ull * 1000000000ull / baud_;
  std::uint64_t at = std::max(NowNs(), lineFreeNs);
  for (std::uint8_t b : bytes) {
    at += byteNs;
    queue.push_back({at, b});
  }
  lineFreeNs = at;
  wake_.notify_all();
}

bool LiveWire::Open(std::uint32_t port, const link::LineSettings&) {
  RequestStop();
  std::lock_guard lock(mutex_);
  if (!plugged_ || stop_ || port != port_)
    return false;
  // A fresh open starts with empty driver buffers.
  const std::uint64_t now = NowNs();
  while (!toPc_.empty() && toPc_.front().arrivalNs <= now)
    toPc_.pop_front();
  open_ = true;
  running_ = false;
  return true;
}

bool LiveWire::StartWorker() {
  std::lock_guard lock(mutex_);
  if (!open_)
    return false;
  running_ = true;
  wake_.notify_all();
  return true;
}

void LiveWire::WriteFrame(link::ByteView frame) {
  std::lock_guard lock(mutex_);
  if (!open_)
    return;
  // What has arrived and not been handed over belongs to the last exchange.
  delivery_.DropRest();
  generation_ = delivery_.Generation();
  const std::uint64_t now = NowNs();
  while (!toPc_.empty() && toPc_.front().arrivalNs <= now)
    toPc_.pop_front();
  if (plugged_)
    Queue(toTerminal_, toTerminalFreeNs_, frame);
}

void LiveWire::RequestStop() {
  std::lock_guard lock(mutex_);
  delivery_.DropRest();
  generation_ = delivery_.Generation();
  open_ = false;
  running_ = false;
}

bool LiveWire::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

void LiveWire::PullLocked() {
  if (!plugged_)
    return;
  plugged_ = false;
  toPc_.clear();
  toTerminal_.clear();
  unplugNotice_ = true;
  wake_.notify_all();
}

void LiveWire::Unplug() {
  std::lock_guard lock(mutex_);
  PullLocked();
}

void LiveWire::Plug() {
  std::lock_guard lock(mutex_);
  plugged_ = true;
  terminal_.AdapterBack();
}

bool LiveWire::Plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

void LiveWire::SetUnplugHandler(std::function<void()> onUnplug) {
  std::lock_guard lock(mutex_);
  onUnplug_ = std::move(onUnplug);
}

void LiveWire::PowerCut() {
  std::lock_guard lock(mutex_);
  terminal_.PowerCut();
}

void LiveWire::PowerUp() {
  std::lock_guard lock(mutex_);
  terminal_.PowerUp();
}

std::string LiveWire::SaveError() const {
  std::lock_guard lock(mutex_);
  return store_ ? store_->LastError() : std::string();
}

void LiveWire::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    const std::uint64_t now = NowNs();
    clock_.SetNow(now / kNsPerMs);
    clock_.RunDue();
    while (!toTerminal_.empty() && toTerminal_.front().arrivalNs <= now) {
      const std::uint8_t b = toTerminal_.front().byte;
      toTerminal_.pop_front();
      terminal_.OnByte(b);
    }
    clock_.RunDue();

    // Held in the driver until a worker runs; lost when nobody has the port.
    std::vector<std::uint8_t> run;
    if (running_ || !open_) {
      while (!toPc_.empty() && toPc_.front().arrivalNs <= now) {
        run.push_back(toPc_.front().byte);
        toPc_.pop_front();
      }
      if (!open_)
        run.clear();
    }
    const bool unplugged = std::exchange(unplugNotice_, false);
    if (!run.empty() || unplugged) {
      const std::uint64_t readAt = generation_;
      std::function<void()> onUnplug = unplugged ? onUnplug_ : nullptr;
      lock.unlock();
      if (!run.empty())
        pcLoop_.RunOnDecisionThread([this, &run, readAt] { delivery_.Deliver(run, readAt); });
      if (onUnplug)
        pcLoop_.RunOnDecisionThread(onUnplug);
      lock.lock();
      continue;
    }

    std::uint64_t next = now + kMaxWaitNs;
    if (!toTerminal_.empty())
      next = std::min(next, toTerminal_.front().arrivalNs);
    if (!toPc_.empty() && running_)
      next = std::min(next, toPc_.front().arrivalNs);
    std::uint64_t dueMs = 0;
    if (clock_.NextDue(dueMs))
      next = std::min(next, dueMs * kNsPerMs);
    if (next > now)
      wake_.wait_for(lock, std::chrono::nanoseconds(next - now));
  }
}

}  // namespace tavro::sim
