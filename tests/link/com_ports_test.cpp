#include "link/com_ports.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "link/serial_test_support.hpp"

namespace tavro::link {
namespace {

using test::ScopedEnv;

TEST(ComPorts, BuiltInMapping) {
  EXPECT_EQ(BuiltInComNumber("/dev/ttyS11"), 12u);
  EXPECT_EQ(BuiltInComNumber("/dev/ttyS0"), 1u);
  EXPECT_EQ(BuiltInComNumber("/dev/ttyUSB0"), 33u);
  EXPECT_EQ(BuiltInComNumber("/dev/ttyACM2"), 67u);
  EXPECT_EQ(BuiltInComNumber("/dev/ttyACM190"), 255u);
  for (const char* none : {"/dev/ttyS32", "/dev/ttyUSB32", "/dev/ttyACM191", "/dev/ttyS011",
                           "/dev/ttyS", "/dev/ttyS1x", "/dev/ttyS-1", "/dev/ttyAMA0", "ttyS1",
                           "/dev/pts/3", "/dev/ttyUSB99999999999"}) {
    EXPECT_FALSE(BuiltInComNumber(none)) << none;
  }
  EXPECT_EQ(BuiltInComDevicePath(12), "/dev/ttyS11");
  EXPECT_EQ(BuiltInComDevicePath(32), "/dev/ttyS31");
  EXPECT_EQ(BuiltInComDevicePath(64), "/dev/ttyUSB31");
  EXPECT_EQ(BuiltInComDevicePath(65), "/dev/ttyACM0");
  EXPECT_EQ(ComDevicePath(0), "");
  EXPECT_EQ(ComDevicePath(256), "");
  EXPECT_EQ(ComName(12), "COM12");
}

TEST(ComPorts, EveryNumberHasOneDeviceAndBack) {
  for (std::uint32_t n = kFirstComNumber; n <= kLastComNumber; ++n) {
    const std::string path = BuiltInComDevicePath(n);
    ASSERT_FALSE(path.empty()) << n;
    EXPECT_EQ(BuiltInComNumber(path), n) << path;
  }
}

TEST(ComPorts, AliasWinsOverTheTable) {
  ScopedEnv alias("TAVRO_COM12", "/tmp/tavro-test-sim");
  EXPECT_EQ(ComDevicePath(12), "/tmp/tavro-test-sim");
  EXPECT_EQ(ComDevicePath(13), "/dev/ttyS12");
  EXPECT_EQ(ComNumberForDevice("/tmp/tavro-test-sim"), 12u);
  // COM12 now means the alias; the table's device has no number.
  EXPECT_FALSE(ComNumberForDevice("/dev/ttyS11"));
  EXPECT_EQ(ComNumberForDevice("/dev/ttyS12"), 13u);
}

TEST(ComPorts, AliasesWithInvalidNumbersAreIgnored) {
  ScopedEnv good("TAVRO_COM255", "/dev/a");
  ScopedEnv zero("TAVRO_COM0", "/dev/b");
  ScopedEnv high("TAVRO_COM256", "/dev/c");
  ScopedEnv padded("TAVRO_COM07", "/dev/d");
  ScopedEnv letters("TAVRO_COMx", "/dev/e");
  ScopedEnv empty("TAVRO_COM9", "");
  const auto aliases = ComAliases();
  EXPECT_EQ(aliases.count(255), 1u);
  EXPECT_EQ(aliases.count(0), 0u);
  EXPECT_EQ(aliases.count(7), 0u);
  EXPECT_EQ(aliases.count(9), 0u);
  for (const auto& [n, path] : aliases) {
    EXPECT_GE(n, kFirstComNumber);
    EXPECT_LE(n, kLastComNumber);
    EXPECT_NE(path, "/dev/c");
  }
  EXPECT_EQ(ComDevicePath(9), "/dev/ttyS8");  // an empty alias does not count
}

TEST(ComPorts, AliasMatchesThroughSymlinks) {
  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  const auto link =
      std::filesystem::temp_directory_path() / ("tavro-com-link-" + std::to_string(::getpid()));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty.path(), link);
  {
    ScopedEnv alias("TAVRO_COM150", link.string());
    EXPECT_EQ(ComNumberForDevice(pty.path()), 150u);
    EXPECT_EQ(ComNumberForDevice(link.string()), 150u);
  }
  std::filesystem::remove(link);
}

}  // namespace
}  // namespace tavro::link
