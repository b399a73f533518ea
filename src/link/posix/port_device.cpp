// The serial device on Linux: a tty opened non-blocking, set up through
// termios, and a worker that waits in poll() on it and on its eventfd.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "link/com_ports.hpp"
#include "link/port_device.hpp"
#include "link/posix/port_lock.hpp"
#include "link/posix/termios_settings.hpp"
#include "link/posix/worker_control.hpp"

namespace tavro::link {
namespace {

constexpr int kOpenTries = 5;

SystemError Errno() {
  return static_cast<SystemError>(errno);
}

// Errors after which the device is no use any more (unplugged, hung up).
bool DeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

class TtyDevice : public PortDevice {
 public:
  explicit TtyDevice(int fd) : fd_(fd) {}
  ~TtyDevice() override { Close(false); }

  std::shared_ptr<WorkerControl> MakeControl(SystemFailure& failure) override {
    control_ = posix::WorkerControl::Create();
    if (!control_)
      failure = {"eventfd()", Errno()};
    return control_;
  }

  std::optional<SystemFailure> Configure(const LineSettings& settings) override {
    // Not shared: further opens of the device fail with EBUSY.
    if (::ioctl(fd_, TIOCEXCL) != 0)
      return SystemFailure{"ioctl(TIOCEXCL)", Errno()};
    termios current{};
    if (::tcgetattr(fd_, &current) != 0)
      return SystemFailure{"tcgetattr()", Errno()};
    termios wanted = current;
    if (auto refused = posix::ApplyLineSettings(settings, wanted))
      return SystemFailure{refused->operation, static_cast<SystemError>(refused->error)};
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0)
      return SystemFailure{"tcsetattr()", Errno()};
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0)
      return SystemFailure{"tcgetattr()", Errno()};
    if (!posix::SameLineSettings(wanted, applied))
      return SystemFailure{"tcsetattr()", EINVAL};
    // Opening raised RTS already; say so explicitly. A pseudo terminal or a
    // line without modem control has no RTS to raise, which is no fault.
    const int rts = TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL)
      return SystemFailure{"ioctl(TIOCMBIS)", Errno()};
    return std::nullopt;
  }

  void ClearQueues(bool /*justOpened*/) override { ::tcflush(fd_, TCIOFLUSH); }

  void Close(bool dropOutput) override {
    if (fd_ < 0)
      return;
    if (dropOutput)
      ::tcflush(fd_, TCOFLUSH);
    ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }
  SystemFailure FrameTooLarge() const override { return {"write()", EMSGSIZE}; }

  std::optional<SystemFailure> BeginWork() override { return std::nullopt; }
  void DiscardInput() override { ::tcflush(fd_, TCIFLUSH); }
  IoResult Write(const std::vector<std::uint8_t>& data, Clock::time_point deadline) override;

  bool Pause(std::chrono::milliseconds wait) override {
    pollfd wake{control_->WakeFd(), POLLIN, 0};
    return ::poll(&wake, 1, static_cast<int>(wait.count())) > 0;
  }

  IoResult WaitAndRead(std::span<std::uint8_t> into) override;
  void EndWork() override {}

 private:
  int fd_ = -1;
  std::shared_ptr<posix::WorkerControl> control_;
};

// A write that failed: the worker ends after the report when the device is
// gone.
IoResult WriteFailed(int error) {
  const SystemFailure failure{"write()", static_cast<SystemError>(error)};
  return DeviceGone(error) ? IoResult::Broken(failure) : IoResult::Failed(failure);
}

// Waits for room while the driver's queue is full.
IoResult TtyDevice::Write(const std::vector<std::uint8_t>& data, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      return WriteFailed(errno);

    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      return WriteFailed(ETIMEDOUT);
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {control_->WakeFd(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR)
      return WriteFailed(errno);
    if (fds[1].revents & POLLIN) {
      control_->ClearWake();
      if (control_->StopRequested())
        return IoResult::End();
    }
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[0].revents & POLLOUT))
      return WriteFailed(EIO);
  }
  return IoResult::Done();
}

IoResult TtyDevice::WaitAndRead(std::span<std::uint8_t> into) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {control_->WakeFd(), POLLIN, 0}};
  if (::poll(fds, 2, -1) < 0) {
    if (errno == EINTR)
      return IoResult::Again();
    return IoResult::Broken(SystemFailure{"poll()", Errno()});
  }
  if (fds[1].revents & POLLIN) {
    control_->ClearWake();
    return IoResult::Again();  // the requests are looked at first
  }
  if (fds[0].revents & POLLIN) {
    const ssize_t n = ::read(fd_, into.data(), into.size());
    if (n > 0)
      return IoResult::Done(static_cast<std::size_t>(n));
    if (n == 0)
      return IoResult::End();  // hung up
    if (errno == EAGAIN || errno == EINTR)
      return IoResult::Again();
    if (DeviceGone(errno))
      return IoResult::End();
    return IoResult::Failed(SystemFailure{"read()", Errno()});
  }
  if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
    return IoResult::End();  // device gone
  return IoResult::Again();
}

}  // namespace

std::string SystemErrorText(SystemError error) {
  return std::strerror(static_cast<int>(error));
}

std::unique_ptr<PortDevice> OpenPortDevice(std::uint32_t port, std::string& failure) {
  const std::string path = ComDevicePath(port);
  if (path.empty()) {
    failure = ComName(port) + ": no COM port has this number (1 to 255)";
    return nullptr;
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
    failure = device + (openError == EBUSY ? posix::InUseText(posix::FindLockHolder(path))
                                           : posix::OpenFailureReason(openError));
    return nullptr;
  }
  auto tty = std::make_unique<TtyDevice>(fd);
  // TIOCEXCL does not stop root; the advisory lock stops every instance of
  // this tool, whoever runs it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int lockError = errno;
    tty.reset();
    failure =
        device + (lockError == EWOULDBLOCK ? posix::InUseText(posix::FindLockHolder(path))
                                           : "cannot be locked: " + SystemErrorText(lockError));
    return nullptr;
  }
  return tty;
}

}  // namespace tavro::link
