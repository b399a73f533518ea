#pragma once
// The serial line on Windows: the device \\.\COM<n>, opened for overlapped
// I/O, and one worker thread.
//
// The worker keeps one overlapped 1-byte read pending and waits for it, for
// its wake-up event (stop and write requests) and, during a write, for the
// write. When the read completes it takes what else the driver holds
// (ClearCommError's count) and hands the run to the decision thread in one
// Loop::RunOnDecisionThread call, where the bytes reach the byte handler one
// at a time, in order; it goes on only after the run was handed over. A long
// run from a slow line is gathered a few milliseconds at a time
// (link::ReceivePacing). A pending read is used instead of
// WaitCommEvent because it tells the same (a byte has come) and works on
// every serial driver, Wine's mapping of a pseudo terminal included, where
// an event wait is aborted at once.
//
// A frame write first discards all input that has not been handed over yet:
// the driver's input queue (PurgeComm) and the rest of the run being handed
// over (link::BatchDelivery).
//
// All member functions are called on the decision thread.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/batch_delivery.hpp"
#include "link/comm_error.hpp"
#include "link/serial_link.hpp"
#include "link/win32/worker_control.hpp"
#include "platform/loop.hpp"

namespace tavro::link::win32 {

// Size of the write buffer: the largest frame WriteFrame accepts.
inline constexpr std::size_t kWriteBufferSize = 40000;

using link::CommErrorText;

// "baud=115200 parity=N data=8 stop=1", the text BuildCommDCB takes.
std::string LineSettingsText(const LineSettings& settings);
// "\\.\COM<n>": the name that opens COM<n>, also above COM9.
std::string ComDeviceName(std::uint32_t port);
// Errors after which the device is no use any more (unplugged, closed).
bool DeviceGone(DWORD error);

class CSerialPort : public SerialLink {
 public:
  explicit CSerialPort(platform::Loop& loop);
  // Stops the worker and closes the port.
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  void SetByteHandler(ByteHandler onByte) override;
  void SetErrorHandler(ErrorHandler onError) override;
  // Ends a running worker, closes the port, then opens \\.\COM<port> for
  // this process alone (five tries, 1 ms before each; false and no message
  // when all fail) and configures it: time-outs, event mask, line settings
  // with RTS raised. A configuration step that fails is reported in a box
  // naming it; the port stays open and the result is true.
  bool Open(std::uint32_t port, const LineSettings& settings) override;
  bool StartWorker() override;
  // Copies the frame into the write buffer and wakes the worker. A frame
  // larger than the buffer is refused with an error box; with no open port
  // there is nothing to send.
  void WriteFrame(ByteView frame) override;
  // Ends the worker and closes the port; output already given to the driver
  // still goes out.
  void RequestStop() override;
  // As RequestStop, but output still queued in the driver is dropped.
  void ForceStop() override;
  bool IsOpen() const override;

  // True while a worker thread runs for the open port; false once it has
  // ended by itself (device gone) or was stopped.
  bool WorkerAlive() const;
  // Why the opens since the last one that succeeded failed, one line each:
  // "COM7 (\\.\COM7): The system cannot find the file specified."
  const std::vector<std::string>& OpenFailures() const { return openFailures_; }
  std::uint32_t PortNumber() const { return port_; }
  // Reports a failed operation with the system's text for `error` (a Win32
  // error code captured where the operation failed) to the error handler.
  void ReportCommError(const std::string& operation, DWORD error);

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

}  // namespace tavro::link::win32
