// The Win32 serial backend's parts that need no port: the names and texts it
// hands the system, and how it reads the system's failures.
#include <gtest/gtest.h>

#include "link/com_ports.hpp"
#include "link/port_monitor.hpp"
#include "link/serial_port.hpp"
#include "link/win32/port_device.hpp"
#include "link/win32/port_list.hpp"
#include "link/win32/worker_control.hpp"
#include "loop/virtual_loop.hpp"

namespace tavro::link::win32 {
namespace {

TEST(Win32Serial, LineSettingsTextIsWhatBuildCommDcbTakes) {
  EXPECT_EQ(LineSettingsText(LineSettings{}), "baud=115200 parity=N data=8 stop=1");
  EXPECT_EQ(LineSettingsText(LineSettings{9600, 'E', 7, 2}), "baud=9600 parity=E data=7 stop=2");
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(::BuildCommDCBA(LineSettingsText(LineSettings{9600, 'E', 7, 2}).c_str(), &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
}

TEST(Win32Serial, DeviceNamesWorkAboveCom9) {
  EXPECT_EQ(ComDeviceName(5), "\\\\.\\COM5");
  EXPECT_EQ(ComDeviceName(10), "\\\\.\\COM10");
  EXPECT_EQ(ComDevicePath(10), "\\\\.\\COM10");
  EXPECT_EQ(ComDevicePath(0), "");
  EXPECT_EQ(ComDevicePath(256), "");
  EXPECT_EQ(ComNumberForDevice("\\\\.\\COM17"), 17u);
  EXPECT_EQ(ComNumberForDevice("COM17"), 17u);
  EXPECT_EQ(ComNumberForDevice("\\Device\\Serial0"), std::nullopt);
}

TEST(Win32Serial, OnlyLossOfTheDeviceEndsTheWorker) {
  EXPECT_TRUE(DeviceGone(ERROR_NOT_READY));    // what a closed pseudo terminal gives
  EXPECT_TRUE(DeviceGone(ERROR_BROKEN_PIPE));  // likewise
  EXPECT_TRUE(DeviceGone(ERROR_BAD_COMMAND));  // a USB adapter pulled
  EXPECT_FALSE(DeviceGone(ERROR_TIMEOUT));
  EXPECT_FALSE(DeviceGone(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(DeviceGone(ERROR_IO_PENDING));
}

TEST(Win32Serial, FailuresCarryTheSystemsTextAndThePort) {
  const std::string text = SystemText(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(CommErrorText("SetCommState()", text, 5),
            "WARNING:  SetCommState() Failed with the following error: \n" + text + "\nPort: 5\n");
  EXPECT_EQ(SystemText(0xFFFFFFF0u).find("error"), 0u);  // no text: the number
}

TEST(Win32Serial, MissingPortFailsWithoutAMessageAndSaysWhy) {
  loop::VirtualLoop loop;
  CSerialPort port(loop);
  int boxes = 0;
  port.SetErrorHandler([&](const std::string&) { ++boxes; });
  EXPECT_FALSE(port.Open(200, LineSettings{}));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.StartWorker());
  port.WriteFrame(ByteView());  // nothing open: nothing sent, nothing shown
  EXPECT_EQ(boxes, 0);
  ASSERT_EQ(port.OpenFailures().size(), 1u);
  EXPECT_EQ(port.OpenFailures()[0].rfind("COM200 (\\\\.\\COM200): ", 0), 0u);
  EXPECT_FALSE(port.Open(0, LineSettings{}));
  EXPECT_EQ(port.OpenFailures().size(), 2u);
}

TEST(Win32PortMonitor, ReportsAPortOnceWhenItLeavesTheList) {
  loop::VirtualLoop loop;
  PortMonitor monitor(loop, [](const PortRemoval&) {});
  const std::vector<PortEntry> both = {{3, "\\Device\\VCP0", "COM3"},
                                       {5, "\\Device\\Serial0", "COM5"}};
  EXPECT_TRUE(monitor.Compare(both).empty());
  const std::vector<PortRemoval> gone = monitor.Compare({both[1]});
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].comNumber, 3u);
  EXPECT_EQ(gone[0].devicePath, "\\Device\\VCP0");
  EXPECT_TRUE(monitor.Compare({both[1]}).empty());  // not again while it stays away
  EXPECT_TRUE(monitor.Compare(both).empty());       // back
  EXPECT_EQ(monitor.Compare({}).size(), 2u);
}

TEST(Win32PortMonitor, StartsAndStopsWithoutAHandOverPending) {
  loop::VirtualLoop loop;
  PortMonitor monitor(loop, [](const PortRemoval&) {});
  ASSERT_TRUE(monitor.Start(std::chrono::milliseconds(5)));
  EXPECT_TRUE(monitor.IsRunning());
  monitor.Stop();
  EXPECT_FALSE(monitor.IsRunning());
}

}  // namespace
}  // namespace tavro::link::win32
