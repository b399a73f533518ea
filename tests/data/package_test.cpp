#include "data/package.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "data/temp_dir.hpp"
#include "link/byte_order.hpp"
#include "support/recording_messages.hpp"

namespace tavro::data {
namespace {

using test::RecordedBox;
using test::RecordingMessages;
using test_support::TempDir;
using test_support::WriteBytes;
using test_support::WriteText;
using ::testing::ElementsAre;

struct Record {
  std::uint32_t type, index, blVer, addr, len, arg;
  std::string name;  // raw bytes, up to 32
};

std::vector<std::uint8_t> Package(std::uint32_t debug, std::uint32_t blConfig, std::uint32_t total,
                                  std::uint32_t requisite, const std::vector<Record>& records) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t v : {debug, blConfig, total, requisite})
    link::AppendU32(out, v);
  for (const Record& r : records) {
    for (std::uint32_t v : {r.type, r.index, r.blVer, r.addr, r.len, r.arg}) {
      link::AppendU32(out, v);
    }
    std::uint8_t name[32] = {};
    for (std::size_t i = 0; i < r.name.size() && i < 32; ++i) {
      name[i] = static_cast<std::uint8_t>(r.name[i]);
    }
    out.insert(out.end(), name, name + 32);
  }
  return out;
}

TEST(BlVersionClass, Thresholds) {
  EXPECT_EQ(BlVersionClass(0x000), 0x100u);
  EXPECT_EQ(BlVersionClass(0x1FF), 0x100u);
  EXPECT_EQ(BlVersionClass(0x200), 0x200u);
  EXPECT_EQ(BlVersionClass(0x20F), 0x200u);
  EXPECT_EQ(BlVersionClass(0x210), 0x220u);
  EXPECT_EQ(BlVersionClass(0x22F), 0x220u);
  EXPECT_EQ(BlVersionClass(0x230), 0x230u);
  EXPECT_EQ(BlVersionClass(0xFFFF), 0x230u);
}

TEST(ParsePackage, PicksRecordsOfTheTerminalTypeAndClass) {
  const auto file = Package(2, 1, 0x0105, 0x0105,
                            {{0, 0, 0x230, 0x100, 0x200, 7, "1.dat"},
                             {1, 0, 0x230, 0x111, 0x222, 8, "t1.dat"},
                             {0, 0, 0x220, 0x333, 0x444, 9, "old.dat"},
                             {0, 6, 0x230, 0x08020000, 0x60000, 0, "App.bin"}});
  PackageValues v;
  AreaTable t;
  t[3].fileName = "stale";
  ASSERT_TRUE(ParsePackage(file, 0, 0x230, v, t));
  EXPECT_EQ(v.debugLevel, 2u);
  EXPECT_EQ(v.blUpDataConfig, 1u);
  EXPECT_EQ(v.paraFileTotalNum, 5);  // only the low byte counts
  EXPECT_EQ(v.paraFileRequisiteNum, 5);
  EXPECT_EQ(t[0].areaAddr, 0x100u);
  EXPECT_EQ(t[0].areaLen, 0x200u);
  EXPECT_EQ(t[0].areaArg, 7u);
  EXPECT_EQ(t[0].fileName, "1.dat");
  EXPECT_EQ(t[kAppAreaIndex].areaAddr, 0x08020000u);
  EXPECT_EQ(t[kAppAreaIndex].fileName, "App.bin");
  EXPECT_EQ(t[3].fileName, "");  // the table is emptied first
  EXPECT_EQ(t[1].areaAddr, 0u);

  ASSERT_TRUE(ParsePackage(file, 1, 0x23F, v, t));
  EXPECT_EQ(t[0].fileName, "t1.dat");
  EXPECT_EQ(t[0].areaAddr, 0x111u);
  EXPECT_EQ(t[kAppAreaIndex].fileName, "");

  ASSERT_TRUE(ParsePackage(file, 0, 0x215, v, t));
  EXPECT_EQ(t[0].fileName, "old.dat");
  EXPECT_EQ(t[0].areaArg, 9u);

  // No record for this terminal type: everything stays zero and empty.
  ASSERT_TRUE(ParsePackage(file, 7, 0x230, v, t));
  for (const AreaEntry& e : t) {
    EXPECT_EQ(e.areaAddr | e.areaLen | e.areaArg, 0u);
    EXPECT_TRUE(e.fileName.empty());
  }
}

