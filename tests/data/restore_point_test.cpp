// Restore points: which folders are taken (and which paths leave the
// Backup tree), how the App backup is paired, the listing's order and
// summary, and the checks of a set against a terminal where a file is a
// link, a folder, of two versions or too large.

#include "data/restore_point.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "data/file_io.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"
#include "data/restore_check.hpp"
#include "data/temp_dir.hpp"
#include "link/byte_order.hpp"
#include "support/same_path.hpp"

namespace tavro::data {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;
using test_support::WriteBytes;

using test::SamePath;

std::vector<std::uint8_t> FlashImage(std::uint32_t version, const char* model, std::size_t data) {
  ParaHeader h;
  h.integrity = 1;
  h.dataSize = static_cast<std::uint32_t>(data);
  h.dataVersion = version;
  std::copy_n(model, std::min<std::size_t>(std::strlen(model), kModelSize), h.model.begin());
  const auto head = EncodeParaHeader(h);
  std::vector<std::uint8_t> image(kFlashImageHeaderSize + data, 0x11);
  std::copy(head.begin(), head.end(), image.begin());
  return image;
}

std::vector<std::uint8_t> AppImage(std::uint32_t version, const char* model, std::size_t size) {
  std::vector<std::uint8_t> image(size, 0x22);
  link::PutU32(image.data() + 64, version);
  std::fill(image.begin() + 68, image.begin() + 76, 0);
  std::copy_n(model, std::strlen(model), image.begin() + 68);
  return image;
}

class RestorePoints : public ::testing::Test {
 protected:
  std::string Data(const std::string& name) { return dir / ("Backup/TAVR3/Data/1.2.0.0/" + name); }
  std::string MakeSet(const std::string& name, std::uint32_t version = 0x01020000) {
    const std::string folder = Data(name);
    EXPECT_TRUE(CreateFolders(folder));
    for (std::size_t k = 1; k <= 5; ++k)
      WriteBytes(folder + "/" + FlashImageName(k), FlashImage(version, "TR100", 100 * k));
    return folder;
  }
  std::string MakeApp(const std::string& stamp, const std::string& version = "1.0.2.0") {
    const std::string folder = dir / ("Backup/TAVR3/SW/" + version + "/" + stamp);
    EXPECT_TRUE(CreateFolders(folder));
    WriteBytes(folder + "/App.bin", AppImage(0x01000200, "TR100", 6000));
    return folder + "/App.bin";
  }

