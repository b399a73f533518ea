#pragma once
// The serial line: one COM port (see link/com_ports.hpp for the device
// behind a COM number) and one worker thread. The device and its I/O are the
// platform's (link/port_device.hpp); the rest is here, once.
//
// The worker waits for input and for its wake-up (stop and write requests).
// What one read returned goes to the decision thread in one
// Loop::RunOnDecisionThread call, where link::BatchDelivery gives the bytes
// to the byte handler one at a time, in order; the worker goes on only after
// the run was handed over, so the decision thread wakes once per read rather
// than per byte. A long run from a slow line is gathered a few milliseconds
// at a time (link::ReceivePacing). Only received bytes are reported: line
// breaks, modem-line changes, line errors and event characters have no
// receiver in this program.
//
// A frame write first discards all input that has not been handed over yet:
// the driver's input queue and the rest of the run being handed over (a
// byte's handler may write the next frame while later bytes of its run wait).
//
// All member functions are called on the decision thread.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/batch_delivery.hpp"
#include "link/comm_error.hpp"
#include "link/port_device.hpp"
#include "link/serial_link.hpp"
#include "link/worker_control.hpp"
#include "platform/loop.hpp"

namespace tavro::link {

// Size of the write buffer: the largest frame WriteFrame accepts.
inline constexpr std::size_t kWriteBufferSize = 40000;

class CSerialPort : public SerialLink {
 public:
  explicit CSerialPort(platform::Loop& loop);
  // Stops the worker and closes the port.
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  void SetByteHandler(ByteHandler onByte) override;
  void SetErrorHandler(ErrorHandler onError) override;
  // Ends a running worker, closes the port, then opens COM<port> for this
  // process alone (five tries, 1 ms before each; false and no message when
  // all fail) and configures it. On Linux the device is ComDevicePath(port),
  // taken with TIOCEXCL and an advisory lock (a port another process holds
  // is not opened); on Windows it is \\.\COM<port>, opened unshared and
  // overlapped. A configuration step that fails is reported in a box naming
  // it; the port stays open and the result is true.
  bool Open(std::uint32_t port, const LineSettings& settings) override;
  bool StartWorker() override;
  // Copies the frame into the write buffer and wakes the worker. A frame
  // larger than the buffer is refused with an error box; with no open port
  // there is nothing to send.
  void WriteFrame(ByteView frame) override;
  // Ends the worker and closes the port; output already given to the driver
  // still goes out.
  void RequestStop() override;
  // As RequestStop, but output still queued in the driver is dropped, so
  // closing never waits on a device that is gone.
  void ForceStop() override;
  bool IsOpen() const override;

  // True while a worker thread runs for the open port; false once it has
  // ended by itself (device gone) or was stopped.
  bool WorkerAlive() const;
  // Why the opens since the last one that succeeded failed, one line each:
  // "COM7 (/dev/ttyACM6): No such file or directory", "COM7 (...): in use
  // by process 1234 (tavro-cli)", "COM7 (\\.\COM7): The system cannot find
  // the file specified."
  const std::vector<std::string>& OpenFailures() const { return openFailures_; }
  // Number of the port last opened.
  std::uint32_t PortNumber() const { return port_; }
  // Reports a failed operation with the system's text for `error` (captured
  // where the operation failed) to the error handler.
  void ReportCommError(const std::string& operation, SystemError error);

 private:
  struct Session;

  void Stop(bool dropOutput);
  static void RunWorker(std::shared_ptr<Session> session, CSerialPort* owner);

  platform::Loop& loop_;
  BatchDelivery delivery_;
  ErrorHandler onError_;
  std::uint32_t port_ = 0;
  std::vector<std::string> openFailures_;
  std::shared_ptr<Session> session_;  // null while closed
  std::thread worker_;
  RetiredThreads retired_;
};

}  // namespace tavro::link
