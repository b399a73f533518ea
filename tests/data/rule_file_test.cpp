// The rule-file reader: what it accepts, every fault it refuses before a
// conversion starts, and the names it lets through.

#include "data/rule_file.hpp"

#include <gtest/gtest.h>

#include "data/rule_text.hpp"

#include "support/rule_builder.hpp"

namespace tavro::data {
namespace {

using test::Array;
using test::Column;
using test::Copy;
using test::Fill;
using test::Header;
using test::RuleWriter;
using test::Text;

RuleParseError ErrorOf(const link::Bytes& bytes) {
  return ParseRuleFile(bytes).error;
}

TEST(RuleFile, ItemsTablesAndBlocksAsWrittenAndEncodedBackByteForByte) {
  RuleWriter w;
  w.Block(Header("V2_1.dat", 0x100, 0x101))
      .Add(Fill(2, 0x1234))
      .Add(Column(Fill(2, 0), 3, 6))
      .Add(Column(Text(kModeText8, 4, "ab"), 3, 6))
      .Add(Copy("1.dat", 0, 4, 4));
  w.Block(Header("V2_2.dat", 0x100, 0x101)).Add(Copy("2.dat", 8, 1, 1));
  const link::Bytes bytes = w.Bytes();
  const RuleParse parse = ParseRuleFile(bytes);
  ASSERT_TRUE(parse.ok()) << parse.error.why;
  ASSERT_EQ(parse.file.blocks.size(), 2u);
  EXPECT_EQ(parse.file.srcVersion, 0x100u);
  EXPECT_EQ(parse.file.dstVersion, 0x101u);
  const RuleBlock& first = parse.file.blocks[0];
  EXPECT_EQ(first.finalName, "1.dat");
  ASSERT_EQ(first.items.size(), 3u);
  EXPECT_FALSE(first.items[0].IsTable());
  EXPECT_TRUE(first.items[1].IsTable());
  EXPECT_EQ(first.items[1].records.size(), 2u);
  EXPECT_EQ(first.items[1].records[1].offset, kRuleHeaderSize + 2 * kValueRecordSize);
  EXPECT_EQ(first.dataSize, 2u + 18u + 4u);
  // The second block's header starts at the zero byte that ended the first.
  EXPECT_EQ(parse.file.blocks[1].header.offset,
            kRuleHeaderSize + 3 * kValueRecordSize + kTextRecordSize);
  EXPECT_EQ(EncodeRuleFile(parse.file), bytes);
}

TEST(RuleFile, MalformedFilesAreRefusedWithTheOffsetOfTheFault) {
  const link::Bytes good = RuleWriter().Block(Header("1.dat", 1, 2)).Add(Fill(1, 0)).Bytes();
  link::Bytes notAHeader = good;
  notAHeader[0] = 1;
  link::Bytes cutRecord = good;
  cutRecord.pop_back();
  const link::Bytes cutText =
      RuleWriter().Block(Header("1.dat", 1, 2)).Add(Text(kModeText8, 1, "x")).Bytes();
  RuleBlockHeader longModel = Header("1.dat", 1, 2);
  longModel.modelLen = 9;
  struct Case {
    const char* what;
    link::Bytes bytes;
    std::size_t offset;
  };
  const Case cases[] = {
      {"empty file", {}, 0},
      {"no zero byte where a header starts", notAHeader, 0},
      {"header cut short", link::Bytes(good.begin(), good.begin() + 119), 0},
      {"value record cut short", cutRecord, kRuleHeaderSize},
      {"text record cut short", link::Bytes(cutText.begin(), cutText.end() - 1), kRuleHeaderSize},
      {"ModelLen above 8", RuleWriter().Block(longModel).Bytes(), 36},
      {"blocks of two steps",
       RuleWriter().Block(Header("1.dat", 1, 2)).Block(Header("2.dat", 1, 3)).Bytes(),
       kRuleHeaderSize + 82},
      {"two images of one name",
       RuleWriter().Block(Header("V1_1.dat", 1, 2)).Block(Header("V2_1.DAT", 1, 2)).Bytes(),
       kRuleHeaderSize + 1},
      {"table Count differs",
       RuleWriter()
           .Block(Header("1.dat", 1, 2))
           .Add(Column(Fill(1, 0), 3, 2))
           .Add(Column(Fill(1, 0), 4, 2))
           .Bytes(),
       kRuleHeaderSize + kValueRecordSize},
      {"table Stride differs",
       RuleWriter()
           .Block(Header("1.dat", 1, 2))
           .Add(Column(Fill(1, 0), 3, 2))
           .Add(Column(Fill(1, 0), 3, 3))
           .Bytes(),
       kRuleHeaderSize + kValueRecordSize},
      {"stand-alone record inside a table",
       RuleWriter()
           .Block(Header("1.dat", 1, 2))
           .Add(Column(Fill(1, 0), 3, 2))
           .Add(Fill(1, 0))
           .Bytes(),
       kRuleHeaderSize + kValueRecordSize},
      {"table open at the end of the file",
       RuleWriter().Block(Header("1.dat", 1, 2)).Add(Column(Fill(1, 0), 3, 2)).Bytes(),
       kRuleHeaderSize + kValueRecordSize},
      {"table open where the next block starts",
       RuleWriter()
           .Block(Header("1.dat", 1, 2))
           .Add(Column(Fill(1, 0), 3, 2))
           .Block(Header("2.dat", 1, 2))
           .Bytes(),
       kRuleHeaderSize + kValueRecordSize},
      {"image larger than the limit",
       RuleWriter().Block(Header("1.dat", 1, 2)).Add(Fill(0xFFFFFFFF, 0)).Bytes(), kRuleHeaderSize},
      {"table larger than the limit",
       RuleWriter().Block(Header("1.dat", 1, 2)).Add(Column(Fill(1, 0), 0x10000, 0x10000)).Bytes(),
       kRuleHeaderSize},
  };
  for (const Case& c : cases) {
    const RuleParseError e = ErrorOf(c.bytes);
    EXPECT_EQ(e.fault, RuleFault::kMalformed) << c.what;
    EXPECT_EQ(e.offset, c.offset) << c.what << ": " << e.why;
    EXPECT_FALSE(e.why.empty()) << c.what;
  }
}

TEST(RuleFile, AColumnPastItsRowIsAByteErrorAfterTheRecordCountingWholeArrays) {
  const auto twoColumns = [](const RuleRecord& second) {
    return RuleWriter()
        .Block(Header("1.dat", 1, 2))
        .Add(Column(Fill(2, 0), 2, 4))
        .Add(second)
        .Bytes();
  };
  const std::size_t afterSecond = kRuleHeaderSize + 2 * kValueRecordSize;
  EXPECT_TRUE(ParseRuleFile(twoColumns(Column(Fill(2, 0), 2, 4))).ok());
  const RuleParseError wide = ErrorOf(twoColumns(Column(Fill(3, 0), 2, 4)));
  EXPECT_EQ(wide.fault, RuleFault::kByteErr);
  EXPECT_EQ(wide.offset, afterSecond);
  // Width 1 fits the two bytes left, but three elements of it do not.
  const RuleParseError array = ErrorOf(twoColumns(Column(Array("1.dat", 0, 3, 1, 1, 9), 2, 4)));
  EXPECT_EQ(array.fault, RuleFault::kByteErr);
  EXPECT_EQ(array.offset, afterSecond);
  // Fill and the text modes ignore Repeat: their column stays Width wide.
  RuleRecord fill = Column(Fill(2, 0), 2, 4);
  fill.repeat = 5;
  EXPECT_TRUE(ParseRuleFile(twoColumns(fill)).ok());
}

TEST(RuleFile, NamesFromTheFileMustStayInTheirFolderAndBeImages) {
  const auto withOutName = [](std::string_view name) {
    return RuleWriter().Block(Header(name, 1, 2)).Bytes();
  };
  const auto withSrcName = [](std::string_view name, std::uint32_t mode) {
    return RuleWriter().Block(Header("1.dat", 1, 2)).Add(Copy(name, 0, 1, 1, mode)).Bytes();
  };
  for (const char* bad : {"../1.dat", "a/1.dat", "a\\1.dat", "C:1.dat", "x..dat", "1.bin", ".dat",
                          "", "a\n1.dat", "a*.dat"}) {
    EXPECT_EQ(ErrorOf(withOutName(bad)).offset, 1u) << bad;
    EXPECT_EQ(ErrorOf(withSrcName(bad, kModeCopy)).offset, kRuleHeaderSize + 17) << bad;
  }
  EXPECT_TRUE(ParseRuleFile(withOutName("V2_1.DAT")).ok());
  // Fill and the texts read no source, so their SrcName is not used.
  EXPECT_TRUE(ParseRuleFile(withSrcName("../x", kModeFill)).ok());
  EXPECT_FALSE(ParseRuleFile(withSrcName("../x", 9)).ok()) << "other modes load the source";

  RuleBlockHeader model = Header("1.dat", 1, 2);
  model.modelSrcName = test::RuleNameOf("../1.dat");
  EXPECT_TRUE(ParseRuleFile(RuleWriter().Block(model).Bytes()).ok()) << "model from the rule";
  model.modelFromRule = 0;
  EXPECT_EQ(ErrorOf(RuleWriter().Block(model).Bytes()).offset, 52u);
}

TEST(RuleFile, NameFieldsAndFinalNames) {
  RuleName outName = test::RuleNameOf("V2");
  std::copy_n("_1.dat", 6, outName.begin() + 3);  // a zero byte inside
  EXPECT_EQ(RuleNameSkippingZeros(outName), "V2_1.dat");
  EXPECT_EQ(RuleNameToZero(outName), "V2");
  EXPECT_EQ(FinalImageName("V2_1.dat"), "1.dat");
  EXPECT_EQ(FinalImageName("3.dat"), "3.dat");
  EXPECT_EQ(FinalImageName("New_E2.dat"), "E2.dat");
}

TEST(RuleFile, SequenceValuesWrapAtThirtyTwoBitsAndRepeatWithTheModulus) {
  RuleRecord r = test::Sequence(Fill(4, 0), 0x100, 2, 2);
  EXPECT_EQ(SequenceValue(r, 0), 0x100u);
  EXPECT_EQ(SequenceValue(r, 1), 0x102u);
  EXPECT_EQ(SequenceValue(r, 2), 0x100u);
  r = test::Sequence(Fill(4, 0), 0xFFFFFFFF, 1);
  EXPECT_EQ(SequenceValue(r, 1), 0u);
  EXPECT_EQ(SequenceValue(r, 3), 2u);
}

TEST(RuleFile, TheDescriptionPlacesEveryRecordInTheImageAndItsRow) {
  const RuleBlockHeader h = Header("V_1.dat", 0xFE00, 0x10000);
  const link::Bytes bytes =
      RuleWriter()
          .Block(h)
          .Add(Fill(3, 0xFF))
          .Add(Column(test::Sequence(Text(kModeText8, 6, "C\"h"), 1, 1), 2, 10))
          .Add(Column(Array("1.dat", 4, 2, 2, 1, 0), 2, 10, 8))
          .Add(Copy("1.dat", 0, 3, 3, kModeOr, 1))
          .Bytes();
  const RuleParse parse = ParseRuleFile(bytes);
  ASSERT_TRUE(parse.ok()) << parse.error.why;
  const std::string text = DescribeRuleFile(parse.file);
  for (const char* line : {
           "converts 0xFE00 to 0x10000, 1 block\n",
           "block 1 at offset 0: \"V_1.dat\" -> 1.dat, 23 bytes after the header\n",
           "  offset 120, image bytes 0+3: kind 1, fill 3 bytes with 0xFF\n",
           "  offset 207, image bytes 3+20: table of 2 rows x 10 bytes\n",
           "    offset 207, row bytes 0+6: kind 2, 8-bit text \"C\\x22h\" in 6 bytes, sequence 0x1 "
           "+ "
           "1 x row\n",
           "    offset 490, row bytes 6+4: kind 1, array of 2 x 2 bytes from \"1.dat\" at 0x4, "
           "source "
           "width 1, source stride 8, elements above 0 zero\n",
           "  offset 577, image bytes 23+0: kind 1, copy OR of width 3: writes nothing",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  }
}

}  // namespace
}  // namespace tavro::data
