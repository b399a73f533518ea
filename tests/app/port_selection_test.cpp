// The port list, opening and closing the port, the baud rate and the loss of
// the open port's adapter.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/port_selection.hpp"
#include "app/window_fixture.hpp"
#include "engine/stage_control.hpp"

namespace tavro::app {
namespace {

using Texts = std::vector<std::string>;
using Names = std::vector<std::string>;

link::PortEntry Port(std::uint32_t n) {
  return {n, "/dev/ttyUSB" + std::to_string(n), "COM" + std::to_string(n)};
}

TEST(PortNumberOfEntry, TakesTheNumberAfterComWithItsBaseKeptInEightBits) {
  EXPECT_EQ(PortNumberOfEntry("COM12"), 12u);
  EXPECT_EQ(PortNumberOfEntry("COM1"), 1u);
  EXPECT_EQ(PortNumberOfEntry("COM300"), 44u);
  EXPECT_EQ(PortNumberOfEntry("COM0x10"), 16u);
  EXPECT_EQ(PortNumberOfEntry("COM010"), 8u);
  EXPECT_EQ(PortNumberOfEntry("COM"), 0u);
  EXPECT_EQ(PortNumberOfEntry(""), 0u);
}

class PortSelection : public test::WindowFixture {
 protected:
  // The open port is COM1 (opened by the fixture).
  void ExpectClosedLook() {
    EXPECT_FALSE(ctx().port.open);
    EXPECT_EQ(Control(platform::kPortButton).text, Text("B_OpenCom"));
    EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOff);
    EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
    EXPECT_EQ(link().LinkUp, 0u);
    EXPECT_EQ(link().DevIdentified, 0u);
  }
  void Identified() {
    link().LinkUp = 1;
    link().DevIdentified = 1;
    ctx().controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
  }
};

TEST_F(PortSelection, PortButtonOpensAndClosesAndEveryChangeDropsTheLink) {
  EXPECT_EQ(serial.openedPort(), 1u);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_CloseCom"));
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOn);
  Identified();
  Deliver({0x5F, 0x5F, 0x30});
  dlg->OnButton(platform::kPortButton);
  EXPECT_FALSE(serial.IsOpen());
  ExpectClosedLook();
  EXPECT_EQ(ctx().rx.StoredCount(), 0u);
  ASSERT_NE(screen.Control(platform::kPortButton), nullptr);
  EXPECT_EQ(screen.Control(platform::kPortButton)->text, Text("B_OpenCom"));

