#include "data/ini_to_bin.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "data/file_io.hpp"
#include "data/package.hpp"
#include "data/temp_dir.hpp"
#include "link/byte_order.hpp"

namespace tavro::data {
namespace {

using test_support::FolderEntries;
using test_support::TempDir;
using test_support::WriteText;
using ::testing::ElementsAre;

std::vector<std::uint8_t> Build(const TempDir& dir, const std::string& source) {
  WriteText(dir / "src.ini", source);
  EXPECT_TRUE(IniToBin(dir / "out.bin", dir / "src.ini"));
  return ReadWholeFile(dir / "out.bin").value_or(std::vector<std::uint8_t>{});
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t offset) {
  return link::ReadU32(b, offset).value_or(0xDEADBEEF);
}

std::uint32_t RecordField(const std::vector<std::uint8_t>& b, std::size_t record,
                          std::size_t field) {
  return U32(b, 16 + 56 * record + 4 * field);
}

std::string RecordName(const std::vector<std::uint8_t>& b, std::size_t record) {
  const std::size_t at = 16 + 56 * record + 24;
  if (b.size() < at + 32)
    return "<short>";
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                     b.begin() + static_cast<std::ptrdiff_t>(at + 32));
}

TEST(IniToBin, MissingSourceGivesTheDefaultHeaderOnly) {
  TempDir dir;
  ASSERT_TRUE(IniToBin(dir / "out.bin", dir / "absent.ini"));
  const auto b = ReadWholeFile(dir / "out.bin");
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(*b, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0}));
}

TEST(IniToBin, HeaderValuesInAnyBase) {
  TempDir dir;
  const auto b = Build(dir,
                       "[DebugLevel]\nDebugLevel=0x10\n[BLUpDataConfig]\nBLUpDataConfig=0400\n"
                       "[ParaFileNum]\nParaFileTotalNum=7\nParaFileRequisiteNum=0x105\n");
  ASSERT_EQ(b.size(), 16u);  // sections before any area section give no records
  EXPECT_EQ(U32(b, 0), 16u);
  EXPECT_EQ(U32(b, 4), 256u);  // leading zero: octal
  EXPECT_EQ(U32(b, 8), 7u);
  EXPECT_EQ(U32(b, 12), 0x105u);
}

TEST(IniToBin, KeysInGroupsOfFourSettingsIncluded) {
  TempDir dir;
  const auto b = Build(dir,
                       "[Flash_Addr_Start]\n"
                       "[Area]\n"
                       "Addr_Type=1\n"
                       "Bl_Ver=0x220\n"
                       "k1=0400\n"
                       "; a comment is not a key\n"
                       "k2=name0\n"
                       "k3=0x08010000\n"
                       "k4=4096\n"
                       "k5=7\n"
                       "k6=App.bin\n"
                       "k7=0x99\n"
                       "k8=spare\n");
  ASSERT_EQ(b.size(), 16u + 2 * 56u);  // the last two keys make no record
  // Group 0 is Addr_Type, Bl_Ver, k1, k2: their values fill the area fields.
  EXPECT_EQ(RecordField(b, 0, 0), 1u);
  EXPECT_EQ(RecordField(b, 0, 1), 0u);
  EXPECT_EQ(RecordField(b, 0, 2), 0x220u);
  EXPECT_EQ(RecordField(b, 0, 3), 1u);
  EXPECT_EQ(RecordField(b, 0, 4), 0x220u);
  EXPECT_EQ(RecordField(b, 0, 5), 256u);
  EXPECT_EQ(RecordName(b, 0), std::string("name0") + std::string(27, '\0'));
  EXPECT_EQ(RecordField(b, 1, 0), 1u);
  EXPECT_EQ(RecordField(b, 1, 1), 1u);
  EXPECT_EQ(RecordField(b, 1, 2), 0x220u);
  EXPECT_EQ(RecordField(b, 1, 3), 0x08010000u);
  EXPECT_EQ(RecordField(b, 1, 4), 4096u);
  EXPECT_EQ(RecordField(b, 1, 5), 7u);
  EXPECT_EQ(RecordName(b, 1), std::string("App.bin") + std::string(25, '\0'));
}

