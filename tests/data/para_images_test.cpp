// Flash and E2PROM parameter images: reading an image header, the set
// checks and building E2.dat from Flash images.

#include "data/para_images.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "data/file_io.hpp"
#include "data/temp_dir.hpp"
#include "link/byte_order.hpp"

namespace tavro::data {
namespace {

using test_support::FolderEntries;
using test_support::TempDir;
using test_support::WriteBytes;
using ::testing::UnorderedElementsAre;

// A Flash image: a 512-byte header block with a stale DataSize, a time
// stamp and the given version, then `dataSize` bytes of `fill`.
std::vector<std::uint8_t> FlashImage(std::size_t dataSize, std::uint8_t fill,
                                     std::uint32_t version = 0x230) {
  // Made whole, then the header block cleared: growing the vector instead
  // trips a false out-of-bounds warning of GCC 12 at -O3.
  std::vector<std::uint8_t> image(kFlashImageHeaderSize + dataSize, fill);
  std::fill_n(image.begin(), kFlashImageHeaderSize, std::uint8_t{0});
  link::PutU16(image.data(), 1);
  link::PutU32(image.data() + 2, 0xDEAD);
  link::PutU32(image.data() + 6, version);
  std::copy_n("TV-8", 4, image.begin() + 10);
  std::copy_n("Pa", 2, image.begin() + 18);
  link::PutU16(image.data() + 48, 2024);
  return image;
}

std::size_t SlotSize(std::size_t image) {
  return std::find_if(kE2Slots.begin(), kE2Slots.end(),
                      [image](const E2Slot& s) { return s.image == image; })
      ->size;
}

bool AllBytesAre(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count,
                 std::uint8_t value) {
  return from + count <= bytes.size() &&
         std::all_of(bytes.begin() + from, bytes.begin() + from + count,
                     [value](std::uint8_t b) { return b == value; });
}

TEST(ReadFlashImageHeader, HeaderFromTheFileDataSizeFromItsLength) {
  TempDir dir;
  const std::string folder = dir / "Data/InitData/Flash";
  std::filesystem::create_directories(folder);
  WriteBytes(folder + "/3.dat", FlashImage(100, 0x11, 0x01020304));
  FlashImageHeader read = ReadFlashImageHeader(dir.path(), 2);
  ASSERT_TRUE(read.result.ok());
  EXPECT_EQ(read.result.path, folder + "/3.dat");
  EXPECT_EQ(read.header.integrity, 1);
  EXPECT_EQ(read.header.dataSize, 100u);
  EXPECT_EQ(read.header.dataVersion, 0x01020304u);
  EXPECT_EQ(FieldText(read.header.model), "TV-8");
  EXPECT_EQ(FieldText(read.header.name), "Pa");
  EXPECT_EQ(read.header.year, 0);  // the time fields are not taken

  WriteBytes(folder + "/3.dat", FlashImage(0, 0));
  read = ReadFlashImageHeader(dir.path(), 2);
  ASSERT_TRUE(read.result.ok());
  EXPECT_EQ(read.header.dataSize, 0u);
}

TEST(ReadFlashImageHeader, MissingShortAndEmptyImagesAreReportedWithTheirPath) {
  TempDir dir;
  const std::string folder = dir / "Data/InitData/Flash";
  std::filesystem::create_directories(folder + "/4.dat");
  FlashImageHeader read = ReadFlashImageHeader(dir.path(), 1);
  EXPECT_EQ(read.result.error, FileError::kNotExist);
  EXPECT_EQ(read.result.path, folder + "/2.dat");
  EXPECT_EQ(ReadFlashImageHeader(dir.path(), 3).result.error, FileError::kNotExist);  // a folder

  // Short of the header block: no DataSize wrapped below zero.
  for (std::size_t size : {std::size_t{0}, std::size_t{20}, kFlashImageHeaderSize - 1}) {
    WriteBytes(folder + "/2.dat", std::vector<std::uint8_t>(size, 1));
    EXPECT_EQ(ReadFlashImageHeader(dir.path(), 1).result.error, FileError::kReadInErr) << size;
  }
}

TEST(ImageSetChecks, FlashImagesNeedTheirHeaderBlockAndE2DatItsFullSize) {
  TempDir dir;
  EXPECT_TRUE(IsFlashSetComplete(dir / "nowhere", 0));
  EXPECT_FALSE(IsFlashSetComplete(dir.path(), 1));
  WriteBytes(dir / "1.dat", FlashImage(0, 0));  // exactly 512 bytes
  WriteBytes(dir / "3.dat", FlashImage(10, 0));
  EXPECT_TRUE(IsFlashSetComplete(dir.path(), 1));
  EXPECT_FALSE(IsFlashSetComplete(dir.path(), 3));  // 2.dat missing in the middle
  WriteBytes(dir / "2.dat", std::vector<std::uint8_t>(kFlashImageHeaderSize - 1, 0));
  EXPECT_FALSE(IsFlashSetComplete(dir.path(), 3));
  WriteBytes(dir / "2.dat", FlashImage(1, 0));
  EXPECT_TRUE(IsFlashSetComplete(dir.path(), 3));
  std::filesystem::create_directory(dir / "4.dat");
  EXPECT_FALSE(IsFlashSetComplete(dir.path(), 4));

  EXPECT_FALSE(IsE2ImageComplete(dir.path()));
  WriteBytes(dir / "E2.dat", std::vector<std::uint8_t>(kE2ImageSize - 1, 0));
  EXPECT_FALSE(IsE2ImageComplete(dir.path()));
  WriteBytes(dir / "E2.dat", std::vector<std::uint8_t>(kE2ImageSize, 0));
  EXPECT_TRUE(IsE2ImageComplete(dir.path()));
}

class BuildE2 : public ::testing::Test {
 protected:
  void Put(std::size_t image, std::size_t dataSize) const {
    WriteBytes(dir / FlashImageName(image),
               FlashImage(dataSize, static_cast<std::uint8_t>(image * 0x11), 0x01020304));
  }
  std::vector<std::uint8_t> Result() const { return ReadWholeFile(dir / "E2.dat").value(); }
  TempDir dir;
};

TEST_F(BuildE2, FiveFullImagesFillTheImageWithFiveBeforeFour) {
  for (std::size_t k = 1; k <= 5; ++k)
    Put(k, SlotSize(k));
  const FileResult r = BuildE2ImageFromFlash(dir.path());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.path, dir / "E2.dat");
  const auto e2 = Result();
  ASSERT_EQ(e2.size(), kE2ImageSize);
  const auto head = DecodeE2Header(e2);
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->integrity, 0xFFFF);
  EXPECT_EQ(head->dataSize, 0x10000u);
  EXPECT_EQ(head->dataVersion, 0x01020304u);
  EXPECT_EQ(FieldText(head->model), "TV-8");
  EXPECT_TRUE(AllBytesAre(e2, 18, 14, 0));

