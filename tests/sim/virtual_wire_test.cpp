// The in-process wire: line timing, purge on write, adapter removal.

#include "sim/virtual_wire.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/device_factory.hpp"
#include "sim/sim_rig.hpp"

namespace tavro::sim {
namespace {

using namespace link;

// The PC side as the window model sees the line: bytes one by one.
struct PcEnd {
  explicit PcEnd(VirtualWire& w) : wire(w) {
    wire.SetByteHandler([this](std::uint8_t b) {
      bytes.push_back(b);
      arrival.push_back(loop->NowMs());
    });
  }
  bool Open() { return wire.Open(1, {}) && wire.StartWorker(); }
  VirtualWire& wire;
  loop::VirtualLoop* loop = nullptr;
  Bytes bytes;
  std::vector<std::uint64_t> arrival;
};

Behaviour Quiet() {
  Behaviour b;
  b.announceAtPowerUp = false;
  b.replyDelayMs = 3;
  return b;
}

TEST(VirtualWire, BytesTakeTenBitTimesEachWay) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  pc.wire.WriteFrame(BuildFrame(MsgConnect, {}));
  // 18 bytes need 1.5625 ms: the terminal has the frame at 2 ms, answers
  // 3 ms later, and the 29-byte announcement needs 2.52 ms more.
  ASSERT_TRUE(loop.RunUntil([&] { return pc.bytes.size() == 29; }, 1000));
  EXPECT_EQ(loop.NowMs(), 8u);
  EXPECT_EQ(pc.arrival.front(), 6u) << "first byte 0.087 ms after 5 ms";
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgBlHello);
  EXPECT_EQ(CheckReceivedCrc(pc.bytes), link::CrcCheck::kGood);
}

TEST(VirtualWire, SlowerLineTakesLonger) {
  loop::VirtualLoop loop;
  Device device = MakeDevice({});
  SimRig rig(loop, device, Quiet(), {}, 9600);
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  ASSERT_TRUE(loop.RunUntil([&] { return pc.bytes.size() == 20; }, 1000));
  // 18 bytes at 9600: 18.75 ms; reply 3 ms later; 20 bytes: 20.83 ms.
  EXPECT_EQ(loop.NowMs(), 43u);
}

TEST(VirtualWire, FramesQueueBehindEachOther) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  // Two frames written at once: the second starts when the first has left.
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  ASSERT_TRUE(loop.RunUntil([&] { return pc.bytes.size() == 40; }, 1000));
  // The second query is complete at 3.125 ms (4 ms), its reply leaves at 7 ms.
  EXPECT_EQ(pc.arrival.back(), 9u);
}

TEST(VirtualWire, WriteDiscardsInputNotYetHandedOver) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.wire.Open(1, {}));  // open, worker not yet running
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.Advance(50);
  EXPECT_TRUE(pc.bytes.empty()) << "held by the driver";
  pc.wire.WriteFrame(BuildFrame(MsgReadAppInfo, {}));
  EXPECT_EQ(pc.wire.BytesPurged(), 20u);
  ASSERT_TRUE(pc.wire.StartWorker());
  loop.Advance(50);
  // Only the answer to the second command arrives.
  ASSERT_EQ(pc.bytes.size(), kAppInfoSize + kFrameOverhead);
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgAppInfo);
}

TEST(VirtualWire, ReopenedPortStartsEmpty) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.wire.Open(1, {}));
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.Advance(50);  // the answer waits in the driver
  pc.wire.RequestStop();
  ASSERT_TRUE(pc.Open());
  loop.Advance(50);
  EXPECT_TRUE(pc.bytes.empty()) << "nothing from before the close";
}

TEST(VirtualWire, ClosedPortLosesTheBytes) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  pc.wire.RequestStop();
  loop.Advance(50);
  EXPECT_TRUE(pc.bytes.empty());
  EXPECT_FALSE(pc.wire.IsOpen());
}

TEST(VirtualWire, AdapterRemovalFault) {
  loop::VirtualLoop loop;
  Faults faults;
  faults.adapterRemovalAfter = {true, MsgLinkQuery, 1};
  SimRig rig(loop, MakeDevice({}), Quiet(), faults);
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  int unplugs = 0;
  pc.wire.SetUnplugHandler([&] { ++unplugs; });
  ASSERT_TRUE(pc.Open());
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.Advance(100);
  EXPECT_EQ(unplugs, 1);
  EXPECT_TRUE(pc.bytes.empty()) << "the answer is lost with the adapter";
  pc.wire.ForceStop();
  EXPECT_FALSE(pc.wire.Open(1, {}));
  pc.wire.Plug();
  ASSERT_TRUE(pc.Open());
  pc.wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.Advance(100);
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgLinkQueryReply);
}

