#include "link/win32/serial_port.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "link/com_ports.hpp"
#include "link/receive_pacing.hpp"

namespace tavro::link::win32 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOpenTries = 5;
// The most one hand-over carries: a whole 4 KiB block frame and some.
constexpr std::size_t kReadBatch = 8192;
// A frame must leave within this time plus twice its time on the wire.
constexpr std::chrono::milliseconds kWriteGrace{1000};
// Reads that fail one after the other without a byte in between: past this
// the port is taken as gone rather than reporting the same failure forever.
constexpr int kReadFailureLimit = 3;

std::chrono::milliseconds WriteTimeLimit(std::size_t bytes, const LineSettings& settings) {
  const std::uint64_t bitsPerChar = 1u + static_cast<std::uint64_t>(settings.dataBits) +
                                    (settings.parity == 'N' ? 0u : 1u) +
                                    static_cast<std::uint64_t>(settings.stopBits);
  const std::uint64_t baud = settings.baud == 0 ? 1 : settings.baud;
  const std::uint64_t wireMs = (bytes * bitsPerChar * 1000 + baud - 1) / baud;
  return kWriteGrace + std::chrono::milliseconds(2 * wireMs);
}

// One overlapped operation with its own manual-reset event.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (ov.hEvent != nullptr)
      ::CloseHandle(ov.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
  bool Valid() const { return ov.hEvent != nullptr; }
};

struct SettingsFailure {
  const char* operation;
  DWORD error;
};

}  // namespace

std::string LineSettingsText(const LineSettings& settings) {
  char text[64];
  std::snprintf(text, sizeof text, "baud=%u parity=%c data=%d stop=%d",
                static_cast<unsigned>(settings.baud), settings.parity, settings.dataBits,
                settings.stopBits);
  return text;
}

std::string ComDeviceName(std::uint32_t port) {
  return "\\\\.\\COM" + std::to_string(port);
}

bool DeviceGone(DWORD error) {
  switch (error) {
    case ERROR_NOT_READY:             // a pseudo terminal behind Wine closed
    case ERROR_BROKEN_PIPE:           // likewise
    case ERROR_BAD_COMMAND:           // USB adapter pulled
    case ERROR_GEN_FAILURE:           // likewise, some drivers
    case ERROR_DEVICE_REMOVED:        // likewise
    case ERROR_DEVICE_NOT_CONNECTED:  // likewise
    case ERROR_INVALID_HANDLE:        // the handle went with the device
    case ERROR_ACCESS_DENIED:         // likewise, on a handle that was open
      return true;
    default:
      return false;
  }
}

// One open port and what its worker shares with the owner.
struct CSerialPort::Session {
  std::shared_ptr<WorkerControl> control;
  platform::Loop* loop = nullptr;
  HANDLE handle = INVALID_HANDLE_VALUE;  // closed by the owner, after the worker let go
  std::uint32_t port = 0;
  LineSettings settings;
  // Guarded by control->Mutex().
  std::vector<std::uint8_t> pending;  // frame waiting to be written
  bool writeRequested = false;
  // The delivery's Generation() as of the last write request: runs read
  // under an older one are stale.
  std::uint64_t generation = 0;

