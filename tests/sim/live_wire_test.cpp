// The terminal in real time behind a SerialLink: what reaches the PC side
// comes through the decision thread's hand-over, paced at the line rate.

#include "sim/live_wire.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "link/frame.hpp"
#include "link/messages.hpp"
#include "loop/console_loop.hpp"
#include "sim/device_factory.hpp"

namespace tavro::sim {
namespace {

using namespace link;

constexpr std::uint32_t kPort = 7;

Profile QuietProfile() {
  Profile profile;
  profile.device = MakeDevice({});
  profile.behaviour.announceAtPowerUp = false;
  profile.behaviour.replyDelayMs = 3;
  return profile;
}

struct PcEnd {
  PcEnd(loop::ConsoleLoop& l, LiveWire& w) : loop(l), wire(w) {
    wire.SetByteHandler([this](std::uint8_t b) {
      bytes.push_back(b);
      onDecisionThread = onDecisionThread && std::this_thread::get_id() == decisionThread;
    });
  }
  bool Open() { return wire.Open(kPort, {}) && wire.StartWorker(); }
  bool WaitFor(std::size_t count, std::uint32_t limitMs) {
    return loop.RunUntil([&] { return bytes.size() >= count; }, limitMs);
  }

  loop::ConsoleLoop& loop;
  LiveWire& wire;
  Bytes bytes;
  std::thread::id decisionThread = std::this_thread::get_id();
  bool onDecisionThread = true;
};

TEST(LiveWire, AnswersAtTheLineRateThroughTheDecisionThread) {
  loop::ConsoleLoop loop;
  LiveWire wire(loop, QuietProfile(), kPort, 9600);
  PcEnd pc(loop, wire);
  ASSERT_TRUE(pc.Open());
  const std::uint64_t start = loop.NowMs();
  pc.wire.WriteFrame(BuildFrame(MsgConnect, {}));
  // 18 bytes out and 29 back take 49 ms at 9600 baud, plus the reply delay.
  ASSERT_TRUE(pc.WaitFor(29, 5000));
  EXPECT_GE(loop.NowMs() - start, 50u);
  EXPECT_EQ(pc.bytes.size(), 29u);
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgBlHello);
  EXPECT_EQ(CheckReceivedCrc(pc.bytes), CrcCheck::kGood);
  EXPECT_TRUE(pc.onDecisionThread);
}

TEST(LiveWire, OnlyItsOwnPortOpensAndAClosedPortLosesTheAnswer) {
  loop::ConsoleLoop loop;
  LiveWire wire(loop, QuietProfile(), kPort);
  PcEnd pc(loop, wire);
  EXPECT_FALSE(wire.Open(kPort + 1, {}));
  EXPECT_FALSE(wire.IsOpen());
  ASSERT_TRUE(pc.Open());
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  wire.RequestStop();
  loop.RunFor(200);
  EXPECT_TRUE(pc.bytes.empty());
  // Reopened, the line works again and starts empty.
  ASSERT_TRUE(pc.Open());
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  ASSERT_TRUE(pc.WaitFor(1, 2000));
  loop.RunFor(100);
  EXPECT_EQ(FrameMsgId(pc.bytes), MsgLinkQueryReply);
}

TEST(LiveWire, APulledAdapterIsReportedOnTheDecisionThreadAndKeepsThePortShut) {
  loop::ConsoleLoop loop;
  LiveWire wire(loop, QuietProfile(), kPort);
  PcEnd pc(loop, wire);
  int removals = 0;
  bool removalOnDecisionThread = false;
  wire.SetUnplugHandler([&] {
    ++removals;
    removalOnDecisionThread = std::this_thread::get_id() == pc.decisionThread;
  });
  ASSERT_TRUE(pc.Open());
  std::thread puller([&] { wire.Unplug(); });
  puller.join();
  ASSERT_TRUE(loop.RunUntil([&] { return removals == 1; }, 2000));
  EXPECT_TRUE(removalOnDecisionThread);
  EXPECT_FALSE(wire.Plugged());
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.RunFor(200);
  EXPECT_TRUE(pc.bytes.empty());
  wire.ForceStop();
  EXPECT_FALSE(wire.Open(kPort, {}));
  wire.Plug();
  ASSERT_TRUE(pc.Open());
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  ASSERT_TRUE(pc.WaitFor(1, 2000));
  EXPECT_EQ(removals, 1);
}

TEST(LiveWire, ASwitchedOffTerminalIsSilentUntilSwitchedOn) {
  loop::ConsoleLoop loop;
  LiveWire wire(loop, QuietProfile(), kPort);
  PcEnd pc(loop, wire);
  ASSERT_TRUE(pc.Open());
  wire.PowerCut();
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  loop.RunFor(300);
  EXPECT_TRUE(pc.bytes.empty());
  wire.PowerUp();
  wire.WriteFrame(BuildFrame(MsgLinkQuery, {}));
  ASSERT_TRUE(pc.WaitFor(1, 2000));
}

}  // namespace
}  // namespace tavro::sim
