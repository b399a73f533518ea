// One conversion step on files: output folders, the move into place with
// the final names and sizes, the scratch folder, and what a failing step
// leaves behind.

#include "data/rule_step.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "data/file_io.hpp"
#include "data/rule_image.hpp"
#include "data/temp_dir.hpp"
#include "support/rule_builder.hpp"

namespace tavro::data {
namespace {

using link::Bytes;
using test::Copy;
using test::Fill;
using test::Header;
using test::RuleWriter;
using test_support::FolderEntries;
using test_support::TempDir;
using test_support::WriteBytes;
using ::testing::UnorderedElementsAre;

Bytes Read(const std::string& path) {
  return ReadWholeFile(path).value_or(Bytes{});
}

class RuleStep : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(src);
    std::filesystem::create_directories(out);
    Bytes source(600, 0);
    for (std::size_t i = 0; i < source.size(); ++i)
      source[i] = static_cast<std::uint8_t>(i);
    WriteBytes(src + "/1.dat", source);
  }
  StepResult Run(const Bytes& rule, int headerKind = kHeaderFlash) {
    WriteBytes(dir / "rule.bin", rule);
    StepOutput output;
    output.folder = out;
    return ConvertWithRule(dir / "rule.bin", src, headerKind, output, stamp);
  }

  TempDir dir;
  std::string src = dir / "src";
  std::string out = dir / "out";
  link::TimeStamp stamp{2024, 1, 2, 3, 4, 5};
};

TEST_F(RuleStep, ImagesGetTheirFinalNamesAndSizesAndReplaceTheOldVersion) {
  WriteBytes(out + "/1.dat", Bytes(600, 0xAA));
  WriteBytes(out + "/7.dat", Bytes(600, 0xAA));
  WriteBytes(out + "/notes.txt", Bytes(3, 0));
  RuleWriter rule;
  rule.Block(Header("V2_1.dat", 0x100, 0x101)).Add(Copy("1.dat", 0, 8, 8));
  rule.Block(Header("V2_2.dat", 0x100, 0x101)).Add(Fill(3, 7));
  const StepResult step = Run(rule.Bytes());
  ASSERT_TRUE(step.ok()) << ConsoleText(step.error);
  EXPECT_EQ(step.srcVersion, 0x100u);
  EXPECT_EQ(step.newVersion, 0x101u);
  EXPECT_EQ(step.outFolder, out);
  EXPECT_THAT(step.written, UnorderedElementsAre(out + "/1.dat", out + "/2.dat"));
  EXPECT_THAT(FolderEntries(out), UnorderedElementsAre("1.dat", "2.dat", "notes.txt"));
  const Bytes one = Read(out + "/1.dat");
  ASSERT_EQ(one.size(), 520u);
  EXPECT_EQ(link::GetU32(one.data() + 2), 8u) << "DataSize = length - 512";
  EXPECT_EQ(one[512 + 7], 7);
  EXPECT_EQ(link::GetU32(Read(out + "/2.dat").data() + 2), 3u);
}

TEST_F(RuleStep, AnE2ImageCountsItsWholeLengthAndASourceFolderMayBeTheOutputFolder) {
  WriteBytes(out + "/E2.dat", Bytes(40, 0x33));
  src = out;
  const StepResult step = Run(
      RuleWriter().Block(Header("E2.dat", 1, 2)).Add(Copy("E2.dat", 32, 8, 8)).Bytes(), kHeaderE2E);
  ASSERT_TRUE(step.ok()) << ConsoleText(step.error);
  const Bytes e2 = Read(out + "/E2.dat");
  ASSERT_EQ(e2.size(), 40u);
  EXPECT_EQ(link::GetU32(e2.data() + 2), 40u);
  EXPECT_EQ(link::GetU32(e2.data() + 6), 2u);
  EXPECT_EQ(e2[39], 0x33);
}

