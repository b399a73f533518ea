#include "link/serial_port.hpp"

#include <chrono>
#include <system_error>
#include <utility>

#include "link/receive_pacing.hpp"

namespace tavro::link {
namespace {

using Clock = PortDevice::Clock;

// The most one hand-over carries: a whole 4 KiB block frame and some.
constexpr std::size_t kReadBatch = 8192;
// A frame must leave within this time plus twice its time on the wire.
constexpr std::chrono::milliseconds kWriteGrace{1000};

std::chrono::milliseconds WriteTimeLimit(std::size_t bytes, const LineSettings& settings) {
  const std::uint64_t bitsPerChar = 1u + static_cast<std::uint64_t>(settings.dataBits) +
                                    (settings.parity == 'N' ? 0u : 1u) +
                                    static_cast<std::uint64_t>(settings.stopBits);
  const std::uint64_t baud = settings.baud == 0 ? 1 : settings.baud;
  const std::uint64_t wireMs = (bytes * bitsPerChar * 1000 + baud - 1) / baud;
  return kWriteGrace + std::chrono::milliseconds(2 * wireMs);
}

// Whether the worker goes on after an I/O step that handed nothing over;
// `report` tells the owner of a failure and is false once it stopped the
// worker.
template <typename Report>
bool GoOn(const IoResult& result, const Report& report) {
  switch (result.kind) {
    case IoResult::kFailed:
      return report(result.failure);
    case IoResult::kBroken:
      report(result.failure);
      return false;
    case IoResult::kEnd:
      return false;
    case IoResult::kDone:
    case IoResult::kAgain:
      break;
  }
  return true;
}

// What the worker found asked of it.
struct Requests {
  bool stop = false;
  bool write = false;  // a frame waits in the worker's buffer
  // The delivery's generation for what is read from now on.
  std::uint64_t generation = 0;
};

}  // namespace

// One open port and what its worker shares with the owner.
struct CSerialPort::Session {
  std::shared_ptr<WorkerControl> control;
  // Closed by the owner, only after the worker let go of it.
  std::unique_ptr<PortDevice> device;
  platform::Loop* loop = nullptr;
  std::uint32_t port = 0;
  LineSettings settings;
  // Guarded by control->Mutex().
  std::vector<std::uint8_t> pending;  // frame waiting to be written
  bool writeRequested = false;
  // The delivery's Generation() as of the last write request: runs read
  // under an older one are stale.
  std::uint64_t generation = 0;

