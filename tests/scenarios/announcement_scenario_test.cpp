// The bootloader's announcement tells the terminal's generation, and with it
// where the terminal keeps its data. An identification that did not receive
// it in this exchange must ask again or stop; it never goes on with a value
// from an earlier terminal or a default.

#include <gtest/gtest.h>

#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"

namespace tavro::test {
namespace {

constexpr std::uint16_t kE2Terminal = 0x0231;
constexpr std::uint16_t kFlashTerminal = 0x0215;

sim::FrameMatch Reply(std::uint16_t msgId, std::uint32_t nth = 0, std::uint32_t times = 1) {
  return {true, msgId, nth, times};
}

// A terminal that, like many, goes on with its hello a second after an
// announcement nobody acknowledged.
sim::Behaviour HelloWithoutAck() {
  sim::Behaviour b;
  b.helloWithoutAckMs = 1000;
  return b;
}

// Frames that would mean the identification went on, or something was read
// back or written.
std::uint32_t ReadOrWritten(const Scenario& s) {
  std::uint32_t n = 0;
  for (std::uint16_t id :
       {link::MsgAppInfo, link::MsgFlashReadBlock, link::MsgE2ReadBlock, link::MsgAppBlockAck,
        link::MsgParaBlockAck, link::MsgE2WriteAck, link::MsgFlashWriteAck})
    n += s.SentDuringPress(id);
  return n;
}

TEST(Announcement, DamagedOnceTheConnectIsSentAgain) {
  Scenario s(PackageDevice(kE2Terminal, 1));
  ASSERT_TRUE(s.Start().packageReady);
  // The next one, after the announcement at power-up.
  s.terminal().faults().crcErrorReply =
      Reply(link::MsgBlHello, s.terminal().SentCount(link::MsgBlHello) + 1);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_TRUE(s.screen.boxes().empty()) << s.BoxTexts().front();
  EXPECT_EQ(s.SentDuringPress(link::MsgBlHello), 2u);
  EXPECT_EQ(s.ctx().device.BlVersion, kE2Terminal);
  EXPECT_NE(s.Info().find(": 2.31"), std::string::npos) << s.Info();
  // Its data is read where this generation keeps it.
  EXPECT_EQ(s.SentDuringPress(link::MsgE2ReadBlock), 1u);
  EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 0u);
}

TEST(Announcement, DamagedEveryTimeStopsBeforeAnythingIsRead) {
  sim::Faults faults;
  faults.crcErrorReply = Reply(link::MsgBlHello);
  Scenario s(PackageDevice(kE2Terminal, 1), {}, faults);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_EQ(s.BoxTexts().size(), 1u);
  EXPECT_EQ(s.BoxTexts()[0], "CRC" + s.Text("Run_ErrNumOver"));
  EXPECT_EQ(s.SentDuringPress(link::MsgBlHello), 3u);
  EXPECT_EQ(ReadOrWritten(s), 0u);
  EXPECT_EQ(s.ctx().link.LinkUp, 0);

  // No operation starts on it.
  for (int button :
       {platform::kUpgradeButton, platform::kDownloadButton, platform::kBackupButton}) {
    s.screen.Clear();
    ASSERT_TRUE(s.Press(button));
    ASSERT_EQ(s.BoxTexts().size(), 1u) << button;
    EXPECT_EQ(s.BoxTexts()[0], s.Text("Run_UnConnect")) << button;
    EXPECT_EQ(ReadOrWritten(s), 0u) << button;
  }
}

TEST(Announcement, DroppedOnceTheHelloBringsTheConnectAgain) {
  Scenario s(PackageDevice(kE2Terminal, 1), HelloWithoutAck());
  ASSERT_TRUE(s.Start().packageReady);
  s.terminal().faults().dropReply =
      Reply(link::MsgBlHello, s.terminal().SentCount(link::MsgBlHello) + 1);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_TRUE(s.screen.boxes().empty()) << s.BoxTexts().front();
  EXPECT_EQ(s.ctx().device.BlVersion, kE2Terminal);
  EXPECT_EQ(s.SentDuringPress(link::MsgE2ReadBlock), 1u);
  EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 0u);
  EXPECT_NE(s.RunLogText().find("\r\n\r\nNoBlHello"), std::string::npos);
}

