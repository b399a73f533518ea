#pragma once
// The platform's half of the serial port: one open device and the I/O its
// worker does on it. link::CSerialPort (serial_port.hpp) holds everything
// else: the session, the requests, the worker's loop and the hand-over.
// posix/port_device.cpp (termios, poll) and win32/port_device.cpp
// (overlapped I/O) implement it; the build picks one.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/serial_link.hpp"
#include "link/worker_control.hpp"

namespace tavro::link {

// A system error code: errno on POSIX, a Win32 error code on Windows.
using SystemError = std::uint32_t;

// The system's text for `error`.
std::string SystemErrorText(SystemError error);

// A call that failed: its name as the error box shows it, and why.
struct SystemFailure {
  const char* operation = "";
  SystemError error = 0;
};

// How one read or write of the worker ended, and what the worker does next.
struct IoResult {
  enum Kind {
    kDone,    // a write went out whole; a read brought `count` bytes
    kAgain,   // nothing to hand over: look at the requests, then wait again
    kFailed,  // report `failure`, then go on
    kBroken,  // report `failure`, then end: the port is no use any more
    kEnd,     // end without a report (device gone, or a stop during a write)
  };
  Kind kind = kAgain;
  std::size_t count = 0;
  SystemFailure failure;

  static IoResult Done(std::size_t count = 0) { return {kDone, count, {}}; }
  static IoResult Again() { return {kAgain, 0, {}}; }
  static IoResult End() { return {kEnd, 0, {}}; }
  static IoResult Failed(SystemFailure failure) { return {kFailed, 0, failure}; }
  static IoResult Broken(SystemFailure failure) { return {kBroken, 0, failure}; }
};

class PortDevice {
 public:
  using Clock = std::chrono::steady_clock;

  // Closes the port if Close() has not.
  virtual ~PortDevice() = default;
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;

  // --- the owner (decision thread), never while a worker uses the device

  // The worker's wake-up, of the kind the device waits on beside its I/O;
  // the device keeps a share. Null, with `failure` set, when the system has
  // none to give.
  virtual std::shared_ptr<WorkerControl> MakeControl(SystemFailure& failure) = 0;
  // Sets the line up; the first step that fails, if any.
  virtual std::optional<SystemFailure> Configure(const LineSettings& settings) = 0;
  // Empties both of the driver's queues: right after Configure
  // (`justOpened`) and before a worker starts.
  virtual void ClearQueues(bool justOpened) = 0;
  // Closes the port; `dropOutput` first drops output still queued in the
  // driver, so that closing never waits on a device that is gone.
  virtual void Close(bool dropOutput) = 0;
  virtual bool IsOpen() const = 0;
  // Why a frame larger than the write buffer is refused.
  virtual SystemFailure FrameTooLarge() const = 0;

  // --- the worker

  // Called first; a failure ends the worker after it was reported.
  virtual std::optional<SystemFailure> BeginWork() = 0;
  // A frame is about to go out: input not handed over yet belongs to the
  // exchange it ends.
  virtual void DiscardInput() = 0;
  // Writes all of `data` until `deadline`; a stop request interrupts it.
  virtual IoResult Write(const std::vector<std::uint8_t>& data, Clock::time_point deadline) = 0;
  // Lets input pile up for `wait`; true when a wake-up cut it short.
  virtual bool Pause(std::chrono::milliseconds wait) = 0;
  // Waits for input or a wake-up and reads what the driver holds into
  // `into`, without waiting for more.
  virtual IoResult WaitAndRead(std::span<std::uint8_t> into) = 0;
  // Called last: nothing the worker started stays pending.
  virtual void EndWork() = 0;

 protected:
  PortDevice() = default;
};

// Opens COM<port> for this process alone. Null when it cannot, with the
// line for CSerialPort::OpenFailures() in `failure`.
std::unique_ptr<PortDevice> OpenPortDevice(std::uint32_t port, std::string& failure);

}  // namespace tavro::link