TEST(ParsePackage, BadIndexSkippedLaterRecordOverwrites) {
  const auto file = Package(0, 0, 5, 5,
                            {{0, 9, 0x230, 1, 1, 1, "nine"},
                             {0, 8, 0x230, 1, 1, 1, "eight"},
                             {0, 2, 0x230, 0x10, 0x20, 0x30, "first"},
                             {0, 2, 0x230, 0x11, 0x21, 0x31, "second"}});
  PackageValues v;
  AreaTable t;
  ASSERT_TRUE(ParsePackage(file, 0, 0x230, v, t));
  EXPECT_EQ(t[2].areaAddr, 0x11u);
  EXPECT_EQ(t[2].areaLen, 0x21u);
  EXPECT_EQ(t[2].areaArg, 0x31u);
  EXPECT_EQ(t[2].fileName, "second");
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (i != 2) {
      EXPECT_TRUE(t[i].fileName.empty()) << i;
    }
  }
}

TEST(ParsePackage, FileNamesUpToZeroOrThirtyTwoBytesAsLatin1) {
  const std::string full32(32, 'N');
  const auto file = Package(0, 0, 5, 5,
                            {{0, 0, 0x230, 0, 0, 0, full32},
                             {0, 1, 0x230, 0, 0, 0, std::string("ab\0cd", 5)},
                             {0, 2, 0x230, 0, 0, 0, "caf\xE9.dat"}});
  PackageValues v;
  AreaTable t;
  ASSERT_TRUE(ParsePackage(file, 0, 0x230, v, t));
  EXPECT_EQ(t[0].fileName, full32);  // no terminator needed
  EXPECT_EQ(t[1].fileName, "ab");
  EXPECT_EQ(t[2].fileName, "caf\xC3\xA9.dat");
}

TEST(ParsePackage, PartialRecordIgnoredShortHeaderRejected) {
  auto file = Package(1, 0, 5, 5,
                      {{0, 0, 0x230, 0xA, 0xB, 0xC, "0.dat"}, {0, 1, 0x230, 0xD, 0xE, 0xF, "x"}});
  file.resize(16 + 56 + 20);  // the second record is cut short
  // Copy into an exactly sized heap block so a read past its end is caught
  // by the address sanitizer.
  const std::vector<std::uint8_t> exact(file.begin(), file.end());
  PackageValues v;
  AreaTable t;
  ASSERT_TRUE(ParsePackage(exact, 0, 0x230, v, t));
  EXPECT_EQ(t[0].areaAddr, 0xAu);
  EXPECT_EQ(t[1].areaAddr, 0u);
  EXPECT_TRUE(t[1].fileName.empty());

  PackageValues kept{3, 4, 5, 6};
  t[0].fileName = "kept";
  const std::vector<std::uint8_t> shortFile(15, 0x11);
  EXPECT_FALSE(ParsePackage(shortFile, 0, 0x230, kept, t));
  EXPECT_EQ(kept.debugLevel, 3u);
  EXPECT_EQ(kept.paraFileRequisiteNum, 6);
  EXPECT_EQ(t[0].fileName, "kept");

  const std::vector<std::uint8_t> headerOnly(16, 0);
  EXPECT_TRUE(ParsePackage(headerOnly, 0, 0x230, kept, t));
  EXPECT_EQ(kept.debugLevel, 0u);
}

TEST(ReadPackage, NamesMissingAndTruncatedFilesAndKeepsValues) {
  TempDir dir;
  PackageValues v{1, 2, 3, 4};
  AreaTable t;
  t[0].fileName = "old";
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x230, v, t), PackageError::kNotFound);
  EXPECT_EQ(v.debugLevel, 1u);
  EXPECT_EQ(v.paraFileRequisiteNum, 4);
  EXPECT_EQ(t[0].fileName, "old");

  WriteBytes(dir / "SwUpdate.ini", {1, 0, 0, 0, 0});
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x230, v, t), PackageError::kUnreadable);
  EXPECT_EQ(v.debugLevel, 1u);
  EXPECT_EQ(t[0].fileName, "old");

  WriteBytes(dir / "SwUpdate.ini", Package(9, 0, 5, 5, {{0, 6, 0x200, 1, 2, 3, "App.bin"}}));
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x200, v, t), PackageError::kNone);
  EXPECT_EQ(v.debugLevel, 9u);
  EXPECT_EQ(t[6].fileName, "App.bin");
  EXPECT_EQ(t[0].fileName, "");
}