TEST(VirtualWire, CutOffFrameIsAnsweredWithRxTimeout) {
  loop::VirtualLoop loop;
  SimRig rig(loop, MakeDevice({}), Quiet());
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  const Bytes frame = BuildFrame(MsgFlashRead, U32PairPayload(0x18010000, 64));
  pc.wire.InjectToTerminal(ByteView(frame).first(12));
  loop.Advance(190);
  EXPECT_TRUE(pc.bytes.empty());
  loop.Advance(30);
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgRxTimeout);
}

TEST(VirtualWire, OnlyItsOwnPortOpens) {
  loop::VirtualLoop loop;
  VirtualLoopScheduler scheduler(loop);
  Terminal terminal(scheduler, MakeDevice({}), Quiet());
  VirtualWire wire(loop, terminal, 115200, 7);
  EXPECT_FALSE(wire.Open(3, {}));
  EXPECT_TRUE(wire.Open(7, {}));
}

}  // namespace
}  // namespace tavro::sim

namespace tavro::sim {
namespace {

// A whole App download of 256 KiB over the wire: the virtual time is what
// the bytes need on a 115200-baud line plus the terminal's own times.
TEST(VirtualWire, AppDownloadTakesLineTime) {
  loop::VirtualLoop loop;
  Behaviour b = Quiet();
  SimRig rig(loop, MakeDevice({}), b);
  PcEnd pc(rig.wire());
  pc.loop = &loop;
  ASSERT_TRUE(pc.Open());
  // Frames as the PC's receive path sees them.
  std::vector<Bytes> frames;
  std::size_t taken = 0;
  auto nextFrame = [&]() -> bool {
    while (pc.bytes.size() - taken >= 4 &&
           pc.bytes.size() - taken >= GetU16(pc.bytes.data() + taken + 2) + 6u) {
      const std::size_t len = GetU16(pc.bytes.data() + taken + 2) + 6u;
      frames.emplace_back(pc.bytes.begin() + taken, pc.bytes.begin() + taken + len);
      taken += len;
    }
    return !frames.empty();
  };
  auto await = [&](std::uint16_t id) {
    const bool ok = loop.RunUntil(
        [&] {
          nextFrame();
          return !frames.empty() && FrameMsgId(frames.front()) == id;
        },
        10000);
    if (ok)
      frames.erase(frames.begin());
    return ok;
  };
  const Device& d = rig.terminal().device();
  pc.wire.WriteFrame(BuildFrame(MsgAppDownloadStart, U32Payload(d.areas[kAppEntry].areaAddr)));
  ASSERT_TRUE(await(MsgDataBackupState));
  ASSERT_TRUE(await(MsgDataBackupState));
  const std::uint64_t start = loop.NowMs();
  const Bytes file = MakeAppFile(0x02000000, "BIG", 256 * 1024);
  const std::uint16_t count = 1 + 64;
  for (std::uint16_t n = 0; n < count; ++n) {
    const Bytes chunk = n == 0 ? AppDescriptorChunk(static_cast<std::uint32_t>(file.size()), {})
                               : Bytes(file.begin() + (n - 1) * 4096, file.begin() + n * 4096);
    pc.wire.WriteFrame(BuildFrame(MsgAppBlock, CountedBlockPayload(count, n, chunk)));
    ASSERT_TRUE(await(MsgAppBlockAck)) << n;
  }
  const std::uint64_t took = loop.NowMs() - start;
  // 65 blocks of 4120 bytes (357.6 ms each), their 20-byte acknowledgements,
  // and per block the reply and write delays (3 + 12 ms) plus rounding.
  EXPECT_GE(took, 65u * (358 + 2 + 15));
  EXPECT_LE(took, 65u * (358 + 2 + 15 + 3));
  ASSERT_TRUE(await(MsgDataBackupState));
  ASSERT_TRUE(await(MsgDataBackupState));
  EXPECT_EQ(rig.terminal().device().app.image, file);
  EXPECT_EQ(pc.wire.BytesPurged(), 0u);
}

}  // namespace
}  // namespace tavro::sim
