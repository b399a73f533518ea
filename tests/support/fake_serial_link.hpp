#pragma once
// A SerialLink for engine tests: records every frame written, opens the ports
// a test allows, and lets the test play the terminal by delivering bytes.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "link/batch_delivery.hpp"
#include "link/byte_order.hpp"
#include "link/serial_link.hpp"

namespace tavro::test {

class FakeSerialLink : public link::SerialLink {
 public:
  void SetByteHandler(ByteHandler onByte) override { delivery_.SetHandler(std::move(onByte)); }
  void SetErrorHandler(ErrorHandler onError) override { onError_ = std::move(onError); }
  bool Open(std::uint32_t port, const link::LineSettings& settings) override;
  bool StartWorker() override { return open_; }
  void WriteFrame(link::ByteView frame) override;
  void RequestStop() override {
    delivery_.DropRest();
    open_ = false;
  }
  void ForceStop() override { RequestStop(); }
  bool IsOpen() const override { return open_; }

  // Ports that Open accepts; by default every port opens.
  void AllowOnly(std::set<std::uint32_t> ports) {
    allowed_ = std::move(ports);
    restricted_ = true;
  }
  // Hands bytes to the window model as the worker hands over what one read
  // returned: byte by byte, the rest dropped once a frame is written.
  // Returns how many were handed over.
  std::size_t Deliver(link::ByteView bytes);
  // Reports a transport failure as the worker would.
  void Fail(const std::string& text) {
    if (onError_)
      onError_(text);
  }

  const std::vector<link::Bytes>& written() const { return written_; }
  // Message ids of the frames written, in order.
  std::vector<std::uint16_t> WrittenIds() const;
  std::size_t CountWritten(std::uint16_t msgId) const;
  void ClearWritten() { written_.clear(); }
  std::uint32_t openedPort() const { return openedPort_; }
  const link::LineSettings& openedSettings() const { return settings_; }
  const std::vector<std::uint32_t>& openAttempts() const { return attempts_; }

 private:
  link::BatchDelivery delivery_;
  ErrorHandler onError_;
  bool open_ = false;
  bool restricted_ = false;
  std::set<std::uint32_t> allowed_;
  std::uint32_t openedPort_ = 0;
  link::LineSettings settings_;
  std::vector<std::uint32_t> attempts_;
  std::vector<link::Bytes> written_;
};

}  // namespace tavro::test