TEST(ReadDestVersion, AutomaticBaseAndDefault) {
  TempDir dir;
  EXPECT_EQ(ReadDestVersion(dir.path()), 0u);  // no file: the default "0"
  std::filesystem::create_directory(dir / "Data");
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0x0230", 560}, {"0230", 152}, {"abc", 0}, {"305", 305}, {" 0X10 ", 16}};
  for (const auto& [text, expected] : cases) {
    WriteText(dir / "Data/DataVer.ini", std::string("[DestPara]\r\nDestParaVer=") + text + "\r\n");
    EXPECT_EQ(ReadDestVersion(dir.path()), expected) << text;
  }
  WriteText(dir / "Data/DataVer.ini", "[destpara]\r\nOther=5\r\n");
  EXPECT_EQ(ReadDestVersion(dir.path()), 0u);
}

TEST(ReadPackage, RefusesAFileThatIsNotAHeaderAndWholeRecords) {
  TempDir dir;
  PackageValues v{1, 2, 3, 4};
  AreaTable t;
  auto file = Package(9, 0, 5, 5, {{0, 6, 0x200, 1, 2, 3, "App.bin"}});
  file.push_back(0);  // one byte of a further record
  WriteBytes(dir / "SwUpdate.ini", file);
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x200, v, t), PackageError::kUnreadable);
  EXPECT_EQ(v.debugLevel, 1u);

  file.resize(16 + 56 - 1);  // the only record cut short
  WriteBytes(dir / "SwUpdate.ini", file);
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x200, v, t), PackageError::kUnreadable);

  WriteBytes(dir / "SwUpdate.ini", std::vector<std::uint8_t>(16, 0));
  EXPECT_EQ(ReadPackage(dir.path(), 0, 0x200, v, t), PackageError::kNone);
}

TEST(AreasUsable, NeedsTheAppEntryAndForFlashTerminalsEveryParameterEntry) {
  const std::vector<Record> flash = {{0, 0, 0x200, 1, 1, 0, "1.dat"},
                                     {0, 1, 0x200, 2, 1, 0, "2.dat"},
                                     {0, 5, 0x200, 3, 0, 0, ""},
                                     {0, 6, 0x200, 4, 1, 0, "App.bin"}};
  PackageValues v;
  AreaTable t;
  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, flash), 0, 0x205, v, t));
  EXPECT_TRUE(AreasUsable(t, v, 0x205)) << "an entry without a file name is no fault";

  ASSERT_TRUE(ParsePackage(Package(0, 0, 3, 3, flash), 0, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205)) << "parameter entry 2 is missing";

  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, {flash[0], flash[1]}), 0, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205)) << "no App entry";

  // Backups are named after the entries: the App and each area need a name.
  auto unnamed = flash;
  unnamed[1].name = "";
  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, unnamed), 0, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205)) << "area 1 has no file name";
  unnamed = flash;
  unnamed[3].name = "";
  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, unnamed), 0, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205)) << "the App entry has no file name";

  // Parameter areas lie before the App entry.
  ASSERT_TRUE(ParsePackage(Package(0, 0, 7, 7, flash), 0, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205));

  // Records of another terminal type or class do not count.
  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, flash), 1, 0x205, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x205));
  ASSERT_TRUE(ParsePackage(Package(0, 0, 2, 2, flash), 0, 0x215, v, t));
  EXPECT_FALSE(AreasUsable(t, v, 0x215));

  // An E2PROM terminal reads its data as one image: the App entry suffices.
  ASSERT_TRUE(
      ParsePackage(Package(0, 0, 5, 5, {{0, 6, 0x230, 4, 1, 0, "App.bin"}}), 0, 0x230, v, t));
  EXPECT_TRUE(AreasUsable(t, v, 0x230));
}

TEST(AreasUsable, FileNamesThatLeaveTheirFolderAreRefused) {
  for (const char* name : {"../1.dat", "..", ".", "sub/1.dat", "sub\\1.dat", "C:1.dat"}) {
    PackageValues v;
    AreaTable t;
    ASSERT_TRUE(ParsePackage(
        Package(0, 0, 1, 1, {{0, 0, 0x230, 1, 1, 0, name}, {0, 6, 0x230, 4, 1, 0, "A"}}), 0, 0x230,
        v, t));
    EXPECT_FALSE(AreasUsable(t, v, 0x230)) << name;
  }
}

}  // namespace
}  // namespace tavro::data
