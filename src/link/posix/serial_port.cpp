#include "link/posix/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "link/com_ports.hpp"
#include "link/posix/port_lock.hpp"
#include "link/posix/termios_settings.hpp"
#include "link/receive_pacing.hpp"

namespace tavro::link::posix {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOpenTries = 5;
// The most one hand-over carries: a whole 4 KiB block frame and some.
constexpr std::size_t kReadBatch = 8192;
// A frame must leave within this time plus twice its time on the wire.
constexpr std::chrono::milliseconds kWriteGrace{1000};

std::string SystemText(int error) {
  return std::strerror(error);
}

// Errors after which the device is no use any more (unplugged, hung up).
bool DeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

std::chrono::milliseconds WriteTimeLimit(std::size_t bytes, const LineSettings& settings) {
  const std::uint64_t bitsPerChar = 1u + static_cast<std::uint64_t>(settings.dataBits) +
                                    (settings.parity == 'N' ? 0u : 1u) +
                                    static_cast<std::uint64_t>(settings.stopBits);
  const std::uint64_t baud = settings.baud == 0 ? 1 : settings.baud;
  const std::uint64_t wireMs = (bytes * bitsPerChar * 1000 + baud - 1) / baud;
  return kWriteGrace + std::chrono::milliseconds(2 * wireMs);
}

}  // namespace

// One open port and what its worker shares with the owner.
struct CSerialPort::Session {
  std::shared_ptr<WorkerControl> control;
  platform::Loop* loop = nullptr;
  int fd = -1;  // closed by the owner, only after the worker let go of it
  std::uint32_t port = 0;
  LineSettings settings;
  // Guarded by control->Mutex().
  std::vector<std::uint8_t> pending;  // frame waiting to be written
  bool writeRequested = false;
  // The delivery's Generation() as of the last write request: runs read
  // under an older one are stale.
  std::uint64_t generation = 0;

  ~Session() {
    if (fd >= 0)
      ::close(fd);
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
  return session_ != nullptr && session_->fd >= 0;
}

bool CSerialPort::WorkerAlive() const {
  return session_ != nullptr && worker_.joinable() && !session_->control->Ended();
}

void CSerialPort::ReportCommError(const std::string& operation, int error) {
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
  if (worker_.joinable()) {
    EndThread(worker_, session->control, retired_);
  }
  // The worker has ended or is parked in a hand-over and will not touch the
  // descriptor again.
  std::lock_guard lock(session->control->Mutex());
  if (session->fd >= 0) {
    if (dropOutput)
      ::tcflush(session->fd, TCOFLUSH);
    ::close(session->fd);
    session->fd = -1;
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
  const std::string path = ComDevicePath(port);
  if (path.empty()) {
    openFailures_.push_back(ComName(port) + ": no COM port has this number (1 to 255)");
    return false;
  }

  int fd = -1;
  int openError = 0;
  for (int attempt = 0; attempt < kOpenTries && fd < 0; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    openError = errno;
  }
  const std::string device = ComName(port) + " (" + path + "): ";
  if (fd < 0) {
    // Another program that set TIOCEXCL refuses us with EBUSY.
    openFailures_.push_back(device + (openError == EBUSY ? InUseText(FindLockHolder(path))
                                                         : OpenFailureReason(openError)));
    return false;
  }
  // TIOCEXCL does not stop root; the advisory lock stops every instance of
  // this tool, whoever runs it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int lockError = errno;
    ::close(fd);
    openFailures_.push_back(device + (lockError == EWOULDBLOCK
                                          ? InUseText(FindLockHolder(path))
                                          : "cannot be locked: " + SystemText(lockError)));
    return false;
  }
  openFailures_.clear();

  auto session = std::make_shared<Session>();
  session->fd = fd;
  session->port = port;
  session->settings = settings;
  session->loop = &loop_;
  session->control = WorkerControl::Create();
  if (!session->control) {
    ReportCommError("eventfd()", errno);
    return false;  // the session closes the port
  }
  session->pending.reserve(kWriteBufferSize);

  // Configuration stops at the first step that fails; the port stays open.
  const auto failure = [&]() -> std::optional<SettingsFailure> {
    // Not shared: further opens of the device fail with EBUSY.
    if (::ioctl(fd, TIOCEXCL) != 0)
      return SettingsFailure{"ioctl(TIOCEXCL)", errno};
    termios current{};
    if (::tcgetattr(fd, &current) != 0)
      return SettingsFailure{"tcgetattr()", errno};
    termios wanted = current;
    if (auto refused = ApplyLineSettings(settings, wanted))
      return refused;
    if (::tcsetattr(fd, TCSANOW, &wanted) != 0)
      return SettingsFailure{"tcsetattr()", errno};
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0)
      return SettingsFailure{"tcgetattr()", errno};
    if (!SameLineSettings(wanted, applied))
      return SettingsFailure{"tcsetattr()", EINVAL};
    // Opening raised RTS already; say so explicitly. A pseudo terminal or a
    // line without modem control has no RTS to raise, which is no fault.
    const int rts = TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL) {
      return SettingsFailure{"ioctl(TIOCMBIS)", errno};
    }
    return std::nullopt;
  }();
  if (failure)
    ReportCommError(failure->operation, failure->error);

  ::tcflush(fd, TCIOFLUSH);
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
  ::tcflush(session_->fd, TCIOFLUSH);
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
    ReportCommError("write()", EMSGSIZE);
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
  int error = 0;
};

