// View device information end to end: the window model against the
// simulated terminal, for both generations and the ways identification fails.

#include <gtest/gtest.h>

#include "data/file_io.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"

namespace tavro::test {
namespace {

std::string ExpectedInfo(Scenario& s, const std::string& bl, const std::string& cur,
                         const std::string& bak, const std::string& para) {
  return s.Text("Dis_Bl_Ver") + ": " + bl + "\r\n" + s.Text("Dis_ChipNum") + ": QZA100\r\n" +
         s.Text("Dis_CompanyNum") + ": TVRO\r\n" + s.Text("Dis_Ver_CurApp") + ": " + cur + "\r\n" +
         s.Text("Dis_Ver_BakApp") + ": " + bak + "\r\n" + para;
}

// Damages the integrity word of every primary (or every) Flash header.
void DamageHeaders(sim::Device& device, bool copiesToo) {
  for (sim::ParaArea& area : device.para) {
    if (!area.primary.bytes.empty())
      area.primary.bytes[0] = 0;
    if (copiesToo && !area.copy.bytes.empty())
      area.copy.bytes[0] = 0;
  }
}

TEST(ViewDeviceInfo, FlashTerminalShownLineByLine) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_EQ(s.Info(),
            ExpectedInfo(s, "2.15", "1.0.2.0", "1.0.1.0", s.Text("Dis_Ver_Para") + ": 1.2.0.0"));
  EXPECT_TRUE(s.screen.boxes().empty()) << s.BoxTexts().front();
  EXPECT_EQ(s.dlg->controls().Get(platform::kConnectionStatusIcon).icon, platform::kIconOn);
  EXPECT_EQ(s.ctx().link.DevIdentified, 1);
  EXPECT_EQ(s.ctx().link.TerminalType, 1u);
  EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 5u);
  EXPECT_EQ(s.SentDuringPress(link::MsgE2ReadBlock), 0u);
  EXPECT_NE(s.RunLogText().find("\r\n\r\nBL-TVRO-2.15"), std::string::npos);
}

TEST(ViewDeviceInfo, E2promTerminalShownFromItsHeader) {
  Scenario s(PackageDevice(0x0230, 1));
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_EQ(s.Info(),
            ExpectedInfo(s, "2.30", "1.0.2.0", "1.0.1.0", s.Text("Dis_Ver_Para") + ": 1.2.0.0"));
  EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 0u);
  EXPECT_EQ(s.SentDuringPress(link::MsgE2ReadBlock), 1u);
  EXPECT_EQ(s.ctx().device.ParaTimestamp, "20240314092653");
  EXPECT_TRUE(s.ctx().device.ParaIntact);
}

TEST(ViewDeviceInfo, BothTerminalTypesUseTheirOwnAreas) {
  for (std::uint16_t type : {0, 1}) {
    SCOPED_TRACE(type);
    Scenario s(PackageDevice(0x0205, type));
    ASSERT_TRUE(s.Start().packageReady);
    ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
    EXPECT_EQ(s.ctx().link.TerminalType, type);
    EXPECT_TRUE(s.ctx().device.ParaIntact) << s.Info();
    EXPECT_EQ(s.ctx().areas[0].areaAddr, type == 0 ? 0x08060000u : 0x080C0000u);
  }
}

TEST(ViewDeviceInfo, DamagedFirstHeadersAreReadFromTheSecondCopies) {
  sim::DeviceSpec spec = PackageDevice(0x0215, 1);
  sim::Device device = sim::MakeDevice(spec);
  DamageHeaders(device, false);
  Scenario s(device);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_TRUE(s.ctx().device.ParaIntact);
  EXPECT_NE(s.Info().find(s.Text("Dis_Ver_Para") + ": 1.2.0.0"), std::string::npos);
  EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 10u);
  EXPECT_NE(s.RunLogText().find("\r\nCurParaIntgErr"), std::string::npos);
}

TEST(ViewDeviceInfo, BothCopiesDamagedShowsTheDataAsBroken) {
  sim::DeviceSpec spec = PackageDevice(0x0215, 1);
  sim::Device device = sim::MakeDevice(spec);
  DamageHeaders(device, true);
  Scenario s(device);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_FALSE(s.ctx().device.ParaIntact);
  EXPECT_EQ(s.ctx().device.ParaVersion, "E.R.R");
  EXPECT_NE(s.Info().find(s.Text("Dis_Intg_ERR_Para")), std::string::npos);
  EXPECT_TRUE(s.screen.boxes().empty());
}

TEST(ViewDeviceInfo, SilentTerminalTimesOutAfterNineSeconds) {
  sim::Faults faults;
  faults.silenceAfter = {true, link::MsgConnect, 0};
  Scenario s(PackageDevice(0x0215, 1), {}, faults);
  ASSERT_TRUE(s.Start().packageReady);
  const std::uint64_t pressed = s.loop.NowMs();
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  const std::uint64_t took = s.loop.NowMs() - pressed;
  EXPECT_GE(took, 9000u);
  EXPECT_LT(took, 10000u);
  ASSERT_EQ(s.screen.boxes().size(), 1u);
  EXPECT_EQ(s.screen.boxes()[0].text, s.Text("Run_ConnectOverTime"));
  EXPECT_EQ(s.ctx().link.LinkUp, 0);
}