  std::size_t offset = kE2HeaderSize;
  for (const std::size_t k : {1, 2, 3, 5, 4}) {
    EXPECT_TRUE(AllBytesAre(e2, offset, SlotSize(k), static_cast<std::uint8_t>(k * 0x11)))
        << "slot of " << k << ".dat";
    offset += SlotSize(k);
  }
  EXPECT_EQ(offset, kE2ImageSize);
}

TEST_F(BuildE2, TwoImagesArePaddedInTheirSlotsAndFollowedByTheErasedTail) {
  Put(1, 100);
  Put(2, 0);
  ASSERT_TRUE(BuildE2ImageFromFlash(dir.path()).ok());
  const auto e2 = Result();
  ASSERT_EQ(e2.size(), kE2ImageSize);
  EXPECT_TRUE(AllBytesAre(e2, kE2HeaderSize, 100, 0x11));
  const std::size_t slot1End = kE2HeaderSize + SlotSize(1);
  EXPECT_TRUE(AllBytesAre(e2, kE2HeaderSize + 100, SlotSize(1) - 100, 0xFF));
  EXPECT_TRUE(AllBytesAre(e2, slot1End, SlotSize(2) + 0x6000, 0xFF));
  EXPECT_EQ(slot1End + SlotSize(2) + 0x6000, kE2ImageSize);
}