// Writes all of `data` to the non-blocking `fd`, waiting for room while the
// driver's queue is full, until `deadline`. A stop request interrupts it.
WriteResult WriteAll(int fd, WorkerControl& control, const std::vector<std::uint8_t>& data,
                     Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      return {WriteEnd::kFailed, errno};

    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      return {WriteEnd::kFailed, ETIMEDOUT};
    pollfd fds[2] = {{fd, POLLOUT, 0}, {control.WakeFd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR)
      return {WriteEnd::kFailed, errno};
    if (fds[1].revents & POLLIN) {
      control.ClearWake();
      if (control.StopRequested())
        return {WriteEnd::kStopped};
    }
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[0].revents & POLLOUT)) {
      return {WriteEnd::kFailed, EIO};
    }
  }
  return {WriteEnd::kDone};
}

}  // namespace

void CSerialPort::RunWorker(std::shared_ptr<Session> session, CSerialPort* owner) {
  WorkerControl& control = *session->control;
  platform::Loop& loop = *session->loop;
  const int fd = session->fd;
  // `owner` is used only inside hand-overs, which are skipped once the owner
  // has stopped this worker, so it is never used after the owner is gone.
  const auto report = [&](const char* operation, int error) {
    return control.HandOver(
        loop, [owner, operation, error] { owner->ReportCommError(operation, error); });
  };

  std::vector<std::uint8_t> run(kReadBatch);
  ReceivePacing pacing;
  bool gather = false;
  std::vector<std::uint8_t> sending;
  sending.reserve(kWriteBufferSize);

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
      // ends: the driver's input queue (the rest of a run was dropped when
      // the frame was given to WriteFrame).
      ::tcflush(fd, TCIFLUSH);
      pacing.AfterWrite();
      gather = false;
      const auto limit = WriteTimeLimit(sending.size(), session->settings);
      const WriteResult result = WriteAll(fd, control, sending, Clock::now() + limit);
      if (result.end == WriteEnd::kStopped)
        break;
      if (result.end == WriteEnd::kFailed) {
        if (!report("write()", result.error) || DeviceGone(result.error))
          break;
      }
      continue;
    }

    if (gather) {
      // Let the run pile up in the driver; a write or stop request cuts the
      // wait short and is taken at the top.
      gather = false;
      pollfd wake{control.WakeFd(), POLLIN, 0};
      if (::poll(&wake, 1, static_cast<int>(ReceivePacing::kGather.count())) > 0)
        continue;
    }

    pollfd fds[2] = {{fd, POLLIN, 0}, {control.WakeFd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      report("poll()", errno);
      break;
    }
    if (fds[1].revents & POLLIN) {
      control.ClearWake();
      continue;  // the flags are checked at the top
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(fd, run.data(), run.size());
      if (n > 0) {
        const ByteView bytes(run.data(), static_cast<std::size_t>(n));
        gather = pacing.AfterRead(bytes.size(), Clock::now());
        // The run stays valid: this thread waits until it was handed over.
        // A frame written since the flags were read makes it stale.
        if (!control.HandOver(
                loop, [owner, bytes, generation] { owner->delivery_.Deliver(bytes, generation); }))
          break;
        continue;
      }
      if (n == 0)
        break;  // hung up
      if (errno == EAGAIN || errno == EINTR)
        continue;
      if (DeviceGone(errno))
        break;
      if (!report("read()", errno))
        break;
      continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
      break;  // device gone
  }
  control.MarkEnded();
}

}  // namespace tavro::link::posix
