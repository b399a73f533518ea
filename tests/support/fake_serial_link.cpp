#include "support/fake_serial_link.hpp"

#include <algorithm>

#include "link/frame.hpp"

namespace tavro::test {

bool FakeSerialLink::Open(std::uint32_t port, const link::LineSettings& settings) {
  attempts_.push_back(port);
  open_ = false;
  if (restricted_ && allowed_.count(port) == 0)
    return false;
  open_ = true;
  openedPort_ = port;
  settings_ = settings;
  return true;
}

void FakeSerialLink::WriteFrame(link::ByteView frame) {
  delivery_.DropRest();
  written_.emplace_back(frame.begin(), frame.end());
}

std::size_t FakeSerialLink::Deliver(link::ByteView bytes) {
  return delivery_.Deliver(bytes, delivery_.Generation());
}

std::vector<std::uint16_t> FakeSerialLink::WrittenIds() const {
  std::vector<std::uint16_t> ids;
  for (const link::Bytes& f : written_)
    ids.push_back(link::FrameMsgId(f));
  return ids;
}

std::size_t FakeSerialLink::CountWritten(std::uint16_t msgId) const {
  const auto ids = WrittenIds();
  return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), msgId));
}

}  // namespace tavro::test