  // The worker: takes the requests, a frame to write into `sending`.
  Requests Take(std::vector<std::uint8_t>& sending) {
    std::lock_guard lock(control->Mutex());
    if (control->StopRequested())
      return {true, false, 0};
    Requests requests{false, writeRequested, generation};
    if (writeRequested) {
      writeRequested = false;
      sending.swap(pending);
      pending.clear();
    }
    return requests;
  }
};

CSerialPort::CSerialPort(platform::Loop& loop) : loop_(loop) {}

CSerialPort::~CSerialPort() {
  Stop(false);
}

void CSerialPort::SetByteHandler(ByteHandler onByte) {
  delivery_.SetHandler(std::move(onByte));
}

void CSerialPort::SetErrorHandler(ErrorHandler onError) {
  onError_ = std::move(onError);
}

bool CSerialPort::IsOpen() const {
  return session_ != nullptr && session_->device->IsOpen();
}

bool CSerialPort::WorkerAlive() const {
  return session_ != nullptr && worker_.joinable() && !session_->control->Ended();
}

void CSerialPort::ReportCommError(const std::string& operation, SystemError error) {
  if (onError_)
    onError_(CommErrorText(operation, SystemErrorText(error), port_));
}

void CSerialPort::Stop(bool dropOutput) {
  // A handler that stops the port mid-run hears nothing more of it.
  delivery_.DropRest();
  retired_.JoinEnded();
  if (!session_)
    return;
  std::shared_ptr<Session> session = std::move(session_);
  if (worker_.joinable())
    EndThread(worker_, session->control, retired_);
  // The worker has ended or is parked in a hand-over with no I/O pending and
  // will not touch the device again.
  std::lock_guard lock(session->control->Mutex());
  session->device->Close(dropOutput);
}

void CSerialPort::RequestStop() {
  Stop(false);
}

void CSerialPort::ForceStop() {
  Stop(true);
}

bool CSerialPort::Open(std::uint32_t port, const LineSettings& settings) {
  Stop(false);
  port_ = port;
  std::string failure;
  std::unique_ptr<PortDevice> device = OpenPortDevice(port, failure);
  if (!device) {
    openFailures_.push_back(std::move(failure));
    return false;
  }
  openFailures_.clear();

  auto session = std::make_shared<Session>();
  session->port = port;
  session->settings = settings;
  session->loop = &loop_;
  SystemFailure noControl;
  session->control = device->MakeControl(noControl);
  session->device = std::move(device);
  if (!session->control) {
    ReportCommError(noControl.operation, noControl.error);
    return false;  // the session closes the port
  }
  session->pending.reserve(kWriteBufferSize);

  // Configuration stops at the first step that fails; the port stays open.
  if (const auto refused = session->device->Configure(settings))
    ReportCommError(refused->operation, refused->error);
  session->device->ClearQueues(true);
  session_ = std::move(session);
  return true;
}

bool CSerialPort::StartWorker() {
  retired_.JoinEnded();
  if (!IsOpen())
    return false;
  if (worker_.joinable()) {
    if (!session_->control->Ended())
      return true;  // already running
    worker_.join();
  }
  // A new worker starts with empty queues. Done here rather than on the
  // worker so that whatever the terminal sends after StartWorker returns is
  // received.
  session_->device->ClearQueues(false);
  {
    std::lock_guard lock(session_->control->Mutex());
    session_->generation = delivery_.Generation();
  }
  try {
    worker_ = std::thread(&CSerialPort::RunWorker, session_, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CSerialPort::WriteFrame(ByteView frame) {
  if (!IsOpen())
    return;
  if (frame.size() > kWriteBufferSize) {
    const SystemFailure refused = session_->device->FrameTooLarge();
    ReportCommError(refused.operation, refused.error);
    return;
  }
  delivery_.DropRest();
  {
    std::lock_guard lock(session_->control->Mutex());
    session_->generation = delivery_.Generation();
    session_->pending.assign(frame.begin(), frame.end());
    session_->writeRequested = true;
  }
  session_->control->Wake();
}

void CSerialPort::RunWorker(std::shared_ptr<Session> session, CSerialPort* owner) {
  WorkerControl& control = *session->control;
  PortDevice& device = *session->device;
  platform::Loop& loop = *session->loop;
  // `owner` is used only inside hand-overs, which are skipped once the owner
  // has stopped this worker, so it is never used after the owner is gone.
  const auto report = [&](SystemFailure failure) {
    return control.HandOver(
        loop, [owner, failure] { owner->ReportCommError(failure.operation, failure.error); });
  };

  if (const auto failure = device.BeginWork()) {
    report(*failure);
    control.MarkEnded();
    return;
  }
  std::vector<std::uint8_t> run(kReadBatch);
  ReceivePacing pacing;
  bool gather = false;
  std::vector<std::uint8_t> sending;
  sending.reserve(kWriteBufferSize);

  for (;;) {
    const Requests requests = session->Take(sending);
    if (requests.stop)
      break;
    if (requests.write) {
      // The rest of a run was dropped when the frame was given to WriteFrame;
      // what the device still holds goes too.
      device.DiscardInput();
      pacing.AfterWrite();
      gather = false;
      const auto limit = WriteTimeLimit(sending.size(), session->settings);
      if (!GoOn(device.Write(sending, Clock::now() + limit), report))
        break;
      continue;
    }
    // Let a long run pile up in the driver; a write or stop request cuts the
    // wait short and is taken at the top.
    if (std::exchange(gather, false) && device.Pause(ReceivePacing::kGather))
      continue;

    const IoResult read = device.WaitAndRead(run);
    if (read.kind != IoResult::kDone) {
      if (!GoOn(read, report))
        break;
      continue;
    }
    const ByteView bytes(run.data(), read.count);
    gather = pacing.AfterRead(bytes.size(), Clock::now());
    // The run stays valid: this thread waits until it was handed over. A
    // frame written since the requests were taken makes it stale.
    const std::uint64_t generation = requests.generation;
    if (!control.HandOver(
            loop, [owner, bytes, generation] { owner->delivery_.Deliver(bytes, generation); }))
      break;
  }
  device.EndWork();
  control.MarkEnded();
}

}  // namespace tavro::link
