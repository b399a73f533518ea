// Chains of conversion steps: how far they go, where they stop, the switch
// from Flash to E2PROM rules for the terminal's own data, and chains that
// would never end.

#include "data/rule_chain.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "data/rule_image.hpp"
#include "data/temp_dir.hpp"
#include "data/terminal_convert.hpp"
#include "support/rule_builder.hpp"

namespace tavro::data {
namespace {

using link::Bytes;
using test::Fill;
using test::Header;
using test::RuleWriter;
using test_support::TempDir;
using test_support::WriteBytes;
using ::testing::ElementsAre;

class RuleChain : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {kRuleF2FFolder, kRuleF2EFolder, kRuleE2EFolder, "/Data/Bl"})
      std::filesystem::create_directories(dir.path() + folder);
    std::filesystem::create_directories(backup);
  }
  // A rule whose one block writes `outName` holding the low byte of `dst`.
  void Rule(const char* folder, const std::string& name, std::uint32_t src, std::uint32_t dst,
            const std::string& outName = "V_1.dat") {
    WriteBytes(dir.path() + folder + "/" + name,
               RuleWriter().Block(Header(outName, src, dst)).Add(Fill(1, dst)).Bytes());
  }
  ChainResult Chain(std::uint32_t from, std::uint32_t target) {
    ChainRequest request;
    request.from = from;
    request.target = target;
    request.srcFolder = backup;
    request.output.folder = dir / "out";
    request.family = [this](std::uint32_t) { return RuleFamily{dir.path() + kRuleF2FFolder, 0}; };
    return RunChain(request);
  }
  TerminalConversion Terminal(std::uint16_t bl, std::uint32_t from, std::uint32_t target) {
    return TerminalConversion{dir.path(), 4, bl, 1, from, backup, "set", {}, target, false};
  }
  static std::vector<std::uint32_t> Versions(const ChainResult& chain) {
    std::vector<std::uint32_t> versions;
    for (const ChainStep& step : chain.steps)
      versions.push_back(step.to);
    return versions;
  }

  TempDir dir;
  std::string backup = dir / "Backup/TAVR4/Data/100/set";
};

TEST_F(RuleChain, ChainsOfTwoOneAndNoSteps) {
  Rule(kRuleF2FFolder, "b.bin", 0x101, 0x102);
  Rule(kRuleF2FFolder, "a.bin", 0x100, 0x101);
  EXPECT_THAT(Versions(Chain(0x100, 0x102)), ElementsAre(0x101u, 0x102u));
  const ChainResult one = Chain(0x100, 0x101);
  EXPECT_THAT(Versions(one), ElementsAre(0x101u));
  EXPECT_EQ(one.end, ChainEnd::kReached);
  EXPECT_EQ(one.LastFolder(), dir / "out");
  const ChainResult none = Chain(0x102, 0x102);
  EXPECT_TRUE(none.steps.empty());
  EXPECT_EQ(none.end, ChainEnd::kReached);
  EXPECT_EQ(none.reached, 0x102u);
}

TEST_F(RuleChain, TheFirstRuleInListingOrderWinsAndUnreadableRulesAreNoticedOnce) {
  WriteBytes(dir.path() + kRuleF2FFolder + "/0-broken.bin", Bytes(10, 0));
  Rule(kRuleF2FFolder, "A.bin", 0x100, 0x101);
  Rule(kRuleF2FFolder, "b.bin", 0x100, 0x1FF);
  Rule(kRuleF2FFolder, "c.bin", 0x101, 0x102);
  const ChainResult chain = Chain(0x100, 0x200);
  EXPECT_EQ(chain.end, ChainEnd::kNoRule);
  EXPECT_THAT(Versions(chain), ElementsAre(0x101u, 0x102u));
  EXPECT_EQ(chain.reached, 0x102u);
  ASSERT_EQ(chain.notices.size(), 1u) << "the same file is not reported for every step";
  EXPECT_EQ(chain.notices[0].kind, ConvertErrorKind::kReadInErr);
}

TEST_F(RuleChain, AChainThatComesBackToAVersionStopsWithAnError) {
  Rule(kRuleF2FFolder, "a.bin", 0x100, 0x101);
  Rule(kRuleF2FFolder, "b.bin", 0x101, 0x100);
  const ChainResult loop = Chain(0x100, 0x200);
  EXPECT_EQ(loop.end, ChainEnd::kFailed);
  EXPECT_EQ(loop.error.kind, ConvertErrorKind::kChainLoop);
  EXPECT_EQ(loop.steps.size(), 2u);

  Rule(kRuleF2FFolder, "a.bin", 0x100, 0x100);
  EXPECT_EQ(Chain(0x100, 0x200).error.kind, ConvertErrorKind::kChainLoop);
}

