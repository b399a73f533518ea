// One block's image built in memory: the header kinds, every mode as a
// stand-alone item and as a table column, and the source range checks.

#include "data/rule_image.hpp"

#include <gtest/gtest.h>

#include <map>

#include "data/para_header.hpp"
#include "support/rule_builder.hpp"

namespace tavro::data {
namespace {

using link::Bytes;
using test::Array;
using test::Column;
using test::Copy;
using test::Fill;
using test::Header;
using test::RuleWriter;
using test::Sequence;
using test::Text;

class MemorySources : public SourceImages {
 public:
  std::map<std::string, Bytes> images;
  int loads = 0;

  const Bytes* Load(const std::string& name, ConvertError& error) override {
    ++loads;
    const auto it = images.find(name);
    if (it == images.end()) {
      error = FileNotFound("src/" + name);
      return nullptr;
    }
    return &it->second;
  }
};

class RuleImage : public ::testing::Test {
 protected:
  // The data part of the image of one block holding `records`; header
  // kind 3 (none) unless given.
  Bytes Data(const std::vector<RuleRecord>& records, int headerKind = 3,
             RuleBlockHeader header = Header("1.dat", 1, 2)) {
    RuleWriter w;
    w.Block(header);
    for (const RuleRecord& r : records)
      w.Add(r);
    const RuleParse parse = ParseRuleFile(w.Bytes());
    EXPECT_TRUE(parse.ok()) << parse.error.why;
    if (!parse.ok())
      return {};
    last = BuildBlockImage(parse.file.blocks[0], {headerKind, stamp, "rule.bin"}, sources);
    return last.bytes;
  }