TEST(IniToBin, FileNamesAreCutToThirtyTwoBytesOfLowCodeUnitBits) {
  TempDir dir;
  const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  const auto b = Build(dir, "[Flash_Addr_Start]\n[A]\na=1\nb=2\nc=3\nname=" + forty +
                                "\nw=1\nx=2\ny=3\nz=caf\xC3\xA9\xE4\xB8\xAD\n");
  ASSERT_EQ(b.size(), 16u + 2 * 56u);
  EXPECT_EQ(RecordName(b, 0), forty.substr(0, 32));  // no terminator
  // é is U+00E9, 中 is U+4E2D: one byte each, the low 8 bits.
  EXPECT_EQ(RecordName(b, 1), std::string("caf\xE9\x2D") + std::string(27, '\0'));
  // The defaults of the settings apply when the keys are absent.
  EXPECT_EQ(RecordField(b, 0, 0), 0u);
  EXPECT_EQ(RecordField(b, 0, 2), 0x230u);
}

TEST(IniToBin, IndexRestartsInEverySectionAfterTheMarker) {
  TempDir dir;
  const auto b = Build(dir,
                       "[Before]\na=1\nb=2\nc=3\nd=4\n"
                       "[Flash_Addr_Start]\n"
                       "[S1]\na=0x10\nb=0\nc=0\nd=x\na2=0x11\nb2=0\nc2=0\nd2=y\n"
                       "[S2]\na=0x20\nb=0\nc=0\nd=z\n");
  ASSERT_EQ(b.size(), 16u + 3 * 56u);
  EXPECT_EQ(RecordField(b, 0, 1), 0u);
  EXPECT_EQ(RecordField(b, 0, 3), 0x10u);
  EXPECT_EQ(RecordField(b, 1, 1), 1u);
  EXPECT_EQ(RecordField(b, 1, 3), 0x11u);
  EXPECT_EQ(RecordField(b, 2, 1), 0u);
  EXPECT_EQ(RecordField(b, 2, 3), 0x20u);
}

TEST(IniToBin, WithoutTheExactMarkerTheFirstSectionIsTheMarker) {
  TempDir dir;
  // "flash_addr_start" differs in case, so it is an ordinary section: the
  // first section is taken as the marker and the next two are area sections.
  const auto b = Build(dir,
                       "[First]\na=1\nb=2\nc=3\nd=4\n"
                       "[flash_addr_start]\na=5\nb=6\nc=7\nd=8\n"
                       "[Last]\na=9\nb=10\nc=11\nd=12\n");
  ASSERT_EQ(b.size(), 16u + 2 * 56u);
  EXPECT_EQ(RecordField(b, 0, 3), 5u);
  EXPECT_EQ(RecordField(b, 1, 3), 9u);
}

TEST(IniToBin, WritesWholeOrNothing) {
  TempDir dir;
  WriteText(dir / "src.ini", "[DebugLevel]\nDebugLevel=1\n");
  EXPECT_FALSE(IniToBin(dir / "missing/out.bin", dir / "src.ini"));
  EXPECT_THAT(FolderEntries(dir.path()), ElementsAre("src.ini"));

  WriteText(dir / "out.bin", std::string(500, 'x'));  // an older, longer output
  ASSERT_TRUE(IniToBin(dir / "out.bin", dir / "src.ini"));
  EXPECT_EQ(FileSize(dir / "out.bin"), 16u);
}

TEST(IniToBin, RoundTripThroughThePackageReader) {
  TempDir dir;
  const auto b = Build(dir,
                       "[DebugLevel]\nDebugLevel=2\n[ParaFileNum]\nParaFileTotalNum=3\n"
                       "[Flash_Addr_Start]\n"
                       "[T1]\na=0x100\nb=0x200\nc=3\nd=1.dat\n"
                       "a6=0\nb6=0\nc6=0\nd6=\na7=0x700\nb7=0x70\nc7=1\nd7=T1.bin\n"
                       "Addr_Type=1\nBl_Ver=0x200\n"
                       "[T0]\na=0x555\nb=1\nc=1\nd=zero.dat\nAddr_Type=0\nBl_Ver=0x200\n");
  PackageValues v;
  AreaTable t;
  ASSERT_TRUE(ParsePackage(b, 1, 0x205, v, t));
  EXPECT_EQ(v.debugLevel, 2u);
  EXPECT_EQ(v.paraFileTotalNum, 3);
  EXPECT_EQ(v.paraFileRequisiteNum, 5);
  EXPECT_EQ(t[0].areaAddr, 0x100u);
  EXPECT_EQ(t[0].areaLen, 0x200u);
  EXPECT_EQ(t[0].areaArg, 3u);
  EXPECT_EQ(t[0].fileName, "1.dat");
  EXPECT_EQ(t[2].areaAddr, 0x700u);
  EXPECT_EQ(t[2].fileName, "T1.bin");

  ASSERT_TRUE(ParsePackage(b, 0, 0x200, v, t));
  EXPECT_EQ(t[0].areaAddr, 0x555u);
  EXPECT_EQ(t[0].fileName, "zero.dat");
  EXPECT_EQ(t[2].fileName, "");
  ASSERT_TRUE(ParsePackage(b, 0, 0x230, v, t));
  EXPECT_EQ(t[0].fileName, "");  // no records of that class
}

