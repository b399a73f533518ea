// The start-up data preparation: initial data kept, rebuilt from base data
// by chains of rules, or copied; the log lines of each way; failures.

#include "data/init_prepare.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "data/rule_chain.hpp"
#include "data/temp_dir.hpp"
#include "support/rule_builder.hpp"

namespace tavro::data {
namespace {

using link::Bytes;
using test::Copy;
using test::Header;
using test::RuleWriter;
using test_support::FolderEntries;
using test_support::TempDir;
using test_support::WriteBytes;
using test_support::WriteText;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr std::size_t kFlashData = 16;

Bytes E2Image(std::uint32_t version, std::uint8_t fill) {
  Bytes image(kE2ImageSize, fill);
  link::PutU32(image.data() + 6, version);
  return image;
}

Bytes FlashImage(std::uint32_t version, std::uint8_t fill) {
  Bytes image(kFlashImageHeaderSize + kFlashData, fill);
  link::PutU32(image.data() + 6, version);
  return image;
}

std::uint32_t VersionOf(const std::string& path) {
  const Bytes bytes = ReadWholeFile(path).value_or(Bytes(10, 0));
  return link::GetU32(bytes.data() + 6);
}

class PrepareInitial : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {kInitE2promFolder, kInitFlashFolder, kBaseE2promFolder,
                               kBaseFlashFolder, kRuleE2EFolder, kRuleF2FFolder})
      std::filesystem::create_directories(Path(folder));
    DestVersion("0x12");
  }
  std::string Path(const std::string& relative) const { return dir.path() + relative; }
  void DestVersion(const std::string& text) {
    WriteText(Path("/Data/DataVer.ini"), "[DestPara]\r\nDestParaVer=" + text + "\r\n");
  }
  // E2E: the whole E2PROM data copied; F2F: the data of 1.dat and 2.dat.
  void E2Rule(const std::string& name, std::uint32_t src, std::uint32_t dst) {
    const std::uint32_t data = kE2ImageSize - kE2HeaderSize;
    WriteBytes(
        Path(kRuleE2EFolder) + "/" + name,
        RuleWriter().Block(Header("E2.dat", src, dst)).Add(Copy("E2.dat", 32, data, data)).Bytes());
  }
  void FlashRule(const std::string& name, std::uint32_t src, std::uint32_t dst) {
    RuleWriter w;
    for (const char* image : {"1.dat", "2.dat"}) {
      data::RuleBlockHeader h = Header(std::string("V_") + image, src, dst);
      h.srcHasHeader = 1;
      w.Block(h).Add(Copy(image, 0, kFlashData, kFlashData));
    }
    WriteBytes(Path(kRuleF2FFolder) + "/" + name, w.Bytes());
  }
  void BaseFlash(std::uint32_t version, const std::vector<std::string>& names) {
    for (const std::string& name : names)
      WriteBytes(Path(kBaseFlashFolder) + "/" + name, FlashImage(version, 0x42));
  }
  PrepareResult Run(std::uint8_t requisite = 2) {
    return PrepareInitialData({dir.path(), requisite, {2024, 1, 2, 3, 4, 5}});
  }
  std::string InitE2() const { return dir.path() + kInitE2promFolder + "/E2.dat"; }

  TempDir dir;
};

TEST_F(PrepareInitial, WithoutTheDataVersionFileNothingIsDone) {
  RemoveFile(Path("/Data/DataVer.ini"));
  WriteBytes(InitE2(), E2Image(1, 0));
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepareNoDataVersion);
  EXPECT_THAT(r.logLines, IsEmpty());
  EXPECT_TRUE(FileExists(InitE2()));
}

TEST_F(PrepareInitial, InitialDataAtTheDestinationVersionIsNeitherDeletedNorRebuilt) {
  WriteBytes(InitE2(), E2Image(0x12, 0x77));
  WriteBytes(Path(kBaseE2promFolder) + "/E2.dat", E2Image(0x10, 0));
  E2Rule("a.bin", 0x10, 0x12);
  for (const char* name : {"1.dat", "2.dat"})
    WriteBytes(Path(kInitFlashFolder) + "/" + name, FlashImage(0x12, 0x77));
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepared);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nE2Dest=Base_12_OK", "\r\nFDest=Base_12_Ok"));
  EXPECT_EQ(ReadWholeFile(InitE2()), E2Image(0x12, 0x77));
}