// The announcement never arrives: lost every time, or a terminal that
// answers the connect with its hello alone.
TEST(Announcement, NeverReceivedEndsWithAClearMessageAndNoOperationStarts) {
  sim::Faults dropped;
  dropped.dropReply = Reply(link::MsgBlHello);
  sim::Behaviour helloOnly;
  helloOnly.connectReply = sim::ConnectReply::Hello;
  for (const auto& [behaviour, faults] :
       {std::pair{HelloWithoutAck(), dropped}, std::pair{helloOnly, sim::Faults{}}}) {
    Scenario s(PackageDevice(kE2Terminal, 1), behaviour, faults);
    ASSERT_TRUE(s.Start().packageReady);
    ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
    ASSERT_EQ(s.BoxTexts().size(), 1u);
    EXPECT_EQ(s.BoxTexts()[0], s.Text("Ext_NoBlHello"));
    EXPECT_NE(s.Info().find(s.Text("Ext_NoBlHello")), std::string::npos);
    EXPECT_EQ(s.SentDuringPress(link::MsgHello), 4u) << "the first connect and three more";
    EXPECT_EQ(ReadOrWritten(s), 0u);
    EXPECT_EQ(s.dlg->controls().Get(platform::kConnectionStatusIcon).icon, platform::kIconOff);
    for (int button : {platform::kUpgradeButton, platform::kDownloadButton}) {
      s.screen.Clear();
      ASSERT_TRUE(s.Press(button));
      ASSERT_EQ(s.BoxTexts().size(), 1u);
      EXPECT_EQ(s.BoxTexts()[0], s.Text("Run_UnConnect"));
      EXPECT_EQ(ReadOrWritten(s), 0u);
    }
  }
}

// A Flash terminal is served, then an E2PROM terminal is plugged into the
// same port and its announcement is lost: the window must not keep the
// Flash terminal's generation.
TEST(Announcement, ATerminalPluggedInAfterAnotherIsNeverTakenForIt) {
  Scenario s(SmallTerminal(kFlashTerminal), HelloWithoutAck());
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  ASSERT_EQ(s.ctx().device.BlVersion, kFlashTerminal);

  s.terminal().PowerCut();
  s.terminal().mutableDevice() = SmallTerminal(kE2Terminal);
  s.terminal().faults().dropReply = Reply(link::MsgBlHello, 1);
  s.terminal().PowerUp();
  s.loop.Advance(20000);
  // Its hello made the window ask for the announcement, which the second
  // connect brought.
  EXPECT_EQ(s.ctx().device.BlVersion, kE2Terminal);
  EXPECT_EQ(s.terminal().SentCount(link::MsgFlashReadBlock), 0u);
  EXPECT_NE(s.Info().find(": 2.31"), std::string::npos) << s.Info();

  // Upgrade treats it as what it is: E2PROM data, the App of its folder.
  s.screen.Clear();
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(RunUpgrade(s));
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_EQ(s.terminal().SentCount(link::MsgParaBlockAck), 0u);
  EXPECT_EQ(DataOf(s.terminal().device()), UninterruptedUpgradeData(kE2Terminal));
}

TEST(Announcement, ATerminalPluggedInSilentlyAfterAnotherCannotBeUpgraded) {
  Scenario s(SmallTerminal(kFlashTerminal), HelloWithoutAck());
  ASSERT_TRUE(ConnectQuietly(s));
  s.terminal().PowerCut();
  s.terminal().mutableDevice() = SmallTerminal(kE2Terminal);
  s.terminal().faults().dropReply = Reply(link::MsgBlHello);
  s.terminal().PowerUp();
  s.loop.Advance(30000);
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Ext_NoBlHello")});
  s.screen.Clear();
  ASSERT_TRUE(s.Press(platform::kUpgradeButton));
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Run_UnConnect")});
  EXPECT_EQ(ReadOrWritten(s), 0u);
}

}  // namespace
}  // namespace tavro::test