TEST(IniToBinOutputPath, NewIniNextToTheSource) {
  TempDir dir;
  EXPECT_EQ(IniToBinOutputPath(dir / "pkg.ini"), dir / "NewIni/pkg.ini");
  EXPECT_TRUE(FolderExists(dir / "NewIni"));
  EXPECT_EQ(IniToBinOutputPath(dir / "pkg.ini"), dir / "NewIni/pkg.ini");  // exists already

  TempDir other;
  WriteText(other / "NewIni", "a file in the way");
  EXPECT_EQ(IniToBinOutputPath(other / "pkg.ini"), std::nullopt);
}

// The package source shipped with the tool describes, for each terminal type
// and bootloader class, the App area and five parameter areas laid out
// without gaps from the end of the App area, each with its second copy
// 0x20000 further on.
TEST(SamplePackage, GivesTheDescribedTableForEveryTypeAndClass) {
  const char* root = std::getenv("TAVRO_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "TAVRO_SOURCE_DIR is not set";
  TempDir dir;
  ASSERT_TRUE(IniToBin(dir / "SwUpdate.ini", std::string(root) + "/package/SwUpdate-source.ini"));
  const auto file = ReadWholeFile(dir / "SwUpdate.ini");
  ASSERT_TRUE(file.has_value());
  ASSERT_EQ(file->size(), 16u + 2 * 4 * 7 * 56u);

  struct Expected {
    std::uint32_t type;
    std::uint16_t blVersion;
    std::uint32_t appAddr, appLen, e2Copy;
  };
  const Expected cases[] = {
      {0, 0x150, 0x08004000, 0x5C000, 0x181F0000}, {0, 0x20F, 0x08008000, 0x58000, 0x181F0000},
      {0, 0x210, 0x08010000, 0x50000, 0x181F0000}, {0, 0x230, 0x08010000, 0x60000, 0x181F0000},
      {1, 0x1FF, 0x08004000, 0xBC000, 0x183F0000}, {1, 0x200, 0x08008000, 0xB8000, 0x183F0000},
      {1, 0x22F, 0x08010000, 0xB0000, 0x183F0000}, {1, 0x301, 0x08020000, 0xC0000, 0x183F0000},
  };
  const std::uint32_t paraLen[5] = {0x9000, 0x2000, 0x1000, 0x6000, 0x1000};
  for (const Expected& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "type " << c.type << " bootloader " << std::hex << c.blVersion);
    PackageValues v;
    AreaTable t;
    ASSERT_TRUE(ParsePackage(*file, c.type, c.blVersion, v, t));
    EXPECT_EQ(v.debugLevel, 1u);
    EXPECT_EQ(v.blUpDataConfig, 0u);
    EXPECT_EQ(v.paraFileTotalNum, 5);
    EXPECT_EQ(v.paraFileRequisiteNum, 5);
    const AreaEntry& app = t[kAppAreaIndex];
    EXPECT_EQ(app.areaAddr, c.appAddr);
    EXPECT_EQ(app.areaLen, c.appLen);
    EXPECT_EQ(app.areaArg, 0u);
    EXPECT_EQ(app.fileName, "App.bin");
    std::uint32_t addr = c.appAddr + c.appLen;
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(t[i].areaAddr, addr) << i;
      EXPECT_EQ(t[i].areaLen, addr + 0x20000) << i;
      EXPECT_EQ(t[i].areaArg, static_cast<std::uint32_t>(i + 1));
      EXPECT_EQ(t[i].fileName, std::to_string(i + 1) + ".dat");
      addr += paraLen[i];
    }
    EXPECT_EQ(t[5].areaAddr, 0x18000000u);
    EXPECT_EQ(t[5].areaLen, c.e2Copy);
    EXPECT_EQ(t[5].fileName, "");
    EXPECT_EQ(t[7].areaAddr, 0u);
    EXPECT_EQ(t[7].fileName, "");
  }
}

}  // namespace
}  // namespace tavro::data