  Identified();
  dlg->OnButton(platform::kPortButton);
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_TRUE(ctx().port.open);
  EXPECT_EQ(link().LinkUp, 0u);
  EXPECT_EQ(link().DevIdentified, 0u);
  EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(PortSelection, PortThatCannotBeOpenedIsReported) {
  dlg->OnButton(platform::kPortButton);
  serial.AllowOnly({2});
  dlg->OnButton(platform::kPortButton);
  ExpectClosedLook();
  ASSERT_EQ(BoxTexts(), Texts{Text("C_Com") + "COM1" + Text("C_NoCom")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
}

TEST_F(PortSelection, SelectingAPortOpensItAndLogsIt) {
  ports = {Port(1), Port(7)};
  OpenRunLog(1);
  dlg->OnDropDown(platform::kPortList);
  EXPECT_EQ(Control(platform::kPortList).items, (Names{"COM1", "COM7"}));
  Identified();
  dlg->OnSelect(platform::kPortList, 1);
  EXPECT_EQ(serial.openedPort(), 7u);
  EXPECT_EQ(ctx().port.number, 7u);
  EXPECT_TRUE(ctx().port.open);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_CloseCom"));
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOn);
  EXPECT_EQ(link().LinkUp, 0u);
  EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
  EXPECT_EQ(RunLogText(), "AppRunLog:\r\n\r\nCOM1\r\nCOM7");
}

TEST_F(PortSelection, SelectedPortThatCannotBeOpenedIsReported) {
  ports = {Port(1), Port(7)};
  dlg->OnDropDown(platform::kPortList);
  serial.AllowOnly({1});
  dlg->OnSelect(platform::kPortList, 1);
  ExpectClosedLook();
  EXPECT_EQ(ctx().port.number, 7u);
  ASSERT_EQ(BoxTexts(), Texts{Text("C_Com") + "COM7" + Text("C_NoCom")});
}

TEST_F(PortSelection, DropDownKeepsTheSelectedIndexWhileTheListIsLongEnough) {
  ports = {Port(1), Port(4), Port(9)};
  dlg->OnDropDown(platform::kPortList);
  dlg->OnSelect(platform::kPortList, 2);
  ports = {Port(2), Port(3), Port(5), Port(6)};
  dlg->OnDropDown(platform::kPortList);
  EXPECT_EQ(Control(platform::kPortList).selected, 2);  // the index, not the name
  ports = {Port(2)};
  dlg->OnDropDown(platform::kPortList);
  EXPECT_EQ(Control(platform::kPortList).selected, -1);
  EXPECT_EQ(ctx().port.number, 9u);  // opening the list changes no port
}

TEST_F(PortSelection, BaudChangeWhileClosedOpensThePortButLeavesTheButton) {
  dlg->OnButton(platform::kPortButton);
  ASSERT_FALSE(serial.IsOpen());
  dlg->OnSelect(platform::kBaudList, 0);
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_EQ(serial.openedSettings().baud, 9600u);
  EXPECT_EQ(serial.openedSettings().parity, 'N');
  EXPECT_EQ(serial.openedSettings().dataBits, 8);
  EXPECT_EQ(serial.openedSettings().stopBits, 1);
  EXPECT_FALSE(ctx().port.open);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_OpenCom"));
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOff);
}

TEST_F(PortSelection, BaudChangeReopensAnOpenPortAndFailsSilently) {
  dlg->OnSelect(platform::kBaudList, 0);
  EXPECT_EQ(serial.openedSettings().baud, 9600u);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_CloseCom"));
  dlg->OnSelect(platform::kBaudList, 1);
  EXPECT_EQ(serial.openedSettings().baud, 115200u);
  serial.AllowOnly({});
  dlg->OnSelect(platform::kBaudList, 0);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(ctx().port.line.baud, 9600u);
  // A later open uses the rate chosen.
  serial.AllowOnly({1});
  dlg->OnButton(platform::kPortButton);
  dlg->OnButton(platform::kPortButton);
  EXPECT_EQ(serial.openedSettings().baud, 9600u);
}

// ---- device removal -------------------------------------------------------------

TEST_F(PortSelection, RemovingAnUnrelatedDeviceLeavesThePortOpenAndSelected) {
  ports = {Port(3), Port(1)};
  Identified();
  dlg->OnDeviceRemoved();
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_TRUE(ctx().port.open);
  EXPECT_EQ(Control(platform::kPortList).selected, 1);
  EXPECT_EQ(link().LinkUp, 1u);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(PortSelection, LosingTheOpenPortEndsTheOperationAndClosesIt) {
  ports = {Port(3), Port(5)};
  Identified();
  link().CmdID = link::MsgReadAppInfo;
  engine::StartCommand(ctx());
  ASSERT_FALSE(Control(platform::kDeviceInfoButton).enabled);
  const std::size_t attempts = serial.openAttempts().size();

  dlg->OnDeviceRemoved();
  // The packaged text "Serial port " ends in a space: it is not doubled.
  const std::string lost = "Serial port COM1 " + Text("C_ComLost");
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_FALSE(loop.TimerRunning(engine::kTimerAnswer));
  EXPECT_FALSE(serial.IsOpen());
  ExpectClosedLook();
  EXPECT_EQ(Control(platform::kTermText).text, lost);
  EXPECT_EQ(Info(), lost);
  EXPECT_EQ(Control(platform::kPortList).selected, 1);
  EXPECT_EQ(ctx().port.number, 5u);
  EXPECT_EQ(serial.openAttempts().size(), attempts);  // nothing reopened
  ASSERT_EQ(BoxTexts(), Texts{lost});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  ASSERT_NE(screen.Control(platform::kInfoText), nullptr);
  EXPECT_EQ(screen.Control(platform::kInfoText)->text, lost);

  // Closed now: a further removal is not ours to handle.
  dlg->OnDeviceRemoved();
  EXPECT_EQ(screen.boxes().size(), 1u);
}

TEST_F(PortSelection, LosingTheOnlyPortLeavesNothingSelected) {
  dlg->OnDeviceRemoved();
  EXPECT_FALSE(ctx().port.open);
  EXPECT_EQ(Control(platform::kPortList).selected, -1);
  EXPECT_EQ(ctx().port.number, 1u);
  ASSERT_EQ(BoxTexts(), Texts{"Serial port COM1 " + Text("C_ComLost")});
}

}  // namespace
}  // namespace tavro::app