  MemorySources sources;
  link::TimeStamp stamp{2024, 5, 17, 9, 30, 15};
  BlockImage last;
};

TEST_F(RuleImage, ThreeRowTableWithASequenceFillAndAWidenedCopy) {
  sources.images["1.dat"] = {0xA0, 0xA1, 0xA2};
  const Bytes data = Data(
      {Column(Sequence(Fill(2, 0), 0x100, 2, 2), 3, 4), Column(Copy("1.dat", 0, 2, 1), 3, 4, 1)});
  EXPECT_EQ(data, (Bytes{0x00, 0x01, 0xA0, 0, 0x02, 0x01, 0xA1, 0, 0x00, 0x01, 0xA2, 0}));
}

TEST_F(RuleImage, TextColumnsCarryTheRowsSequenceNumber) {
  const Bytes text8 = Data({Column(Sequence(Text(kModeText8, 6, "ab"), 7, 1), 2, 6)});
  EXPECT_EQ(text8, (Bytes{'a', 'b', '7', 0, 0, 0, 'a', 'b', '8', 0, 0, 0}));
  // Sequence values are printed signed; UTF-16 columns cut at Width bytes.
  const Bytes text16 = Data({Column(Sequence(Text(kModeText16, 5, "x"), 0xFFFFFFFF, 0), 1, 5)});
  EXPECT_EQ(text16, (Bytes{'x', 0, '-', 0, '1'}));
}

TEST_F(RuleImage, StandaloneItemsOfEveryMode) {
  sources.images["1.dat"] = {0x11, 0x22, 0x33, 0x44};
  struct Case {
    const char* what;
    RuleRecord record;
    Bytes expected;
  };
  const Case cases[] = {
      {"fill u16", Fill(2, 0xABCD), {0xCD, 0xAB}},
      {"fill u32", Fill(4, 0x01020304), {4, 3, 2, 1}},
      {"fill of width 3 repeats the low byte", Fill(3, 0x1FF), {0xFF, 0xFF, 0xFF}},
      {"8-bit text padded", Text(kModeText8, 4, "ab"), {'a', 'b', 0, 0}},
      {"8-bit text cut", Text(kModeText8, 1, "ab"), {'a'}},
      {"UTF-16 text keeps whole characters", Text(kModeText16, 5, "ab"), {'a', 0, 'b', 0, 0}},
      {"UTF-16 text with its terminator", Text(kModeText16, 8, "ab"), {'a', 0, 'b', 0, 0, 0, 0, 0}},
      {"copy widened", Copy("1.dat", 1, 4, 2), {0x22, 0x33, 0, 0}},
      {"copy truncated", Copy("1.dat", 0, 2, 4), {0x11, 0x22}},
      {"AND", Copy("1.dat", 0, 2, 2, kModeAnd, 0x0FF0), {0x10, 0x02}},
      {"OR", Copy("1.dat", 2, 1, 1, kModeOr, 0x80), {0xB3}},
      {"AND of width 3 writes nothing", Copy("1.dat", 0, 3, 3, kModeAnd, 0), {}},
      {"unknown mode writes nothing", Copy("1.dat", 0, 2, 2, 9), {}},
      {"array with SrcMaxIndex 1", Array("1.dat", 0, 4, 1, 1, 1), {0x11, 0x22, 0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Data({c.record}), c.expected) << c.what;
}

TEST_F(RuleImage, TableColumnsOfModesThatWriteNothingStayZero) {
  sources.images["1.dat"] = Bytes(8, 0xEE);
  RuleRecord fill =
      Column(Sequence(Fill(3, 0x41), 9, 1), 2, 8);  // width 3: Value, not the sequence
  const Bytes data = Data({fill, Column(Copy("1.dat", 0, 3, 3, kModeOr, 0), 2, 8, 4),
                           Column(Copy("1.dat", 0, 2, 2, 7), 2, 8, 4)});
  EXPECT_EQ(data, (Bytes{0x41, 0x41, 0x41, 0, 0, 0, 0, 0, 0x41, 0x41, 0x41, 0, 0, 0, 0, 0}));
}

TEST_F(RuleImage, ArrayColumnsStepThroughRowsAndElements) {
  sources.images["1.dat"] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  // Two rows 6 source bytes apart; elements SrcWidth (1) bytes apart in the
  // source and Width (2) apart in the row; elements above index 1 are zero.
  const Bytes data = Data({Column(Array("1.dat", 0, 3, 2, 1, 1), 2, 6, 6)});
  EXPECT_EQ(data, (Bytes{1, 0, 2, 0, 0, 0, 7, 0, 8, 0, 0, 0}));
  // Elements as wide as their source: consecutive bytes.
  EXPECT_EQ(Data({Array("1.dat", 0, 2, 2, 2, 5)}), (Bytes{1, 2, 3, 4}));
}

TEST_F(RuleImage, HeaderKinds) {
  Bytes flash = Data({Fill(1, 0x5A)}, kHeaderFlash, Header("V3_2.dat", 1, 0x00010203));
  ASSERT_EQ(flash.size(), 513u);
  const ParaHeader h = *DecodeParaHeader(flash);
  EXPECT_EQ(h.integrity, 0xFFFF);
  EXPECT_EQ(h.dataSize, 0u);
  EXPECT_EQ(h.dataVersion, 0x00010203u);
  EXPECT_EQ(FieldText(h.model), "TEST-MDL");
  EXPECT_EQ(FieldText(h.name), "V3_2.dat");
  EXPECT_EQ(TimeStampOf(h), stamp);
  EXPECT_EQ(flash[512], 0x5A);
  EXPECT_TRUE(std::all_of(flash.begin() + 56, flash.begin() + 512, [](auto b) { return b == 0; }));

  for (const int kind : {kHeaderE2, kHeaderE2E}) {
    const Bytes e2 = Data({Fill(1, 0x5A)}, kind);
    ASSERT_EQ(e2.size(), 33u);
    EXPECT_EQ(link::GetU16(e2.data()), 0xFFFF);
    EXPECT_EQ(link::GetU32(e2.data() + 6), 2u);
    EXPECT_EQ(std::string(e2.begin() + 10, e2.begin() + 18), "TEST-MDL");
  }
}

TEST_F(RuleImage, FlashSourcesSkipTheirHeaderBlockUnderHeaderKindsZeroAndOne) {
  Bytes image(600, 0);
  image[10] = 'M';
  image[522] = 'D';
  image[4] = 0x44;
  image[516] = 0x55;
  sources.images["1.dat"] = image;
  RuleBlockHeader header = Header("1.dat", 1, 2);
  header.srcHasHeader = 1;
  header.modelFromRule = 0;
  header.modelLen = 1;
  header.modelOffset = 10;
  header.modelSrcName = test::RuleNameOf("1.dat");
  const Bytes flash = Data({Copy("1.dat", 4, 1, 1)}, kHeaderFlash, header);
  EXPECT_EQ(flash.back(), 0x55);
  EXPECT_EQ(flash[10], 'D');
  EXPECT_EQ(Data({Copy("1.dat", 4, 1, 1)}, kHeaderE2, header).back(), 0x55);
  const Bytes e2e = Data({Copy("1.dat", 4, 1, 1)}, kHeaderE2E, header);
  EXPECT_EQ(e2e.back(), 0x44);
  EXPECT_EQ(e2e[10], 'M');
  EXPECT_EQ(std::count(e2e.begin() + 11, e2e.begin() + 18, 0), 7) << "model bytes past ModelLen";
}

TEST_F(RuleImage, ReadsPastTheSourceAreRefusedWithoutWrapping) {
  sources.images["1.dat"] = Bytes(16, 1);
  EXPECT_EQ(Data({Copy("1.dat", 12, 4, 4)}).size(), 4u) << "the last four bytes";
  struct Case {
    const char* what;
    RuleRecord record;
  };
  const Case cases[] = {
      {"one byte past the end", Copy("1.dat", 13, 4, 4)},
      {"AND reads Width bytes", Copy("1.dat", 15, 2, 1, kModeAnd, 0)},
      {"the last row", Column(Copy("1.dat", 0, 4, 4), 3, 4, 7)},
      {"an offset that wraps in 32 bits", Copy("1.dat", 0xFFFFFFFF, 2, 2)},
      {"a stride that wraps in 32 bits", Column(Copy("1.dat", 1, 1, 1), 2, 1, 0xFFFFFFFF)},
      {"the last element copied", Array("1.dat", 0, 3, 1, 8, 9)},
  };
  for (const Case& c : cases) {
    Data({c.record});
    EXPECT_EQ(last.error.kind, ConvertErrorKind::kRuleInvalid) << c.what;
    EXPECT_NE(last.error.text.find("rule.bin: offset 120: reads "), std::string::npos)
        << c.what << ": " << last.error.text;
  }
  // Elements above SrcMaxIndex are not read.
  Data({Array("1.dat", 8, 4, 1, 8, 0)});
  EXPECT_TRUE(last.ok()) << last.error.text;

  RuleBlockHeader header = Header("1.dat", 1, 2);
  header.modelFromRule = 0;
  header.modelLen = 8;
  header.modelOffset = 9;
  header.modelSrcName = test::RuleNameOf("1.dat");
  Data({}, kHeaderE2E, header);
  EXPECT_EQ(last.error.kind, ConvertErrorKind::kRuleInvalid);
}

TEST_F(RuleImage, MissingSourcesAreNamedAndOnlyRecordsThatReadOneLoadIt) {
  Data({Fill(1, 0), Text(kModeText8, 2, "a"), Text(kModeText16, 2, "a")});
  EXPECT_TRUE(last.ok());
  EXPECT_EQ(sources.loads, 0);
  Data({Copy("2.dat", 0, 1, 1)});
  EXPECT_EQ(last.error.kind, ConvertErrorKind::kNotExist);
  EXPECT_EQ(last.error.path, "src/2.dat");
}

}  // namespace
}  // namespace tavro::data
