#pragma once
// The serial line as the window model sees it. The POSIX port is one
// implementation; tests wire the model to the terminal simulator in-process.

#include <cstdint>
#include <functional>
#include <string>

#include "link/byte_order.hpp"

namespace tavro::link {

struct LineSettings {
  std::uint32_t baud = 115200;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
};

class SerialLink {
 public:
  using ByteHandler = std::function<void(std::uint8_t)>;
  // Receiver of the transport's failures (a step of opening or configuring
  // the port, a write, the worker's wait), called on the decision thread with
  // the whole text to show. The window model shows it in a box.
  using ErrorHandler = std::function<void(const std::string& text)>;

  virtual ~SerialLink() = default;

  // Receiver of every byte, called on the decision thread, one byte per call,
  // in order; the next byte is not handed over before the call returns.
  virtual void SetByteHandler(ByteHandler onByte) = 0;
  // A link that cannot fail (in-process wires) may ignore the handler.
  virtual void SetErrorHandler(ErrorHandler /*onError*/) {}
  // Opens COM<port>; false (and no message) when it cannot be opened. A
  // running port is stopped first.
  virtual bool Open(std::uint32_t port, const LineSettings& settings) = 0;
  // Starts delivering received bytes; true when the worker runs.
  virtual bool StartWorker() = 0;
  // Sends one frame. Input not yet handed to the byte handler is discarded
  // first, as a purge of the driver's queue would.
  virtual void WriteFrame(ByteView frame) = 0;
  // Ends the worker, which closes the port.
  virtual void RequestStop() = 0;
  // The device is gone: end at once and return to the closed state.
  virtual void ForceStop() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace tavro::link
