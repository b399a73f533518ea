// tavro-sim init and show, and the frame trace.

#include "sim/commands.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "data/file_io.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/profile.hpp"
#include "sim/trace.hpp"
#include "support/temp_dir.hpp"

namespace tavro::sim {
namespace {

using namespace link;

// A package description with the areas of terminal type 1, class 0x220.
Bytes PackageFile() {
  Bytes file(16, 0);
  file[8] = 4;  // four parameter areas
  auto record = [&](std::uint32_t index, std::uint32_t addr, std::uint32_t len,
                    const std::string& name) {
    Bytes r(56, 0);
    PutU32(r.data(), 1);
    PutU32(r.data() + 4, index);
    PutU32(r.data() + 8, 0x220);
    PutU32(r.data() + 12, addr);
    PutU32(r.data() + 16, len);
    std::copy(name.begin(), name.end(), r.begin() + 24);
    file.insert(file.end(), r.begin(), r.end());
  };
  for (std::uint32_t i = 0; i < 4; ++i)
    record(i, 0x08060000 + i * 0x4000, 0x3000, "x.dat");
  record(5, 0x18000000, 0x181F0000, "");
  record(6, 0x08010000, 0x50000, "App.bin");
  return file;
}

TEST(InitCommand, CreatesAProfileShowCanRead) {
  test::TempDir dir;
  InitOptions o;
  o.dir = dir.PathOf("dev");
  o.blVersion = 0x0231;
  std::ostringstream out, err;
  ASSERT_EQ(RunInit(o, out, err), 0) << err.str();
  std::ostringstream shown;
  ASSERT_EQ(RunShow(o.dir, shown, err), 0) << err.str();
  EXPECT_NE(shown.str().find("Bootloader 2.31"), std::string::npos) << shown.str();
  EXPECT_NE(shown.str().find("E2PROM: intact"), std::string::npos) << shown.str();
  // A second init does not overwrite the terminal unless asked to.
  EXPECT_EQ(RunInit(o, out, err), 1);
  o.force = true;
  EXPECT_EQ(RunInit(o, out, err), 0);
}

TEST(InitCommand, AreasFromThePackage) {
  test::TempDir dir;
  ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("SwUpdate.ini"), PackageFile()));
  InitOptions o;
  o.dir = dir.PathOf("dev");
  o.blVersion = 0x0215;
  o.terminalType = 1;
  o.packageDir = dir.Path();
  std::ostringstream out, err;
  ASSERT_EQ(RunInit(o, out, err), 0) << err.str();
  Profile p;
  std::string error;
  ASSERT_TRUE(LoadProfile(o.dir, p, error)) << error;
  ASSERT_EQ(p.device.para.size(), 4u);
  EXPECT_EQ(p.device.para[3].primary.address, 0x0806C000u);
  EXPECT_EQ(p.device.para[3].primary.capacity, 0x3000u);
  EXPECT_TRUE(AreaIntact(p.device.para[3].primary));
  EXPECT_EQ(p.device.areas[kAppEntry].areaAddr, 0x08010000u);
  EXPECT_EQ(p.device.resource.address, 0x18000000u);
  EXPECT_EQ(p.device.e2Copy.address, 0x181F0000u);

  o.terminalType = 2;  // no records for this type
  o.force = true;
  std::ostringstream err2;
  EXPECT_EQ(RunInit(o, out, err2), 1);
  EXPECT_NE(err2.str().find("no areas"), std::string::npos) << err2.str();
}

// The sample package carries what a download reads: the marker, an App for
// each generation, initial data of every area and the destination version.
TEST(PackageCommand, WritesADownloadablePackageThatFitsEveryArea) {
  test::TempDir dir;
  ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("SwUpdate.ini"), PackageFile()));
  PackageOptions o;
  o.programDir = dir.Path();
  o.dataVersion = 0x01040000;
  std::ostringstream out, err;
  ASSERT_EQ(RunPackage(o, out, err), 0) << err.str();
  EXPECT_TRUE(data::FileExists(dir.PathOf("QZDownload.bin")));
  const auto app = data::ReadWholeFile(dir.PathOf("SW/Flash/App.bin"));
  ASSERT_TRUE(app && app->size() > 68);
  EXPECT_EQ(link::GetU32(app->data() + 64), o.appVersion);
  EXPECT_EQ(data::ReadWholeFile(dir.PathOf("SW/E2prom/App.bin")), app);
  EXPECT_EQ(data::ReadWholeFile(dir.PathOf("Data/InitData/E2prom/E2.dat"))->size(), 65536u);
  EXPECT_EQ(data::ListFiles(dir.PathOf("Data/InitData/Flash"), "*.dat").size(), 4u);
  const auto area = data::ReadWholeFile(dir.PathOf("Data/InitData/Flash/4.dat"));
  ASSERT_TRUE(area);
  EXPECT_LE(area->size(), 0x3000u) << "fits the smallest area";
  EXPECT_EQ(link::GetU32(area->data() + 6), 0x01040000u);
  EXPECT_NE(dir.Read("Data/DataVer.ini").find("DestParaVer=0x1040000"), std::string::npos);

  test::TempDir empty;
  std::ostringstream err2;
  EXPECT_EQ(RunPackage(PackageOptions{empty.Path()}, out, err2), 1);
  EXPECT_NE(err2.str().find("not a package description"), std::string::npos);
}

TEST(ShowCommand, FolderWithoutProfile) {
  test::TempDir dir;
  std::ostringstream out, err;
  EXPECT_EQ(RunShow(dir.Path(), out, err), 1);
  EXPECT_FALSE(err.str().empty());
}

TEST(Trace, KeyFieldsOfBlocksAndRequests) {
  const Bytes chunk(100, 7);
  EXPECT_EQ(DescribeFrame(BuildFrame(MsgAppBlock, CountedBlockPayload(12, 3, chunk))),
            "12056 MsgAppBlock len=106 count=12 block=3 L=100");
  EXPECT_EQ(DescribeFrame(BuildFrame(MsgParaBlock, AreaBlockPayload(0x10, 0x20, 2, 1, chunk))),
            "12071 MsgParaBlock len=114 area=0x00000010 len=0x00000020 count=2 block=1 L=100");
  // The resend request declares 10 bytes but carries 12: all are shown.
  EXPECT_EQ(DescribeFrame(ResendRequestFrame(MsgParaBackupBlock, 0x18010000, 4, 2)),
            "12006 MsgResendRequest len=10 of=12046 addr=0x18010000 count=4 block=2");
  EXPECT_EQ(DescribeFrame(BuildTerminalFrame(MsgAppBlockAck, StatusPayload(0))),
            "12057 MsgAppBlockAck len=2 status=0");
  // A block whose length runs past the frame is marked, not read.
  Bytes bad = CountedBlockPayload(1, 0, chunk);
  PutU16(bad.data() + 4, 5000);
  EXPECT_EQ(DescribeFrame(BuildFrame(MsgRamBlock, bad)), "12080 MsgRamBlock len=106 (malformed)");
  EXPECT_EQ(DescribeFrame(Bytes(5, 0)), "frame of 5 bytes that cannot be read");
  EXPECT_EQ(TraceLine(12345, '!', {}, "power up"), "       12.345 !  power up");
}

}  // namespace
}  // namespace tavro::sim