TEST_F(RuleStep, AFailingStepLeavesTheOutputFolderAsItWasAndNoScratchFolder) {
  WriteBytes(out + "/1.dat", Bytes(600, 0xAA));
  // Leftovers of an interrupted run.
  std::filesystem::create_directories(out + "/" + ScratchFolderName());
  WriteBytes(out + "/" + ScratchFolderName() + "/old_3.dat", Bytes(600, 0));
  RuleWriter rule;
  rule.Block(Header("V2_1.dat", 1, 2)).Add(Fill(1, 0));
  rule.Block(Header("V2_2.dat", 1, 2)).Add(Copy("1.dat", 599, 2, 2));  // one byte past the end
  const StepResult step = Run(rule.Bytes());
  EXPECT_EQ(step.error.kind, ConvertErrorKind::kRuleInvalid);
  EXPECT_THAT(FolderEntries(out), UnorderedElementsAre("1.dat"));
  EXPECT_EQ(Read(out + "/1.dat"), Bytes(600, 0xAA));

  // The next good step does not move the leftovers in either.
  std::filesystem::create_directories(out + "/" + ScratchFolderName());
  WriteBytes(out + "/" + ScratchFolderName() + "/old_3.dat", Bytes(600, 0));
  ASSERT_TRUE(Run(RuleWriter().Block(Header("V2_1.dat", 1, 2)).Bytes()).ok());
  EXPECT_THAT(FolderEntries(out), UnorderedElementsAre("1.dat"));
}

TEST_F(RuleStep, AnotherInstancesScratchFolderIsNeitherTakenNorRemoved) {
  // Another instance is converting into the same folder: its scratch
  // folder has a name of its own, and this step leaves it alone.
  EXPECT_EQ(ScratchFolderName().rfind("Temp-", 0), 0u);
  const std::string theirs = out + "/Temp-0";
  ASSERT_NE(theirs, out + "/" + ScratchFolderName());
  std::filesystem::create_directories(theirs);
  WriteBytes(theirs + "/V2_3.dat", Bytes(600, 0x55));
  ASSERT_TRUE(Run(RuleWriter().Block(Header("V2_1.dat", 1, 2)).Bytes()).ok());
  EXPECT_THAT(FolderEntries(out), UnorderedElementsAre("1.dat", "Temp-0"));
  EXPECT_EQ(Read(theirs + "/V2_3.dat"), Bytes(600, 0x55));
}

TEST_F(RuleStep, RuleFaultsAreReportedAsTheBoxTextsSay) {
  const StepResult byteErr =
      Run(RuleWriter().Block(Header("1.dat", 1, 2)).Add(test::Column(Fill(4, 0), 2, 2)).Bytes());
  EXPECT_EQ(byteErr.error.kind, ConvertErrorKind::kRuleByteErr);
  EXPECT_EQ(byteErr.error.text, "rule_207_byte_err");
  EXPECT_EQ(byteErr.error.path, dir / "rule.bin");

  const StepResult malformed = Run(RuleWriter().Block(Header("../1.dat", 1, 2)).Bytes());
  EXPECT_EQ(malformed.error.kind, ConvertErrorKind::kRuleInvalid);
  EXPECT_EQ(malformed.error.text.rfind(dir / "rule.bin" + ": offset 1: OutName", 0), 0u)
      << malformed.error.text;

  EXPECT_EQ(ConvertWithRule(dir / "missing.bin", src, 0, {}, stamp).error.kind,
            ConvertErrorKind::kNotExist);
  EXPECT_TRUE(FolderEntries(out).empty());
}