TEST_F(PrepareInitial, BaseDataTwoVersionsOlderIsConvertedTwice) {
  WriteBytes(InitE2(), E2Image(0x11, 0));
  WriteBytes(Path(kBaseE2promFolder) + "/E2.dat", E2Image(0x10, 0x5C));
  E2Rule("a.bin", 0x11, 0x12);
  E2Rule("b.bin", 0x10, 0x11);
  BaseFlash(0x10, {"1.dat", "2.dat"});
  FlashRule("a.bin", 0x10, 0x12);
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepared) << ConsoleText(r.error);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nE2Base_10", "\r\nE2Dest_12_Conv2_12_OK", "\r\nFBase_10",
                                      "\r\nFDest_12_Conv2_12_Ok"));
  const Bytes e2 = ReadWholeFile(InitE2()).value_or(Bytes{});
  ASSERT_EQ(e2.size(), kE2ImageSize);
  EXPECT_EQ(VersionOf(InitE2()), 0x12u);
  EXPECT_EQ(e2.back(), 0x5C);
  EXPECT_THAT(FolderEntries(Path(kInitE2promFolder)), ElementsAre("E2.dat")) << "no Temp";
  EXPECT_THAT(FolderEntries(Path(kInitFlashFolder)), UnorderedElementsAre("1.dat", "2.dat"));
  EXPECT_EQ(VersionOf(Path(kInitFlashFolder) + "/2.dat"), 0x12u);
  EXPECT_EQ(r.paraPath, Path(kInitFlashFolder));
}

TEST_F(PrepareInitial, BaseDataNewerThanTheDestinationIsCopiedUnchanged) {
  WriteBytes(Path(kBaseE2promFolder) + "/E2.dat", E2Image(0x13, 0x01));
  BaseFlash(0x12, {"Base_1.dat", "Base_2.dat"});
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepared);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nE2Base_13", "\r\nE2Dest_12_Conv2_13_OK", "\r\nFBase_12",
                                      "\r\nFDest_12_Conv2_12_Ok"));
  EXPECT_EQ(ReadWholeFile(InitE2()), E2Image(0x13, 0x01));
  EXPECT_THAT(FolderEntries(Path(kInitFlashFolder)), UnorderedElementsAre("1.dat", "2.dat"));
  EXPECT_EQ(ReadWholeFile(Path(kInitFlashFolder) + "/1.dat"), FlashImage(0x12, 0x42));
}

TEST_F(PrepareInitial, WithoutABaseE2promImageTheFlashImagesAreStillPrepared) {
  WriteBytes(InitE2(), E2Image(0x11, 0));
  BaseFlash(0x12, {"1.dat", "2.dat"});
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepared);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nNoBaseE2", "\r\nFBase_12", "\r\nFDest_12_Conv2_12_Ok"));
  EXPECT_FALSE(FileExists(InitE2())) << "the old initial image is gone";
  EXPECT_EQ(VersionOf(Path(kInitFlashFolder) + "/1.dat"), 0x12u);
}

TEST_F(PrepareInitial, WithoutARuleTheChainStopsAndThePreparationGoesOn) {
  WriteBytes(Path(kBaseE2promFolder) + "/E2.dat", E2Image(0x10, 0));
  E2Rule("a.bin", 0x10, 0x11);
  BaseFlash(0x10, {"1.dat", "2.dat"});
  const PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepared);
  EXPECT_THAT(r.logLines,
              ElementsAre("\r\nE2Base_10", "\r\nE2_B2D_NoRule", "\r\nE2Dest_12_Conv2_11_OK",
                          "\r\nFBase_10", "\r\nF_B2D_NoRule", "\r\nFDest_12_Conv2_10_Ok"));
  EXPECT_EQ(VersionOf(InitE2()), 0x11u) << "as far as the rules went";
  EXPECT_THAT(FolderEntries(Path(kInitFlashFolder)), IsEmpty());
}

TEST_F(PrepareInitial, TooFewBaseFlashImagesEndSuccessfullyWithoutFlashData) {
  WriteBytes(Path(kInitFlashFolder) + "/1.dat", FlashImage(0x11, 0));
  BaseFlash(0x12, {"1.dat"});
  const PrepareResult r = Run(2);
  EXPECT_EQ(r.code, kPrepared);
  EXPECT_EQ(r.logLines.back(), "\r\nNoBaseFlash");
  EXPECT_THAT(FolderEntries(Path(kInitFlashFolder)), IsEmpty());
  // With no initial image and destination 0 the Flash set counts as done.
  DestVersion("0");
  EXPECT_EQ(Run(2).logLines.back(), "\r\nFDest=Base_0_Ok");
}

TEST_F(PrepareInitial, UnreadableImagesAndFailingStepsEndThePreparation) {
  WriteBytes(InitE2(), Bytes(20, 0));  // shorter than its 32-byte header
  PrepareResult r = Run();
  EXPECT_EQ(r.code, kPrepareE2promFailed);
  EXPECT_EQ(r.error.kind, ConvertErrorKind::kReadInErr);
  EXPECT_EQ(r.error.path, InitE2());

  RemoveFile(InitE2());
  BaseFlash(0x10, {"1.dat", "2.dat"});
  FlashRule("a.bin", 0x10, 0x12);
  RemoveFile(Path(kBaseFlashFolder) + "/2.dat");
  BaseFlash(0x10, {"3.dat"});  // two images, but not the two the rule reads
  r = Run();
  EXPECT_EQ(r.code, kPrepareFlashFailed);
  EXPECT_EQ(r.error.kind, ConvertErrorKind::kNotExist);
  EXPECT_EQ(r.error.path, Path(kBaseFlashFolder) + "/2.dat");
  EXPECT_FALSE(FileExists(Path(kInitFlashFolder) + "/" + ScratchFolderName()));
}

}  // namespace
}  // namespace tavro::data
