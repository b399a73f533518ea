#pragma once
// Drives one simulated terminal in virtual time: frames in as bytes, frames
// out as decoded replies.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/crc.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/device_factory.hpp"
#include "sim/scheduler.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim::testing {

struct Reply {
  std::uint64_t atMs = 0;
  std::uint16_t msgId = 0;
  link::Bytes payload;
  bool crcOk = true;
  std::uint16_t Status() const { return link::ReadU16(payload, 0).value_or(0xEEEE); }
};

// Behaviour with short, round delays so that tests can reason about time.
inline Behaviour TestBehaviour() {
  Behaviour b;
  b.replyDelayMs = 2;
  b.blockWriteMs = 5;
  b.announceAtPowerUp = false;
  return b;
}

class SimHarness {
 public:
  explicit SimHarness(Device device = MakeDevice({}), Behaviour behaviour = TestBehaviour(),
                      Faults faults = {}) {
    terminal = std::make_unique<Terminal>(clock, std::move(device), behaviour, faults);
    terminal->SetSink([this](const link::Bytes& frame) { Take(frame); });
    terminal->PowerUp();
  }

  void SendRaw(const link::Bytes& bytes) {
    for (std::uint8_t b : bytes)
      terminal->OnByte(b);
  }
  void Send(std::uint16_t msgId, const link::Bytes& payload = {}) {
    SendRaw(link::BuildFrame(msgId, payload));
  }
  // Runs `ms` of virtual time and returns the replies sent meanwhile.
  std::vector<Reply> Run(std::uint64_t ms = 100) {
    clock.Advance(ms);
    std::vector<Reply> out;
    out.swap(replies_);
    return out;
  }
  // Sends a command and returns the replies of the next `ms`.
  std::vector<Reply> Exchange(std::uint16_t msgId, const link::Bytes& payload = {},
                              std::uint64_t ms = 100) {
    Send(msgId, payload);
    return Run(ms);
  }

  TimerQueue clock;
  std::unique_ptr<Terminal> terminal;

 private:
  void Take(const link::Bytes& frame) {
    Reply r;
    r.atMs = clock.NowMs();
    EXPECT_GE(frame.size(), link::kFrameOverhead);
    EXPECT_EQ(link::GetU16(frame.data()), 0x5F5F);
    EXPECT_EQ(link::GetU16(frame.data() + 4), link::kPcAddrWord2) << "terminal address first";
    EXPECT_EQ(link::GetU16(frame.data() + 6), link::kPcAddrWord1);
    EXPECT_EQ(link::GetU16(frame.data() + 2) + 6u, frame.size());
    link::FrameView view;
    EXPECT_TRUE(link::ParseFrame(frame, view));
    r.msgId = view.msgId;
    r.payload.assign(view.payload.begin(), view.payload.end());
    r.crcOk = !link::CheckReceivedCrc(frame);
    replies_.push_back(std::move(r));
  }
  std::vector<Reply> replies_;
};

inline std::vector<std::uint16_t> Ids(const std::vector<Reply>& replies) {
  std::vector<std::uint16_t> ids;
  for (const Reply& r : replies)
    ids.push_back(r.msgId);
  return ids;
}

}  // namespace tavro::sim::testing