  TempDir dir;
};

TEST_F(RestorePoints, ADataBackupFolderIsTakenWithTheAppOfItsStamp) {
  const std::string folder = MakeSet("20240314092653-Bak-Bak");
  const std::string app = MakeApp("20240314092653");
  MakeApp("20240314092654", "1.0.3.0");
  const RestoreFolder r = ResolveRestorePoint(dir.path(), folder);
  ASSERT_EQ(r.check, RestoreFolderCheck::kOk);
  EXPECT_EQ(r.point.stamp, "20240314092653");
  EXPECT_EQ(r.point.portFolder, "TAVR3");
  EXPECT_EQ(r.point.folderVersion, "1.2.0.0");
  ASSERT_TRUE(r.point.appFile.has_value());
  EXPECT_EQ(fs::canonical(*r.point.appFile), fs::canonical(app));
  EXPECT_EQ(r.point.appFolderVersion, "1.0.2.0");
  EXPECT_TRUE(r.point.hasFlashImages);
  EXPECT_FALSE(r.point.hasE2Image);
}

TEST_F(RestorePoints, PathsThatLeaveTheBackupTreeAreRefused) {
  MakeSet("20240314092653");
  ASSERT_TRUE(CreateFolders(dir / "Elsewhere/20240314092653"));
  const std::string escapes[] = {
      dir / "Elsewhere/20240314092653",
      dir / "Backup/TAVR3/Data/1.2.0.0/../../../../Elsewhere/20240314092653",
      dir / "Backup/../Elsewhere/20240314092653",
      dir / "Backup/TAVR3/Data/9.9.9.9/../../../../Elsewhere/none",
      dir.path(),
  };
  for (const std::string& path : escapes)
    EXPECT_EQ(ResolveRestorePoint(dir.path(), path).check, RestoreFolderCheck::kOutsideBackup)
        << path;
  // A link inside the tree that leads out of it.
  std::error_code ec;  // a system without links (Wine) skips this case
  fs::create_directory_symlink(dir / "Elsewhere/20240314092653", Data("20240314092654"), ec);
  if (!ec) {
    EXPECT_EQ(ResolveRestorePoint(dir.path(), Data("20240314092654")).check,
              RestoreFolderCheck::kOutsideBackup);
  }
  // A ".." that stays inside is fine.
  ASSERT_TRUE(CreateFolders(dir / "Backup/TAVR3/SW"));
  EXPECT_EQ(
      ResolveRestorePoint(dir.path(), dir / "Backup/TAVR3/SW/../Data/1.2.0.0/20240314092653").check,
      RestoreFolderCheck::kOk);
}

TEST_F(RestorePoints, OnlyTheShapeOfADataBackupFolderIsTaken) {
  MakeSet("20240314092653");
  ASSERT_TRUE(CreateFolders(Data("2024031409265")));
  ASSERT_TRUE(CreateFolders(Data("20240314092653-Bakx")));
  ASSERT_TRUE(CreateFolders(dir / "Backup/Port3/Data/1.2.0.0/20240314092653"));
  ASSERT_TRUE(CreateFolders(dir / "Backup/TAVR3/Conv/1.2.0.0/20240314092653"));
  for (const std::string& path :
       {dir / "Backup/TAVR3/Data/1.2.0.0", Data("2024031409265"), Data("20240314092653-Bakx"),
        Data("20240314092655"), dir / "Backup/Port3/Data/1.2.0.0/20240314092653",
        dir / "Backup/TAVR3/Conv/1.2.0.0/20240314092653", Data("20240314092653") + "/1.dat"})
    EXPECT_EQ(ResolveRestorePoint(dir.path(), path).check, RestoreFolderCheck::kNotADataBackup)
        << path;
}

TEST_F(RestorePoints, AnAppBackupThatIsALinkIsNotPaired) {
  const std::string folder = MakeSet("20240314092653");
  const std::string outside = dir / "outside.bin";
  WriteBytes(outside, AppImage(0x01000200, "TR100", 6000));
  ASSERT_TRUE(CreateFolders(dir / "Backup/TAVR3/SW/1.0.2.0/20240314092653"));
  std::error_code ec;
  fs::create_symlink(outside, dir / "Backup/TAVR3/SW/1.0.2.0/20240314092653/App.bin", ec);
  if (ec)
    GTEST_SKIP() << "no symbolic links on this system";
  EXPECT_FALSE(ResolveRestorePoint(dir.path(), folder).point.appFile.has_value());
}

TEST_F(RestorePoints, TheListingIsNewestFirstWithWhatEachHolds) {
  MakeSet("20240101000000");
  MakeSet("20240301000000-Bak");
  MakeApp("20240301000000");
  const std::string broken = MakeSet("20240201000000");
  ASSERT_TRUE(RemoveFile(broken + "/3.dat"));
  WriteBytes(broken + "/2.dat", std::vector<std::uint8_t>(10, 0));
  ASSERT_TRUE(CreateFolders(Data("not-a-stamp")));
  const std::string e2 = dir / "Backup/TAVR4/Data/1.3.0.0/20231201000000";
  ASSERT_TRUE(CreateFolders(e2));
  std::vector<std::uint8_t> image(kE2ImageSize, 0xFF);
  link::PutU32(image.data() + 6, 0x01030000);
  WriteBytes(e2 + "/E2.dat", image);

  const std::vector<RestorePoint> points = ListRestorePoints(dir.path());
  ASSERT_EQ(points.size(), 4u);
  EXPECT_EQ(points[0].stamp, "20240301000000");
  EXPECT_TRUE(points[0].appFile.has_value());
  EXPECT_EQ(points[1].stamp, "20240201000000");
  EXPECT_EQ(points[2].stamp, "20240101000000");
  EXPECT_FALSE(points[2].appFile.has_value());
  EXPECT_EQ(points[3].portFolder, "TAVR4");

  EXPECT_TRUE(SummarizeRestorePoint(points[0]).complete);
  EXPECT_EQ(SummarizeRestorePoint(points[0]).dataVersion, 0x01020000u);
  EXPECT_FALSE(SummarizeRestorePoint(points[1]).complete) << "2.dat is shorter than its header";
  const RestorePointSummary e2Summary = SummarizeRestorePoint(points[3]);
  EXPECT_TRUE(e2Summary.complete);
  EXPECT_EQ(e2Summary.dataVersion, 0x01030000u);
  WriteBytes(e2 + "/E2.dat", std::vector<std::uint8_t>(kE2ImageSize + 1, 0xFF));
  EXPECT_FALSE(SummarizeRestorePoint(points[3]).complete);
}

AreaTable FlashTable() {
  AreaTable areas{};
  const std::uint32_t addresses[] = {0x08060000, 0x08069000, 0x0806B000, 0x0806C000, 0x08072000};
  for (std::size_t i = 0; i < 5; ++i)
    areas[i] = {addresses[i], addresses[i] + 0x20000, static_cast<std::uint32_t>(i + 1),
                FlashImageName(i + 1), true};
  areas[kAppAreaIndex] = {0x08010000, 0x3000, 0, "App.bin", true};
  return areas;
}

TEST(FlashAreaCapacity, IsTheLengthOrTheDistanceToTheNextAddress) {
  AreaTable areas = FlashTable();
  EXPECT_EQ(FlashAreaCapacity(areas, 0), 0x9000u);
  EXPECT_EQ(FlashAreaCapacity(areas, 2), 0x1000u);
  // The last area ends where the first copy begins.
  EXPECT_EQ(FlashAreaCapacity(areas, 4), 0x0E000u);
  areas[1].areaLen = 0x800;  // a length, not a copy's address
  EXPECT_EQ(FlashAreaCapacity(areas, 1), 0x800u);
  AreaTable lone{};
  lone[0] = {0x1000, 0x1000 + 0x200, 1, "1.dat", true};
  EXPECT_EQ(FlashAreaCapacity(lone, 0), 0x200u);
}

class RestoreChecks : public RestorePoints {
 protected:
  RestoreTerminal Terminal() {
    RestoreTerminal t;
    t.blVersion = 0x0215;
    t.model = "TR100";
    t.dataVersion = 0x01020000;
    t.areas = &areas;
    t.requisiteNum = 5;
    t.totalNum = 5;
    return t;
  }
  RestorePoint Point(const std::string& folder) {
    return ResolveRestorePoint(dir.path(), folder).point;
  }
  AreaTable areas = FlashTable();
};

TEST_F(RestoreChecks, AWholeSetOfTheTerminalsVersionPasses) {
  const RestoreCheck check = CheckRestorePoint(Point(MakeSet("20240314092653")), Terminal());
  EXPECT_EQ(check.refusal, RestoreRefusal::kNone) << check.path;
  EXPECT_EQ(check.dataVersion, 0x01020000u);
  EXPECT_FALSE(check.appVersion.has_value());
}

TEST_F(RestoreChecks, ALinkOrAFolderInTheSetIsNoImage) {
  const std::string folder = MakeSet("20240314092653");
  WriteBytes(dir / "secret.bin", FlashImage(0x01020000, "TR100", 300));
  ASSERT_TRUE(RemoveFile(folder + "/3.dat"));
  std::error_code ec;  // a system without links (Wine) skips this case
  fs::create_symlink(dir / "secret.bin", folder + "/3.dat", ec);
  RestoreCheck check;
  if (!ec) {
    check = CheckRestorePoint(Point(folder), Terminal());
    EXPECT_EQ(check.refusal, RestoreRefusal::kMissing);
    EXPECT_TRUE(SamePath(check.path, folder + "/3.dat")) << check.path;
  }

  // An optional image beyond the required ones may be absent, but never a
  // folder in its place.
  RemoveFile(folder + "/3.dat");  // the link, when there is one
  WriteBytes(folder + "/3.dat", FlashImage(0x01020000, "TR100", 300));
  RestoreTerminal t = Terminal();
  t.requisiteNum = 4;
  ASSERT_TRUE(RemoveFile(folder + "/5.dat"));
  EXPECT_EQ(CheckRestorePoint(Point(folder), t).refusal, RestoreRefusal::kNone);
  ASSERT_TRUE(CreateFolder(folder + "/5.dat"));
  check = CheckRestorePoint(Point(folder), t);
  EXPECT_EQ(check.refusal, RestoreRefusal::kMissing);
  EXPECT_TRUE(SamePath(check.path, folder + "/5.dat")) << check.path;
}

TEST_F(RestoreChecks, ImagesOfTwoDataVersionsAreNoSet) {
  const std::string folder = MakeSet("20240314092653");
  WriteBytes(folder + "/4.dat", FlashImage(0x01030000, "TR100", 300));
  const RestoreCheck check = CheckRestorePoint(Point(folder), Terminal());
  EXPECT_EQ(check.refusal, RestoreRefusal::kIncomplete);
  EXPECT_TRUE(SamePath(check.path, folder + "/4.dat")) << check.path;
}

TEST_F(RestoreChecks, TheAppIsCheckedForItsLengthAreaAndModel) {
  const std::string folder = MakeSet("20240314092653");
  const std::string app = MakeApp("20240314092653");
  RestoreCheck check = CheckRestorePoint(Point(folder), Terminal());
  ASSERT_EQ(check.refusal, RestoreRefusal::kNone) << check.path;
  EXPECT_EQ(check.appVersion, 0x01000200u);

  // Larger than the App area (0x3000 bytes) by one byte.
  WriteBytes(app, AppImage(0x01000200, "TR100", 0x3001));
  check = CheckRestorePoint(Point(folder), Terminal());
  EXPECT_EQ(check.refusal, RestoreRefusal::kTooLarge);
  WriteBytes(app, AppImage(0x01000200, "TR100", 0x3000));
  EXPECT_EQ(CheckRestorePoint(Point(folder), Terminal()).refusal, RestoreRefusal::kNone);

  // The terminal keeps header bytes before the App: the version and model
  // lie further in, and a file too short for them is refused.
  RestoreTerminal t = Terminal();
  t.appHeaderOffset = 0x2FD0;
  check = CheckRestorePoint(Point(folder), t);
  EXPECT_EQ(check.refusal, RestoreRefusal::kIncomplete);
  EXPECT_TRUE(SamePath(check.path, app)) << check.path;

  WriteBytes(app, AppImage(0x01000200, "TR200", 0x2000));
  EXPECT_EQ(CheckRestorePoint(Point(folder), Terminal()).refusal, RestoreRefusal::kModelDiffers);
  // A terminal that told no model cannot be compared with.
  t = Terminal();
  t.model.clear();
  EXPECT_EQ(CheckRestorePoint(Point(folder), t).refusal, RestoreRefusal::kNone);
}

TEST_F(RestoreChecks, DataAloneNeedsTheTerminalsDataVersion) {
  const std::string folder = MakeSet("20240314092653");
  RestoreTerminal t = Terminal();
  t.dataVersion = 0x01030000;
  EXPECT_EQ(CheckRestorePoint(Point(folder), t).refusal, RestoreRefusal::kDataVersionDiffers);
  t.dataVersion.reset();  // damaged data tells no version
  EXPECT_EQ(CheckRestorePoint(Point(folder), t).refusal, RestoreRefusal::kDataVersionDiffers);
  MakeApp("20240314092653");
  EXPECT_EQ(CheckRestorePoint(Point(folder), t).refusal, RestoreRefusal::kNone);
}

}  // namespace
}  // namespace tavro::data
