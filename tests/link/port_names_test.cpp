// COM names as the system lists them, turned into the port list.
#include <gtest/gtest.h>

#include "link/com_ports.hpp"
#include "link/port_list.hpp"

namespace tavro::link {
namespace {

TEST(ComNumberOfName, TakesDecimalNumbersFromOneTo255Only) {
  EXPECT_EQ(ComNumberOfName("COM1"), 1u);
  EXPECT_EQ(ComNumberOfName("COM10"), 10u);
  EXPECT_EQ(ComNumberOfName("COM255"), 255u);
  EXPECT_EQ(ComNumberOfName("COM256"), std::nullopt);
  EXPECT_EQ(ComNumberOfName("COM0"), std::nullopt);
  EXPECT_EQ(ComNumberOfName("COM05"), std::nullopt);  // one spelling per number
  EXPECT_EQ(ComNumberOfName("COM"), std::nullopt);
  EXPECT_EQ(ComNumberOfName("COM1000"), std::nullopt);
  EXPECT_EQ(ComNumberOfName("COM3 "), std::nullopt);
  EXPECT_EQ(ComNumberOfName("com3"), std::nullopt);
  EXPECT_EQ(ComNumberOfName("CNCA0"), std::nullopt);  // a virtual port driver's own name
  EXPECT_EQ(ComNumberOfName(""), std::nullopt);
}

TEST(PortsFromComNames, SortsByNumberAndKeepsTheFirstClaimOfANumber) {
  const std::vector<PortEntry> ports = PortsFromComNames({
      {"\\Device\\Serial1", "COM12"},
      {"\\Device\\VCP0", "COM3"},
      {"\\Device\\Other", "CNCA0"},
      {"\\Device\\Serial0", "COM1"},
      {"\\Device\\Again", "COM3"},
  });
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].comNumber, 1u);
  EXPECT_EQ(ports[0].name, "COM1");
  EXPECT_EQ(ports[0].devicePath, "\\Device\\Serial0");
  EXPECT_EQ(ports[1].comNumber, 3u);
  EXPECT_EQ(ports[1].devicePath, "\\Device\\VCP0");
  EXPECT_EQ(ports[2].comNumber, 12u);
  EXPECT_EQ(ports[2].name, ComName(12));
  EXPECT_TRUE(PortsFromComNames({}).empty());
}

}  // namespace
}  // namespace tavro::link
