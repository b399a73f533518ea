// Choice and check of the initial parameter data a download sends.

#include "data/init_data.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/temp_dir.hpp"

namespace tavro::data {
namespace {

using test_support::TempDir;
using test_support::WriteText;

InitDataChoice Choice(std::uint16_t bl, std::uint32_t config = 0, bool newBl = false,
                      std::uint8_t total = 0) {
  return InitDataChoice{bl, config, newBl, total};
}

TEST(UsesE2promData, FromBootloader230OrFrom220WithANewBootloaderAllowed) {
  EXPECT_TRUE(UsesE2promData(Choice(0x230)));
  EXPECT_TRUE(UsesE2promData(Choice(0xFFFF)));
  EXPECT_FALSE(UsesE2promData(Choice(0x22F)));
  EXPECT_TRUE(UsesE2promData(Choice(0x220, 1, true)));
  EXPECT_TRUE(UsesE2promData(Choice(0x22F, 0x100, true)));
  // 0x210 is in the same bootloader class, but below the threshold.
  EXPECT_FALSE(UsesE2promData(Choice(0x21F, 1, true)));
  EXPECT_FALSE(UsesE2promData(Choice(0x220, 0, true)));
  EXPECT_FALSE(UsesE2promData(Choice(0x220, 1, false)));
}

class InitData : public ::testing::Test {
 protected:
  InitData() {
    std::filesystem::create_directories(dir / "Data/InitData/Flash");
    std::filesystem::create_directories(dir / "Data/InitData/E2prom");
    for (std::size_t i = 0; i < areas.size(); ++i)
      areas[i].fileName = std::to_string(i + 1) + ".dat";
  }
  void PutFlash(const std::string& name) const {
    WriteText(dir / ("Data/InitData/Flash/" + name), "x");
  }
  TempDir dir;
  AreaTable areas;
};

TEST_F(InitData, E2promDataNeedsE2DatAndNamesItsFolderInTheBox) {
  InitDataCheck check = CheckInitData(dir.path(), Choice(0x230), areas);
  EXPECT_EQ(check.form, ParaForm::kE2prom);
  EXPECT_EQ(check.paraPath, dir / "Data/InitData/E2prom");
  EXPECT_FALSE(check.complete);
  EXPECT_EQ(check.missingName, "E2.dat");
  EXPECT_EQ(check.BoxText(), dir / "Data/InitData/E2prom init data is not exist.\r\n");
  EXPECT_EQ(check.LogLine(), "\r\nE2InitParaLost_End");

  WriteText(dir / "Data/InitData/E2prom/E2.dat", "");
  check = CheckInitData(dir.path(), Choice(0x220, 1, true), areas);
  EXPECT_EQ(check.form, ParaForm::kE2prom);
  EXPECT_TRUE(check.complete);
}

TEST_F(InitData, FlashDataNeedsTheFileOfEveryCountedArea) {
  PutFlash("1.dat");
  PutFlash("3.dat");
  InitDataCheck check = CheckInitData(dir.path(), Choice(0x220, 0, true, 3), areas);
  EXPECT_EQ(check.form, ParaForm::kFlash);
  EXPECT_EQ(check.paraPath, dir / "Data/InitData/Flash");
  EXPECT_FALSE(check.complete);
  EXPECT_EQ(check.missingIndex, 1u);
  EXPECT_EQ(check.missingName, "2.dat");
  EXPECT_EQ(check.BoxText(), dir / "Data/InitData/Flash init data is not exist.\r\n");
  EXPECT_EQ(check.LogLine(), "\r\nFInitParaLost_End");

  EXPECT_TRUE(CheckInitData(dir.path(), Choice(0x200, 0, false, 1), areas).complete);
  EXPECT_TRUE(CheckInitData(dir.path(), Choice(0x200, 0, false, 0), areas).complete);
  PutFlash("2.dat");
  EXPECT_TRUE(CheckInitData(dir.path(), Choice(0x200, 0, false, 3), areas).complete);
}

TEST_F(InitData, AreasWithoutAUsableFileNameCountAsMissing) {
  for (const char* name : {"1.dat", "2.dat"})
    PutFlash(name);
  areas[1].fileName = "";  // would name the folder itself
  InitDataCheck check = CheckInitData(dir.path(), Choice(0x200, 0, false, 2), areas);
  EXPECT_FALSE(check.complete);
  EXPECT_EQ(check.missingIndex, 1u);
  EXPECT_EQ(check.missingName, "");

  // Names leading out of the folder, even to files that exist there.
  WriteText(dir / "Data/InitData/outside.dat", "x");
  for (const char* name : {"../outside.dat", "..\\outside.dat", "..", "sub/1.dat"}) {
    areas[1].fileName = name;
    check = CheckInitData(dir.path(), Choice(0x200, 0, false, 2), areas);
    EXPECT_FALSE(check.complete) << name;
    EXPECT_EQ(check.missingName, "") << name;
  }

  // A folder of the file's name is no image.
  areas[1].fileName = "2.dat";
  std::filesystem::remove(dir / "Data/InitData/Flash/2.dat");
  std::filesystem::create_directory(dir / "Data/InitData/Flash/2.dat");
  EXPECT_FALSE(CheckInitData(dir.path(), Choice(0x200, 0, false, 2), areas).complete);
}

TEST_F(InitData, CountBeyondTheTableIsMissingNotARead) {
  for (std::size_t i = 1; i <= areas.size(); ++i)
    PutFlash(std::to_string(i) + ".dat");
  EXPECT_TRUE(CheckInitData(dir.path(), Choice(0x200, 0, false, 8), areas).complete);
  const InitDataCheck check = CheckInitData(dir.path(), Choice(0x200, 0, false, 9), areas);
  EXPECT_FALSE(check.complete);
  EXPECT_EQ(check.missingIndex, 8u);
}

}  // namespace
}  // namespace tavro::data
