#include "link/win32/port_device.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "link/com_ports.hpp"
#include "link/port_device.hpp"
#include "link/win32/worker_control.hpp"

namespace tavro::link {
namespace win32 {

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

}  // namespace win32

namespace {

constexpr int kOpenTries = 5;
// Reads that fail one after the other without a byte in between: past this
// the port is taken as gone rather than reporting the same failure forever.
constexpr int kReadFailureLimit = 3;

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

// Waits for `io` to finish, cancelling it first when `cancel`; the count of
// bytes it moved.
DWORD FinishIo(HANDLE handle, Overlapped& io, bool cancel) {
  if (cancel)
    ::CancelIoEx(handle, &io.ov);
  DWORD moved = 0;
  ::GetOverlappedResult(handle, &io.ov, &moved, TRUE);
  return moved;
}

// A write that failed: the worker ends after the report when the device is
// gone.
IoResult WriteFailed(DWORD error) {
  const SystemFailure failure{"WriteFile()", error};
  return win32::DeviceGone(error) ? IoResult::Broken(failure) : IoResult::Failed(failure);
}

class CommDevice : public PortDevice {
 public:
  explicit CommDevice(HANDLE handle) : handle_(handle) {}
  ~CommDevice() override { Close(false); }

  std::shared_ptr<WorkerControl> MakeControl(SystemFailure& failure) override {
    control_ = win32::WorkerControl::Create();
    if (!control_)
      failure = {"CreateEvent()", ::GetLastError()};
    return control_;
  }

  std::optional<SystemFailure> Configure(const LineSettings& settings) override;

  void ClearQueues(bool justOpened) override {
    const DWORD abort = justOpened ? PURGE_RXABORT | PURGE_TXABORT : 0;
    ::PurgeComm(handle_, abort | PURGE_RXCLEAR | PURGE_TXCLEAR);
  }

  void Close(bool dropOutput) override {
    if (handle_ == INVALID_HANDLE_VALUE)
      return;
    if (dropOutput)
      ::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  SystemFailure FrameTooLarge() const override {
    return {"WriteFile()", ERROR_INSUFFICIENT_BUFFER};
  }

  std::optional<SystemFailure> BeginWork() override {
    readIo_.emplace();
    writeIo_.emplace();
    if (!readIo_->Valid() || !writeIo_->Valid())
      return SystemFailure{"CreateEvent()", ::GetLastError()};
    return std::nullopt;
  }

  void DiscardInput() override {
    if (reading_) {
      FinishIo(handle_, *readIo_, true);
      reading_ = false;
    }
    ::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);
  }

  IoResult Write(const std::vector<std::uint8_t>& data, Clock::time_point deadline) override;

  bool Pause(std::chrono::milliseconds wait) override {
    if (reading_)
      return false;  // the pending read already waits for the next byte
    if (::WaitForSingleObject(control_->WakeEvent(), static_cast<DWORD>(wait.count())) !=
        WAIT_OBJECT_0)
      return false;
    control_->ClearWake();
    return true;
  }

  IoResult WaitAndRead(std::span<std::uint8_t> into) override;

  void EndWork() override {
    if (!reading_)
      return;
    reading_ = false;
    // A worker that ends after a stop may find the handle closed, which
    // cancelled the read: it only has to let go of the run's buffer.
    if (handle_ != INVALID_HANDLE_VALUE)
      FinishIo(handle_, *readIo_, true);
    else
      ::WaitForSingleObject(readIo_->ov.hEvent, INFINITE);
  }

 private:
  IoResult TakeRun(std::span<std::uint8_t> into);
  IoResult ReadFailed(DWORD error);

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::shared_ptr<win32::WorkerControl> control_;
  // The worker's.
  std::optional<Overlapped> readIo_;
  std::optional<Overlapped> writeIo_;
  bool reading_ = false;  // the 1-byte read into the run's first byte is pending
  int readFailures_ = 0;
};

std::optional<SystemFailure> CommDevice::Configure(const LineSettings& settings) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 1000;
  timeouts.ReadTotalTimeoutMultiplier = 1000;
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = 1000;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!::SetCommTimeouts(handle_, &timeouts))
    return SystemFailure{"SetCommTimeouts()", ::GetLastError()};
  if (!::SetCommMask(handle_, EV_RXCHAR))
    return SystemFailure{"SetCommMask()", ::GetLastError()};
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handle_, &dcb))
    return SystemFailure{"GetCommState()", ::GetLastError()};
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
  if (!::BuildCommDCBA(win32::LineSettingsText(settings).c_str(), &dcb))
    return SystemFailure{"BuildCommDCB()", ::GetLastError()};
  if (!::SetCommState(handle_, &dcb))
    return SystemFailure{"SetCommState()", ::GetLastError()};
  return std::nullopt;
}

