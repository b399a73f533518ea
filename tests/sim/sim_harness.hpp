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
#include "sim/profile.hpp"
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

  // Every accepted write from now on is saved in the profile folder `dir`.
  void PersistTo(const std::string& dir) {
    store = std::make_unique<ProfileStore>(dir, Behaviour{}, Faults{});
    terminal->SetSaveHook([this](const Device& d, Changed c) { EXPECT_TRUE(store->Save(d, c)); });
  }
  // Sends each block and expects its acknowledgement `ackId` with `status`
  // first; returns whatever else came meanwhile.
  std::vector<Reply> SendBlocks(std::uint16_t msgId, const std::vector<link::Bytes>& blocks,
                                std::uint16_t ackId, std::uint16_t status, std::uint64_t ms = 50) {
    std::vector<Reply> extra;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const auto replies = Exchange(msgId, blocks[i], ms);
      EXPECT_GE(replies.size(), 1u) << "block " << i;
      if (replies.empty())
        continue;
      EXPECT_EQ(replies[0].msgId, ackId) << "block " << i;
      EXPECT_EQ(replies[0].Status(), status) << "block " << i;
      extra.insert(extra.end(), replies.begin() + 1, replies.end());
    }
    return extra;
  }

  TimerQueue clock;
  std::unique_ptr<Terminal> terminal;
  std::unique_ptr<ProfileStore> store;

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
    r.crcOk = link::CheckReceivedCrc(frame) == link::CrcCheck::kGood;
    replies_.push_back(std::move(r));
  }
  std::vector<Reply> replies_;
};

// Blocks of an App download: the descriptor, then the stored image
// (header room of the terminal's size code plus the file).
inline std::vector<link::Bytes> AppBlocks(const link::Bytes& file, std::size_t imageOffset,
                                          const link::TimeStamp& when) {
  link::Bytes image(imageOffset, 0);
  image.insert(image.end(), file.begin(), file.end());
  const auto count = static_cast<std::uint16_t>((image.size() + 4095) / 4096 + 1);
  std::vector<link::Bytes> blocks;
  blocks.push_back(link::CountedBlockPayload(
      count, 0, link::AppDescriptorChunk(static_cast<std::uint32_t>(file.size()), when)));
  for (std::size_t at = 0; at < image.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, image.size() - at);
    blocks.push_back(link::CountedBlockPayload(count, static_cast<std::uint16_t>(blocks.size()),
                                               link::ByteView(image).subspan(at, n)));
  }
  return blocks;
}

// Blocks of a Flash parameter download into area `entry`.
inline std::vector<link::Bytes> ParaBlocks(const AreaEntry& entry, const link::Bytes& image,
                                           const link::TimeStamp& when) {
  const std::size_t data = image.size() - 512;
  const auto count = static_cast<std::uint16_t>((data + 4095) / 4096 + 1);
  std::vector<link::Bytes> blocks;
  blocks.push_back(link::AreaBlockPayload(entry.areaAddr, entry.areaLen, count, 0,
                                          *link::ParaHeaderChunk(image, when)));
  for (std::size_t at = 512; at < image.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, image.size() - at);
    blocks.push_back(link::AreaBlockPayload(entry.areaAddr, entry.areaLen, count,
                                            static_cast<std::uint16_t>(blocks.size()),
                                            link::ByteView(image).subspan(at, n)));
  }
  return blocks;
}

// Blocks of an addressed write (E2PROM: as is; Flash: odd chunk padded).
inline std::vector<link::Bytes> AddressedBlocks(std::uint32_t address, const link::Bytes& image,
                                                link::OddChunk odd) {
  const auto count = static_cast<std::uint16_t>((image.size() + 4095) / 4096);
  std::vector<link::Bytes> blocks;
  for (std::size_t at = 0; at < image.size(); at += 4096) {
    blocks.push_back(link::AddressedBlockPayload(
        address, count, static_cast<std::uint16_t>(blocks.size()), image, at,
        std::min<std::size_t>(4096, image.size() - at), odd));
  }
  return blocks;
}

// Blocks of a RAM loader or bootloader image.
inline std::vector<link::Bytes> CountedBlocks(const link::Bytes& image) {
  const auto count = static_cast<std::uint16_t>((image.size() + 4095) / 4096);
  std::vector<link::Bytes> blocks;
  for (std::size_t at = 0; at < image.size(); at += 4096) {
    blocks.push_back(link::CountedBlockPayload(
        count, static_cast<std::uint16_t>(blocks.size()),
        link::ByteView(image).subspan(at, std::min<std::size_t>(4096, image.size() - at))));
  }
  return blocks;
}

inline constexpr link::TimeStamp kDownloadTime{2025, 6, 7, 8, 9, 10};

inline std::vector<std::uint16_t> Ids(const std::vector<Reply>& replies) {
  std::vector<std::uint16_t> ids;
  for (const Reply& r : replies)
    ids.push_back(r.msgId);
  return ids;
}

}  // namespace tavro::sim::testing