TEST_F(RuleChain, AFailingStepEndsTheChainWithItsError) {
  WriteBytes(dir.path() + kRuleF2FFolder + "/a.bin", RuleWriter()
                                                         .Block(Header("V_1.dat", 0x100, 0x101))
                                                         .Add(test::Copy("1.dat", 0, 1, 1))
                                                         .Bytes());
  const ChainResult chain = Chain(0x100, 0x101);
  EXPECT_EQ(chain.end, ChainEnd::kFailed);
  EXPECT_EQ(chain.error.kind, ConvertErrorKind::kNotExist);
  EXPECT_EQ(chain.error.path, backup + "/1.dat");
}

TEST_F(RuleChain, TerminalDataMovesFromFlashToE2promWithTheFirstF2ERule) {
  WriteBytes(dir / "Data/Bl/New_BL_0230.bin", Bytes(4, 0));
  Rule(kRuleF2FFolder, "a.bin", 0x100, 0x101);
  Rule(kRuleF2EFolder, "a.bin", 0x101, 0x101, "E2.dat");
  Rule(kRuleE2EFolder, "a.bin", 0x101, 0x102, "E2.dat");
  const TerminalConversionResult r = ConvertTerminalData(Terminal(0x221, 0x100, 0x102));
  EXPECT_EQ(r.code, kConvertReached);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nF2E_Rule_Ver_101-101"));
  ASSERT_EQ(r.chain.steps.size(), 3u) << "an F2E rule that keeps the version still runs";
  EXPECT_EQ(r.chain.steps[1].rulePath, dir.path() + kRuleF2EFolder + "/a.bin");
  EXPECT_EQ(r.chain.steps[2].rulePath, dir.path() + kRuleE2EFolder + "/a.bin");
  EXPECT_EQ(r.paraPath, dir / "Backup/TAVR4/Conv/102/set");
  const Bytes e2 = ReadWholeFile(r.paraPath + "/E2.dat").value_or(Bytes{});
  EXPECT_EQ(e2.size(), kE2HeaderSize + 1) << "E2E images carry the 32-byte header";
  const Bytes flash = ReadWholeFile(dir / "Backup/TAVR4/Conv/101/set/E2.dat").value_or(Bytes{});
  EXPECT_EQ(flash.size(), kE2HeaderSize + 1) << "so do F2E images";
}

TEST_F(RuleChain, WithoutAnF2ERuleFlashDataKeepsToTheFlashRules) {
  WriteBytes(dir / "Data/Bl/New_BL_0230.bin", Bytes(4, 0));
  Rule(kRuleF2FFolder, "a.bin", 0, 1);
  Rule(kRuleE2EFolder, "a.bin", 0, 7, "E2.dat");
  const TerminalConversionResult r = ConvertTerminalData(Terminal(0x221, 0, 1));
  EXPECT_EQ(r.code, kConvertReached);
  EXPECT_THAT(r.logLines, ElementsAre("\r\nF2E_Rule_Ver_0-0"));
  ASSERT_EQ(r.chain.steps.size(), 1u);
  EXPECT_EQ(r.chain.steps[0].rulePath, dir.path() + kRuleF2FFolder + "/a.bin");
}

TEST_F(RuleChain, TerminalResultsAndFamilies) {
  Rule(kRuleF2FFolder, "a.bin", 0x100, 0x101);
  Rule(kRuleE2EFolder, "a.bin", 0x100, 0x180, "E2.dat");
  EXPECT_EQ(ConvertTerminalData(Terminal(0x215, 0x101, 0x101)).code, kConvertReached);
  const TerminalConversionResult noRule = ConvertTerminalData(Terminal(0x215, 0x100, 0x105));
  EXPECT_EQ(noRule.code, kConvertNoRule);
  EXPECT_EQ(noRule.paraPath, dir / "Backup/TAVR4/Conv/101/set");
  EXPECT_TRUE(noRule.logLines.empty()) << "no new bootloader: no F2E line";
  // E2PROM terminals, and Flash data already built into E2.dat, take E2E.
  EXPECT_EQ(ConvertTerminalData(Terminal(0x230, 0x100, 0x180)).chain.steps.size(), 1u);
  TerminalConversion built = Terminal(0x215, 0x100, 0x180);
  built.toE2 = true;
  const TerminalConversionResult e2 = ConvertTerminalData(built);
  ASSERT_EQ(e2.chain.steps.size(), 1u);
  EXPECT_EQ(e2.chain.steps[0].rulePath, dir.path() + kRuleE2EFolder + "/a.bin");
  Rule(kRuleE2EFolder, "a.bin", 0x100, 0x180, "../E2.dat");
  const TerminalConversionResult failed = ConvertTerminalData(Terminal(0x230, 0x100, 0x180));
  EXPECT_EQ(failed.code, kConvertFailed);
  EXPECT_EQ(failed.chain.error.kind, ConvertErrorKind::kRuleInvalid);
}

}  // namespace
}  // namespace tavro::data