IoResult CommDevice::Write(const std::vector<std::uint8_t>& data, Clock::time_point deadline) {
  Overlapped& io = *writeIo_;
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD moved = 0;
    const auto size = static_cast<DWORD>(data.size() - done);
    if (!::WriteFile(handle_, data.data() + done, size, &moved, &io.ov)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING)
        return WriteFailed(error);
      for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const HANDLE handles[2] = {control_->WakeEvent(), io.ov.hEvent};
        const DWORD ready = ::WaitForMultipleObjects(
            2, handles, FALSE, static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0)));
        if (ready == WAIT_OBJECT_0) {
          control_->ClearWake();
          if (!control_->StopRequested())
            continue;  // a new frame waits for this one to end
          FinishIo(handle_, io, true);
          return IoResult::End();
        }
        if (ready == WAIT_OBJECT_0 + 1)
          break;
        FinishIo(handle_, io, true);
        return WriteFailed(ready == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError());
      }
      if (!::GetOverlappedResult(handle_, &io.ov, &moved, FALSE))
        return WriteFailed(::GetLastError());
    }
    if (moved == 0 && Clock::now() >= deadline)
      return WriteFailed(ERROR_TIMEOUT);
    done += moved;
  }
  return IoResult::Done();
}

IoResult CommDevice::WaitAndRead(std::span<std::uint8_t> into) {
  if (!reading_) {
    DWORD got = 0;
    if (::ReadFile(handle_, into.data(), 1, &got, &readIo_->ov))
      return got == 1 ? TakeRun(into) : IoResult::Again();  // 0: the time-outs ran out
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING)
      return ReadFailed(error);
    reading_ = true;
  }
  const HANDLE handles[2] = {control_->WakeEvent(), readIo_->ov.hEvent};
  const DWORD ready = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (ready == WAIT_OBJECT_0) {
    control_->ClearWake();
    return IoResult::Again();  // the requests are looked at first; the read stays pending
  }
  if (ready != WAIT_OBJECT_0 + 1)
    return IoResult::Broken(SystemFailure{"WaitForMultipleObjects()", ::GetLastError()});
  reading_ = false;
  DWORD got = 0;
  if (!::GetOverlappedResult(handle_, &readIo_->ov, &got, FALSE))
    return ReadFailed(::GetLastError());
  return got == 1 ? TakeRun(into) : IoResult::Again();
}

// The first byte is in into[0]: adds what else the driver holds, without
// waiting.
IoResult CommDevice::TakeRun(std::span<std::uint8_t> into) {
  readFailures_ = 0;
  IoResult run = IoResult::Done(1);
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(handle_, &errors, &status) || status.cbInQue == 0)
    return run;
  const auto more = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, into.size() - 1));
  DWORD got = 0;
  if (!::ReadFile(handle_, into.data() + 1, more, &got, &readIo_->ov)) {
    if (::GetLastError() != ERROR_IO_PENDING)
      return run;
    got = FinishIo(handle_, *readIo_, false);  // the bytes are there: at once
  }
  run.count += got;
  return run;
}

IoResult CommDevice::ReadFailed(DWORD error) {
  if (error == ERROR_TIMEOUT)
    return IoResult::Again();  // nothing came within the read time-outs: read again
  if (win32::DeviceGone(error) || ++readFailures_ >= kReadFailureLimit)
    return IoResult::End();
  DWORD errors = 0;
  ::ClearCommError(handle_, &errors, nullptr);
  if (error == ERROR_OPERATION_ABORTED)
    return IoResult::Again();
  return IoResult::Failed(SystemFailure{"ReadFile()", error});
}

}  // namespace

std::string SystemErrorText(SystemError error) {
  return win32::SystemText(error);
}

std::unique_ptr<PortDevice> OpenPortDevice(std::uint32_t port, std::string& failure) {
  if (port < kFirstComNumber || port > kLastComNumber) {
    failure = ComName(port) + ": no COM port has this number (1 to 255)";
    return nullptr;
  }
  const std::string name = win32::ComDeviceName(port);
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
    failure = ComName(port) + " (" + name + "): " +
              (openError == ERROR_ACCESS_DENIED ? "in use by another program"
                                                : win32::SystemText(openError));
    return nullptr;
  }
  return std::make_unique<CommDevice>(handle);
}

}  // namespace tavro::link