TEST(ViewDeviceInfo, UnansweredLinkQueryGoesOnWithTypeZero) {
  sim::DeviceSpec spec = PackageDevice(0x0215, 0);
  spec.terminalType.reset();
  Scenario s(spec);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_EQ(s.ctx().link.TerminalType, 0u);
  EXPECT_EQ(s.ctx().link.PollCount, 22u);
  EXPECT_EQ(s.SentDuringPress(link::MsgLinkQueryReply), 0u);
  EXPECT_TRUE(s.ctx().device.ParaIntact) << s.Info();
  EXPECT_TRUE(s.screen.boxes().empty());
}

TEST(ViewDeviceInfo, CrcErrorInAppInformationIsResent) {
  sim::Faults faults;
  // The first App information goes to the identification at power-up.
  faults.crcErrorReply = {true, link::MsgAppInfo, 2};
  Scenario s(PackageDevice(0x0215, 1), {}, faults);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_EQ(s.SentDuringPress(link::MsgAppInfo), 2u);
  EXPECT_TRUE(s.screen.boxes().empty());
  EXPECT_EQ(s.ctx().link.DevIdentified, 1);
}

TEST(ViewDeviceInfo, ThreeCrcErrorsInARowEndTheOperation) {
  sim::Faults faults;
  faults.crcErrorReply = {true, link::MsgAppInfo, 0};
  Scenario s(PackageDevice(0x0215, 1), {}, faults);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_EQ(s.SentDuringPress(link::MsgAppInfo), 3u);
  ASSERT_EQ(s.screen.boxes().size(), 1u);
  EXPECT_EQ(s.screen.boxes()[0].text, "CRC" + s.Text("Run_ErrNumOver"));
}

TEST(ViewDeviceInfo, MissingPackageStopsBeforeTalking) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  data::RemoveFile(s.dir.PathOf("SwUpdate.ini"));
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_EQ(s.screen.boxes().size(), 1u);
  EXPECT_EQ(s.screen.boxes()[0].text, "SwUpdate.ini" + s.Text("F_NotExist"));
  EXPECT_EQ(s.SentDuringPress(link::MsgBlHello), 0u);
}

TEST(ViewDeviceInfo, TwoBootloaderImagesStopWithTheirMessage) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  s.dir.Write("Data/Bl/one.bin", "a");
  s.dir.Write("Data/Bl/two.bin", "b");
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_EQ(s.screen.boxes().size(), 1u);
  EXPECT_EQ(s.screen.boxes()[0].text, s.dir.Path() + s.Text("F_multiFile"));
}

TEST(ViewDeviceInfo, NonDecimalVersionIsShownAndOnlyLogged) {
  sim::DeviceSpec spec = PackageDevice(0x0215, 1);
  spec.appVersion = 0x01001A00;
  Scenario s(spec);
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  EXPECT_NE(s.Info().find(s.Text("Dis_Ver_CurApp") + ": 1.0.1a.0"), std::string::npos);
  EXPECT_FALSE(s.ctx().device.CurAppVersionBcd);
  EXPECT_NE(s.RunLogText().find("\r\n\r\nCurAppVerNumErr"), std::string::npos);
  EXPECT_EQ(s.RunLogText().find("BakAppVerNumErr"), std::string::npos);
  EXPECT_TRUE(s.screen.boxes().empty());
}

// A package the PC cannot use is the PC's fault: it stops the press with one
// box naming the file, and the terminal's data is never read or judged.
TEST(ViewDeviceInfo, AnUnusablePackageStopsBeforeTheTerminalIsRead) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> package;
    std::uint32_t sentBeforeStop;  // MsgLinkQueryReply frames the terminal sent
  };
  const std::vector<Case> cases = {
      {"cut to 10 bytes", std::vector<std::uint8_t>(10, 0x31), 0},
      {"not whole records", std::vector<std::uint8_t>(16 + 56 + 7, 0), 0},
      {"no records for this terminal", std::vector<std::uint8_t>(16, 0), 1},
  };
  for (const Case& c : cases) {
    Scenario s(PackageDevice(0x0215, 1));
    ASSERT_TRUE(s.Start().packageReady);
    ASSERT_TRUE(data::WriteFileAtomic(s.dir.PathOf("SwUpdate.ini"), c.package));
    ASSERT_TRUE(s.Press(platform::kDeviceInfoButton)) << c.what;
    ASSERT_EQ(s.BoxTexts().size(), 1u) << c.what;
    EXPECT_EQ(s.BoxTexts().front(), s.dir.PathOf("SwUpdate.ini") + s.Text("F_ReadInErr")) << c.what;
    EXPECT_EQ(s.SentDuringPress(link::MsgLinkQueryReply), c.sentBeforeStop) << c.what;
    EXPECT_EQ(s.SentDuringPress(link::MsgAppInfo), 0u) << c.what;
    EXPECT_EQ(s.SentDuringPress(link::MsgFlashReadBlock), 0u) << c.what;
    EXPECT_EQ(s.Info().find(s.Text("Dis_Intg_ERR_Para")), std::string::npos) << c.what;
  }
}

}  // namespace
}  // namespace tavro::test