TEST_F(BuildE2, SlotsWithoutAnImageStayErasedSoTheImageIsAlwaysWhole) {
  for (std::size_t k = 1; k <= 3; ++k)
    Put(k, SlotSize(k));
  ASSERT_TRUE(BuildE2ImageFromFlash(dir.path()).ok());
  auto e2 = Result();
  ASSERT_EQ(e2.size(), kE2ImageSize);
  const std::size_t slot3End = kE2HeaderSize + SlotSize(1) + SlotSize(2) + SlotSize(3);
  EXPECT_TRUE(AllBytesAre(e2, slot3End - SlotSize(3), SlotSize(3), 0x33));
  EXPECT_TRUE(AllBytesAre(e2, slot3End, kE2ImageSize - slot3End, 0xFF));

  RemoveFile(dir / "E2.dat");
  RemoveFile(dir / "2.dat");
  RemoveFile(dir / "3.dat");
  ASSERT_TRUE(BuildE2ImageFromFlash(dir.path()).ok());
  e2 = Result();
  ASSERT_EQ(e2.size(), kE2ImageSize);
  EXPECT_TRUE(AllBytesAre(e2, kE2HeaderSize + SlotSize(1), kE2ImageSize - 32 - SlotSize(1), 0xFF));
}

TEST_F(BuildE2, BadImagesAreNamedAndLeaveNoFileBehind) {
  FileResult r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kNotExist);  // the header comes from 1.dat
  EXPECT_EQ(r.path, dir / "1.dat");

  Put(1, 10);
  Put(2, 10);
  Put(4, 10);  // three files: the third position wants 3.dat
  r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kNotExist);
  EXPECT_EQ(r.path, dir / "3.dat");

  WriteBytes(dir / "3.dat", std::vector<std::uint8_t>(kFlashImageHeaderSize - 1, 0));
  r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kReadInErr);
  EXPECT_EQ(r.path, dir / "3.dat");

  Put(3, 10);
  Put(2, SlotSize(2) + 1);
  r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kTooLarge);
  EXPECT_EQ(r.path, dir / "2.dat");
  EXPECT_THAT(FolderEntries(dir.path()), UnorderedElementsAre("1.dat", "2.dat", "3.dat", "4.dat"));
}

TEST_F(BuildE2, FolderWithAnOldE2ImageOrSixImagesOrNoRoomIsRefused) {
  Put(1, 10);
  Put(2, 10);
  const std::vector<std::uint8_t> old(kE2ImageSize, 0x5A);
  WriteBytes(dir / "e2.DAT", old);
  FileResult r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kUnexpectedFiles);
  EXPECT_EQ(r.path, dir / "e2.DAT");
  EXPECT_EQ(ReadWholeFile(dir / "e2.DAT"), old);
  RemoveFile(dir / "e2.DAT");

  for (std::size_t k = 3; k <= 6; ++k)
    Put(k, 1);
  r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kUnexpectedFiles);
  EXPECT_EQ(r.path, dir.path());
  RemoveFile(dir / "6.dat");

  // A folder where the image has to go cannot be replaced by a file.
  std::filesystem::create_directory(dir / "E2.dat");
  r = BuildE2ImageFromFlash(dir.path());
  EXPECT_EQ(r.error, FileError::kWriteFailed);
  EXPECT_EQ(r.path, dir / "E2.dat");
  EXPECT_EQ(FolderEntries(dir.path()).size(), 6u);  // no temporary left
}

}  // namespace
}  // namespace tavro::data
