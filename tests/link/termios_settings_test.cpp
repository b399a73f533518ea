#include "link/posix/termios_settings.hpp"

#include <gtest/gtest.h>

namespace tavro::link::posix {
namespace {

termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXOFF;
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = CS7 | PARENB | CRTSCTS | HUPCL;
  t.c_lflag = ICANON | ECHO | ISIG;
  ::cfsetspeed(&t, B38400);
  return t;
}

TEST(TermiosSettings, StandardRatesOnly) {
  EXPECT_EQ(SpeedFor(9600), B9600);
  EXPECT_EQ(SpeedFor(115200), B115200);
  EXPECT_EQ(SpeedFor(4000000), B4000000);
  EXPECT_FALSE(SpeedFor(0));
  EXPECT_FALSE(SpeedFor(115201));
}

TEST(TermiosSettings, ParityVariants) {
  struct Case {
    char parity;
    tcflag_t bits;
  };
  const Case cases[] = {{'N', 0},
                        {'n', 0},
                        {'E', PARENB},
                        {'o', PARENB | PARODD},
                        {'M', PARENB | PARODD | CMSPAR},
                        {'S', PARENB | CMSPAR}};
  for (const Case& c : cases) {
    termios t = Cooked();
    ASSERT_FALSE(ApplyLineSettings(LineSettings{9600, c.parity, 8, 1}, t)) << c.parity;
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.bits) << c.parity;
    EXPECT_EQ(t.c_cflag & (CRTSCTS | CSTOPB), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
  }
}

TEST(TermiosSettings, RefusedValuesLeaveSettingsUntouched) {
  const LineSettings refused[] = {
      {115200, 'N', 4, 1}, {115200, 'N', 9, 1}, {115200, 'N', 8, 0},
      {115200, 'N', 8, 3}, {115200, 'Q', 8, 1}, {100, 'N', 8, 1},
  };
  for (const LineSettings& s : refused) {
    termios t = Cooked();
    const auto failure = ApplyLineSettings(s, t);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, EINVAL);
    EXPECT_EQ(t.c_cflag, Cooked().c_cflag);
    EXPECT_EQ(t.c_lflag, Cooked().c_lflag);
  }
}

TEST(TermiosSettings, ReadBackComparison) {
  termios wanted = Cooked();
  ASSERT_FALSE(ApplyLineSettings(LineSettings{115200, 'E', 7, 2}, wanted));
  termios applied = wanted;
  applied.c_lflag |= ECHO;  // not a line setting
  EXPECT_TRUE(SameLineSettings(wanted, applied));
  applied = wanted;
  ::cfsetspeed(&applied, B9600);
  EXPECT_FALSE(SameLineSettings(wanted, applied));
  applied = wanted;
  applied.c_cflag &= ~static_cast<tcflag_t>(PARENB);
  EXPECT_FALSE(SameLineSettings(wanted, applied));
  applied = wanted;
  applied.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  EXPECT_FALSE(SameLineSettings(wanted, applied));
}

}  // namespace
}  // namespace tavro::link::posix