  ~Session() {
    if (handle != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle);
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
  return session_ != nullptr && session_->handle != INVALID_HANDLE_VALUE;
}

bool CSerialPort::WorkerAlive() const {
  return session_ != nullptr && worker_.joinable() && !session_->control->Ended();
}

void CSerialPort::ReportCommError(const std::string& operation, DWORD error) {
  if (onError_)
    onError_(CommErrorText(operation, SystemText(error), port_));
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
  // will not touch the handle again.
  std::lock_guard lock(session->control->Mutex());
  if (session->handle != INVALID_HANDLE_VALUE) {
    if (dropOutput)
      ::PurgeComm(session->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    ::CloseHandle(session->handle);
    session->handle = INVALID_HANDLE_VALUE;
  }
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
  if (port < kFirstComNumber || port > kLastComNumber) {
    openFailures_.push_back(ComName(port) + ": no COM port has this number (1 to 255)");
    return false;
  }
  const std::string name = ComDeviceName(port);
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD openError = 0;
  for (int attempt = 0; attempt < kOpenTries && handle == INVALID_HANDLE_VALUE; ++attempt) {
    ::Sleep(1);
    // Not shared: a port another program holds is refused with access denied.
    handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    openError = ::GetLastError();
  }
  if (handle == INVALID_HANDLE_VALUE) {
    openFailures_.push_back(
        ComName(port) + " (" + name + "): " +
        (openError == ERROR_ACCESS_DENIED ? "in use by another program" : SystemText(openError)));
    return false;
  }
  openFailures_.clear();

  auto session = std::make_shared<Session>();
  session->handle = handle;
  session->port = port;
  session->settings = settings;
  session->loop = &loop_;
  session->control = WorkerControl::Create();
  if (!session->control) {
    ReportCommError("CreateEvent()", ::GetLastError());
    return false;  // the session closes the port
  }
  session->pending.reserve(kWriteBufferSize);

  // Configuration stops at the first step that fails; the port stays open.
  const auto failure = [&]() -> std::optional<SettingsFailure> {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1000;
    timeouts.ReadTotalTimeoutMultiplier = 1000;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = 1000;
    timeouts.WriteTotalTimeoutConstant = 1000;
    if (!::SetCommTimeouts(handle, &timeouts))
      return SettingsFailure{"SetCommTimeouts()", ::GetLastError()};
    if (!::SetCommMask(handle, EV_RXCHAR))
      return SettingsFailure{"SetCommMask()", ::GetLastError()};
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
      return SettingsFailure{"GetCommState()", ::GetLastError()};
    // A raw line: RTS raised while open, no flow control, and a line error
    // does not abort the reads that follow it.
    dcb.fBinary = TRUE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::BuildCommDCBA(LineSettingsText(settings).c_str(), &dcb))
      return SettingsFailure{"BuildCommDCB()", ::GetLastError()};
    if (!::SetCommState(handle, &dcb))
      return SettingsFailure{"SetCommState()", ::GetLastError()};
    return std::nullopt;
  }();
  if (failure)
    ReportCommError(failure->operation, failure->error);

  ::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
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
  ::PurgeComm(session_->handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
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
    ReportCommError("WriteFile()", ERROR_INSUFFICIENT_BUFFER);
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

namespace {

enum class WriteEnd { kDone, kStopped, kFailed };

struct WriteResult {
  WriteEnd end;
  DWORD error = 0;
};

// Waits for `io` to finish, cancelling it first when `cancel`; the count of
// bytes it moved.
DWORD FinishIo(HANDLE handle, Overlapped& io, bool cancel) {
  if (cancel)
    ::CancelIoEx(handle, &io.ov);
  DWORD moved = 0;
  ::GetOverlappedResult(handle, &io.ov, &moved, TRUE);
  return moved;
}

// Writes all of `data` until `deadline`. A stop request interrupts it.
WriteResult WriteAll(HANDLE handle, WorkerControl& control, Overlapped& io,
                     const std::vector<std::uint8_t>& data, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD moved = 0;
    const auto size = static_cast<DWORD>(data.size() - done);
    if (!::WriteFile(handle, data.data() + done, size, &moved, &io.ov)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING)
        return {WriteEnd::kFailed, error};
      for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const HANDLE handles[2] = {control.WakeEvent(), io.ov.hEvent};
        const DWORD ready = ::WaitForMultipleObjects(
            2, handles, FALSE, static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0)));
        if (ready == WAIT_OBJECT_0) {
          control.ClearWake();
          if (!control.StopRequested())
            continue;  // a new frame waits for this one to end
          FinishIo(handle, io, true);
          return {WriteEnd::kStopped};
        }
        if (ready == WAIT_OBJECT_0 + 1)
          break;
        FinishIo(handle, io, true);
        return {WriteEnd::kFailed, ready == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError()};
      }
      if (!::GetOverlappedResult(handle, &io.ov, &moved, FALSE))
        return {WriteEnd::kFailed, ::GetLastError()};
    }
    if (moved == 0 && Clock::now() >= deadline)
      return {WriteEnd::kFailed, ERROR_TIMEOUT};
    done += moved;
  }
  return {WriteEnd::kDone};
}

}  // namespace

