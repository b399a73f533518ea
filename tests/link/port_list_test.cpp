#include "link/port_list.hpp"

#include <gtest/gtest.h>

#include <set>

#include "link/serial_test_support.hpp"

namespace tavro::link {
namespace {

using test::ScopedEnv;

TEST(PortList, AliasesWithDevicesAreListedInComOrder) {
  test::Pty first;
  test::Pty second;
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  ScopedEnv a("TAVRO_COM210", second.path());
  ScopedEnv b("TAVRO_COM205", first.path());
  ScopedEnv missing("TAVRO_COM207", "/nonexistent/tty-for-tests");

  const std::vector<PortEntry> ports = ListSerialPorts();
  std::set<std::uint32_t> numbers;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_TRUE(numbers.insert(ports[i].comNumber).second) << "twice: " << ports[i].name;
    EXPECT_EQ(ports[i].name, "COM" + std::to_string(ports[i].comNumber));
    if (i > 0) {
      EXPECT_LT(ports[i - 1].comNumber, ports[i].comNumber);
    }
    EXPECT_NE(ports[i].comNumber, 207u);
  }
  auto find = [&](std::uint32_t n) -> const PortEntry* {
    for (const PortEntry& p : ports)
      if (p.comNumber == n)
        return &p;
    return nullptr;
  };
  ASSERT_NE(find(205), nullptr);
  ASSERT_NE(find(210), nullptr);
  EXPECT_EQ(find(205)->devicePath, first.path());
  EXPECT_EQ(find(210)->devicePath, second.path());
}

TEST(PortList, AliasWinsAndClaimsItsNumber) {
  const std::vector<std::string> devices = {"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyAMA0",
                                            "/dev/ttyUSB16", "/dev/ttyACM0"};
  const std::map<std::uint32_t, std::string> aliases = {
      {1, "/dev/pts/9"},     // takes COM1 from ttyS0
      {40, "/dev/ttyUSB1"},  // ttyUSB1 is listed as COM40 only, not as COM34
      {49, "/gone"},         // absent: not listed, and ttyUSB16 (COM49) does not get it
  };
  const auto exists = [](const std::string& path) { return path != "/gone"; };
  const std::vector<PortEntry> ports = BuildPortList(devices, aliases, exists);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].comNumber, 1u);
  EXPECT_EQ(ports[0].devicePath, "/dev/pts/9");
  EXPECT_EQ(ports[1].comNumber, 40u);
  EXPECT_EQ(ports[1].devicePath, "/dev/ttyUSB1");
  EXPECT_EQ(ports[1].name, "COM40");
  EXPECT_EQ(ports[2].comNumber, 65u);
  EXPECT_EQ(ports[2].devicePath, "/dev/ttyACM0");
}

TEST(PortList, DevicesWithoutAliasesKeepTheirTableNumbers) {
  const std::vector<PortEntry> ports =
      BuildPortList({"/dev/ttyACM2", "/dev/ttyS11", "/dev/ttyUSB0", "/dev/ttyS40"}, {},
                    [](const std::string&) { return true; });
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].name, "COM12");
  EXPECT_EQ(ports[1].name, "COM33");
  EXPECT_EQ(ports[2].name, "COM67");
}

}  // namespace
}  // namespace tavro::link
