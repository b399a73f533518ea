// The profile folder: round trip, and files that are not trusted.

#include "sim/profile.hpp"

#include <gtest/gtest.h>

#include "data/file_io.hpp"
#include "link/payloads.hpp"
#include "sim/device_factory.hpp"
#include "support/temp_dir.hpp"

namespace tavro::sim {
namespace {

Profile SampleProfile(std::uint16_t blVersion) {
  DeviceSpec spec;
  spec.blVersion = blVersion;
  spec.terminalType.reset();
  Profile p;
  p.device = MakeDevice(spec);
  p.device.app.model = {'T', '\xFF', ' ', 'x', 0, 0, 0, 0};  // not plain text
  p.device.resource.bytes = link::Bytes(5000, 0x5A);
  p.device.marker.bytes = link::FlashMarkerImage();
  p.behaviour.replyDelayMs = 9;
  p.behaviour.paraStartStates = {false, false, {1, 4}};
  p.behaviour.runResult = 0;
  p.behaviour.connectReply = ConnectReply::Hello;
  std::string error;
  EXPECT_TRUE(SetFault(p.faults, "PowerCut", "para:2, 3", error));
  EXPECT_TRUE(SetFault(p.faults, "CrcErrorReply", "12036#2", error));
  return p;
}

TEST(Profile, RoundTripOfAFlashTerminal) {
  test::TempDir dir;
  const Profile saved = SampleProfile(0x0215);
  std::string error;
  ASSERT_TRUE(SaveProfile(dir.Path(), saved, error)) << error;
  Profile loaded;
  ASSERT_TRUE(LoadProfile(dir.Path(), loaded, error)) << error;
  EXPECT_EQ(loaded.device, saved.device);
  EXPECT_EQ(BehaviourEntries(loaded.behaviour), BehaviourEntries(saved.behaviour));
  EXPECT_EQ(FaultEntries(loaded.faults), FaultEntries(saved.faults));
  EXPECT_FALSE(loaded.device.bootloader.terminalType.has_value());
}

TEST(Profile, RoundTripOfAnE2promTerminal) {
  test::TempDir dir;
  const Profile saved = SampleProfile(0x0230);
  std::string error;
  ASSERT_TRUE(SaveProfile(dir.Path(), saved, error)) << error;
  Profile loaded;
  ASSERT_TRUE(LoadProfile(dir.Path(), loaded, error)) << error;
  EXPECT_EQ(loaded.device, saved.device);
  EXPECT_EQ(loaded.device.e2prom.size(), kE2Size);
  EXPECT_TRUE(loaded.device.para.empty());
}

TEST(Profile, MissingImagesReadAsErasedFlash) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(SaveProfile(dir.Path(), SampleProfile(0x0215), error));
  ASSERT_TRUE(data::RemoveFile(dir.PathOf("para2-copy.bin")));
  ASSERT_TRUE(data::RemoveFile(dir.PathOf("resource.bin")));
  Profile loaded;
  ASSERT_TRUE(LoadProfile(dir.Path(), loaded, error)) << error;
  EXPECT_TRUE(loaded.device.para[1].copy.bytes.empty());
  EXPECT_TRUE(loaded.device.resource.bytes.empty());
  EXPECT_FALSE(loaded.device.para[1].primary.bytes.empty());
}

TEST(Profile, ImageLargerThanItsRegionIsRefused) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(SaveProfile(dir.Path(), SampleProfile(0x0215), error));
  ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("para1.bin"), link::Bytes(kParaAreaCapacity + 1)));
  Profile loaded;
  EXPECT_FALSE(LoadProfile(dir.Path(), loaded, error));
  EXPECT_NE(error.find("para1.bin"), std::string::npos) << error;
}

TEST(Profile, E2promImageOfTheWrongSizeIsRefused) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(SaveProfile(dir.Path(), SampleProfile(0x0230), error));
  ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("e2prom.bin"), link::Bytes(100)));
  Profile loaded;
  EXPECT_FALSE(LoadProfile(dir.Path(), loaded, error));
  EXPECT_NE(error.find("e2prom.bin"), std::string::npos) << error;
}

TEST(Profile, UnreadableValuesNameFileAndKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"[Bootloader]\nVersion=0x1G\n", "Version"},
      {"[Bootloader]\nVersion=0x215\nChipNum=TOOLONG\n", "ChipNum"},
      {"[Bootloader]\nVersion=0x215\n[Areas]\nParaCount=6\n", "ParaCount"},
      {"[Bootloader]\nVersion=0x215\n[Areas]\nArea0=0x10,zz,0,1.dat\n", "Area0"},
      {"[Bootloader]\nVersion=0x215\n[App]\nStamp=2024,13\n", "Stamp"},
      {"[Bootloader]\nVersion=0x215\n[Behaviour]\nReplyDelay=3\n", "ReplyDelay"},
      {"[Bootloader]\nVersion=0x215\n[Faults]\nPowerCut=disk, 3\n", "PowerCut"},
      {"[Bootloader]\n", "Version"},
  };
  for (const auto& [text, key] : cases) {
    test::TempDir dir;
    ASSERT_TRUE(dir.Write(kProfileIni, text));
    Profile loaded;
    std::string error;
    EXPECT_FALSE(LoadProfile(dir.Path(), loaded, error)) << text;
    EXPECT_NE(error.find(key), std::string::npos) << error;
  }
}

TEST(Profile, NoProfileInTheFolder) {
  test::TempDir dir;
  Profile loaded;
  std::string error;
  EXPECT_FALSE(LoadProfile(dir.Path(), loaded, error));
  EXPECT_NE(error.find(kProfileIni), std::string::npos);
}

TEST(Profile, SmallAreaLengthsGiveAreasWithoutSecondCopies) {
  DeviceSpec spec;
  spec.areas[2] = {0x0806B000, 0x1000, 3, "3.dat"};
  const Device d = MakeDevice(spec);
  EXPECT_EQ(d.para[2].primary.capacity, 0x1000u);
  EXPECT_EQ(d.para[2].copy.capacity, 0u);
  EXPECT_EQ(d.para[2].primary.bytes.size(), 0x1000u) << "generated data fits the area";
  EXPECT_EQ(d.FindRegion(0x1000), nullptr);
  EXPECT_EQ(d.para[1].copy.capacity, kParaAreaCapacity);
}

}  // namespace
}  // namespace tavro::sim