TEST_F(RuleStep, OutputFoldersByKind) {
  StepOutput output;
  output.programDir = "/p";
  output.comPort = 3;
  output.backupSetName = "20240102030405";
  EXPECT_EQ(StepOutputFolder(output, 0x10A0), "/p/Backup/TAVR3/Conv/10a0/20240102030405");
  output.kind = kOutputInitE2prom;
  EXPECT_EQ(StepOutputFolder(output, 1), "/p/Data/InitData/E2prom");
  output.kind = kOutputInitFlash;
  EXPECT_EQ(StepOutputFolder(output, 1), "/p/Data/InitData/Flash");

  // The converted terminal data goes below the port's backup folder, made
  // level by level; a set name that would leave it is refused.
  WriteBytes(dir / "rule.bin", RuleWriter().Block(Header("V2_1.dat", 1, 0x2B)).Bytes());
  output = StepOutput{kOutputConv, dir.path(), 3, "set", {}};
  ASSERT_TRUE(ConvertWithRule(dir / "rule.bin", src, kHeaderFlash, output, stamp).ok());
  EXPECT_TRUE(FileExists(dir / "Backup/TAVR3/Conv/2b/set/1.dat"));
  EXPECT_FALSE(FileExists(dir / ("Backup/TAVR3/Conv/2b/set/" + ScratchFolderName())));
  output.backupSetName = "..";
  EXPECT_EQ(ConvertWithRule(dir / "rule.bin", src, kHeaderFlash, output, stamp).error.kind,
            ConvertErrorKind::kWriteFailed);
}

TEST_F(RuleStep, AnImageAsLargeAsTheReaderAllowsIsMovedWithItsHeader) {
  const auto size = static_cast<std::uint32_t>(kMaxRuleImageSize);
  const StepResult step =
      Run(RuleWriter().Block(Header("V2_1.dat", 1, 2)).Add(Fill(size, 0)).Bytes());
  ASSERT_TRUE(step.ok()) << ConsoleText(step.error);
  EXPECT_EQ(FileSize(out + "/1.dat"), kMaxRuleImageSize + 512);
}

TEST_F(RuleStep, RuleVersionsReadTheFirstHeader) {
  WriteBytes(dir / "rule.bin", RuleWriter().Block(Header("1.dat", 0x10, 0x11)).Bytes());
  const RuleVersionsResult v = RuleVersions(dir / "rule.bin");
  EXPECT_TRUE(v.ok());
  EXPECT_EQ(v.srcVersion, 0x10u);
  EXPECT_EQ(v.dstVersion, 0x11u);
  EXPECT_EQ(RuleVersions(dir / "none.bin").error.kind, ConvertErrorKind::kNotExist);
  WriteBytes(dir / "short.bin", Bytes(119, 0));
  const RuleVersionsResult shortFile = RuleVersions(dir / "short.bin");
  EXPECT_EQ(shortFile.error.kind, ConvertErrorKind::kReadInErr);
  EXPECT_EQ(shortFile.srcVersion, 0u);
}

TEST_F(RuleStep, FinishConversionChecksEveryImageBeforeTouchingTheOutput) {
  const std::string temp = dir / ("out/" + ScratchFolderName());
  std::filesystem::create_directories(temp);
  WriteBytes(out + "/1.dat", Bytes(600, 0xAA));
  WriteBytes(temp + "/V2_1.dat", Bytes(700, 0));
  WriteBytes(temp + "/V2_2.dat", Bytes(511, 0));  // shorter than its header block
  const FinishResult bad = FinishConversion(temp, out);
  EXPECT_EQ(bad.error.kind, ConvertErrorKind::kReadInErr);
  EXPECT_EQ(bad.error.path, temp + "/V2_2.dat");
  EXPECT_EQ(Read(out + "/1.dat"), Bytes(600, 0xAA));
  EXPECT_FALSE(FileExists(temp)) << "removed whatever the result";

  std::filesystem::create_directories(temp);
  WriteBytes(temp + "/V2_1.dat", Bytes(700, 0));
  WriteBytes(temp + "/E2.dat", Bytes(32, 0));
  const FinishResult good = FinishConversion(temp, out);
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(link::GetU32(Read(out + "/1.dat").data() + 2), 188u);
  EXPECT_EQ(link::GetU32(Read(out + "/E2.dat").data() + 2), 32u);
  EXPECT_FALSE(FileExists(temp));
}

}  // namespace
}  // namespace tavro::data