void CSerialPort::RunWorker(std::shared_ptr<Session> session, CSerialPort* owner) {
  WorkerControl& control = *session->control;
  platform::Loop& loop = *session->loop;
  const HANDLE handle = session->handle;
  // `owner` is used only inside hand-overs, which are skipped once the owner
  // has stopped this worker, so it is never used after the owner is gone.
  const auto report = [&](const char* operation, DWORD error) {
    return control.HandOver(
        loop, [owner, operation, error] { owner->ReportCommError(operation, error); });
  };

  Overlapped readIo;
  Overlapped writeIo;
  if (!readIo.Valid() || !writeIo.Valid()) {
    report("CreateEvent()", ::GetLastError());
    control.MarkEnded();
    return;
  }
  std::vector<std::uint8_t> batch(kReadBatch);
  std::size_t batchSize = 0;
  ReceivePacing pacing;
  bool gather = false;
  std::vector<std::uint8_t> sending;
  sending.reserve(kWriteBufferSize);
  bool reading = false;  // the 1-byte read into batch[0] is pending
  int readFailures = 0;

  // The first byte is in batch[0]: add what else the driver holds, without
  // waiting, as one batch.
  const auto takeBatch = [&] {
    batchSize = 1;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle, &errors, &status) || status.cbInQue == 0)
      return;
    const auto more = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, kReadBatch - 1));
    DWORD got = 0;
    if (!::ReadFile(handle, batch.data() + 1, more, &got, &readIo.ov)) {
      if (::GetLastError() != ERROR_IO_PENDING)
        return;
      got = FinishIo(handle, readIo, false);  // the bytes are there: at once
    }
    batchSize += got;
  };
  // A read that failed with `error`: false when the worker must end.
  const auto readFailed = [&](DWORD error) {
    if (error == ERROR_TIMEOUT)
      return true;  // nothing came within the read time-outs: read again
    if (DeviceGone(error) || ++readFailures >= kReadFailureLimit)
      return false;
    DWORD errors = 0;
    ::ClearCommError(handle, &errors, nullptr);
    return error == ERROR_OPERATION_ABORTED || report("ReadFile()", error);
  };

  for (;;) {
    bool write = false;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(control.Mutex());
      if (control.StopRequested())
        break;
      generation = session->generation;
      if (session->writeRequested) {
        session->writeRequested = false;
        sending.swap(session->pending);
        session->pending.clear();
        write = true;
      }
    }

    if (write) {
      // Everything not handed over yet belongs to the exchange the frame
      // ends: a byte the pending read may have taken, the rest of the batch
      // and the driver's input queue.
      if (reading) {
        FinishIo(handle, readIo, true);
        reading = false;
      }
      batchSize = 0;
      gather = false;
      pacing.AfterWrite();
      ::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR);
      const auto limit = WriteTimeLimit(sending.size(), session->settings);
      const WriteResult result = WriteAll(handle, control, writeIo, sending, Clock::now() + limit);
      if (result.end == WriteEnd::kStopped)
        break;
      if (result.end == WriteEnd::kFailed) {
        if (!report("WriteFile()", result.error) || DeviceGone(result.error))
          break;
      }
      continue;
    }

    if (batchSize > 0) {
      const ByteView run(batch.data(), batchSize);
      batchSize = 0;
      gather = pacing.AfterRead(run.size(), Clock::now());
      // The run stays valid: this thread waits until it was handed over. A
      // frame written since the flags were read makes it stale.
      if (!control.HandOver(
              loop, [owner, run, generation] { owner->delivery_.Deliver(run, generation); }))
        break;
      continue;
    }

    if (gather && !reading) {
      // Let the run pile up in the driver; a write or stop request cuts the
      // wait short and is taken at the top.
      gather = false;
      const auto waitMs = static_cast<DWORD>(ReceivePacing::kGather.count());
      if (::WaitForSingleObject(control.WakeEvent(), waitMs) == WAIT_OBJECT_0) {
        control.ClearWake();
        continue;
      }
    }

    if (!reading) {
      DWORD got = 0;
      if (::ReadFile(handle, batch.data(), 1, &got, &readIo.ov)) {
        if (got == 1) {
          readFailures = 0;
          takeBatch();
        }
        continue;  // got 0: the read time-outs ran out
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) {
        if (!readFailed(error))
          break;
        continue;
      }
      reading = true;
    }

    const HANDLE handles[2] = {control.WakeEvent(), readIo.ov.hEvent};
    const DWORD ready = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (ready == WAIT_OBJECT_0) {
      control.ClearWake();
      continue;  // the flags are checked at the top; the read stays pending
    }
    if (ready != WAIT_OBJECT_0 + 1) {
      report("WaitForMultipleObjects()", ::GetLastError());
      break;
    }
    reading = false;
    DWORD got = 0;
    if (!::GetOverlappedResult(handle, &readIo.ov, &got, FALSE)) {
      if (!readFailed(::GetLastError()))
        break;
      continue;
    }
    if (got == 1) {
      readFailures = 0;
      takeBatch();
    }
  }
  if (reading)
    FinishIo(handle, readIo, true);
  control.MarkEnded();
}

}  // namespace tavro::link::win32
