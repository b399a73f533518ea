// Download records: creating the record and its copy, marking keys, finding
// the record of the terminal's data and the resume check of one area.

#include "data/download_record.hpp"
#include "support/local_time.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/temp_dir.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {
namespace {

using test_support::FolderEntries;
using test_support::ReadText;
using test_support::TempDir;
using test_support::WriteText;
using ::testing::ElementsAre;

constexpr std::uint32_t kPort = 7;

// 2024-01-02 03:04:05 local time.
std::time_t Start() {
  return test::LocalTime(2024, 1, 2, 3, 4, 5);
}

ParaHeader StampedAt(const link::TimeStamp& t) {
  ParaHeader h;
  SetTimeStamp(h, t);
  return h;
}

std::string Key(const std::string& path, const char* key) {
  return CIni(path).GetString(kRecordSection, key, "<missing>");
}

void WriteDlTime(const std::string& path, const char* dlTime) {
  CIni(path).WriteString(kRecordSection, kRecordTimeKey, dlTime);
}

TEST(DownloadRecord, RecordAndCopyCarryTheSameKeysInOrder) {
  TempDir dir;
  const std::string paraPath = dir / "Data/InitData/Flash";
  DownloadRecord r =
      CreateDownloadRecord(dir.path(), kPort, Start(), paraPath, ParaForm::kFlash, 3);
  ASSERT_TRUE(r.result.ok());
  EXPECT_EQ(r.timeText, "20240102030405");
  EXPECT_EQ(r.paths.record, dir / "Backup/TAVR7/COMLog-20240102030405.log");
  EXPECT_EQ(r.paths.copy, dir / "Backup/TAVR7/COMLog/COMLog-20240102030405.log");
  EXPECT_THAT(CIni(r.paths.record).GetKeyNames(kRecordSection),
              ElementsAre("DlTime", "ParaPath", "1.dat", "2.dat", "3.dat"));
  EXPECT_EQ(Key(r.paths.record, "DlTime"), "20240102030405");
  EXPECT_EQ(Key(r.paths.record, "ParaPath"), paraPath);
  EXPECT_EQ(Key(r.paths.record, "3.dat"), "0");
  EXPECT_EQ(ReadText(r.paths.record), ReadText(r.paths.copy));

  // Existing folders are accepted; a record of the same second starts afresh.
  ASSERT_TRUE(WriteDownloadRecordKey(r.paths, "1.dat", "1"));
  r = CreateDownloadRecord(dir.path(), kPort, Start(), paraPath, ParaForm::kE2prom, 3);
  ASSERT_TRUE(r.result.ok());
  EXPECT_THAT(CIni(r.paths.copy).GetKeyNames(kRecordSection),
              ElementsAre("DlTime", "ParaPath", "E2.dat"));
  EXPECT_EQ(Key(r.paths.copy, "E2.dat"), "0");
  EXPECT_EQ(ReadText(r.paths.record), ReadText(r.paths.copy));
}

TEST(DownloadRecord, FailedCreationLeavesNoRecordBehind) {
  TempDir dir;
  std::filesystem::create_directories(dir / "Backup");
  WriteText(dir / "Backup/TAVR7", "a file where the folder belongs");
  DownloadRecord r = CreateDownloadRecord(dir.path(), kPort, Start(), "/p", ParaForm::kFlash, 1);
  EXPECT_EQ(r.result.error, FileError::kWriteFailed);
  EXPECT_EQ(r.result.path, dir / "Backup/TAVR7");

  RemoveFile(dir / "Backup/TAVR7");
  std::filesystem::create_directories(dir / "Backup/TAVR7");
  WriteText(dir / "Backup/TAVR7/COMLog", "a file where the copy folder belongs");
  r = CreateDownloadRecord(dir.path(), kPort, Start(), "/p", ParaForm::kFlash, 1);
  EXPECT_EQ(r.result.error, FileError::kWriteFailed);
  EXPECT_EQ(r.result.path, r.paths.copy);
  EXPECT_THAT(FolderEntries(dir / "Backup/TAVR7"), ElementsAre("COMLog"));
}

TEST(DownloadRecord, KeysAreMarkedInBothFilesAndAFailedCopyIsReported) {
  TempDir dir;
  const DownloadRecord r =
      CreateDownloadRecord(dir.path(), kPort, Start(), "/p", ParaForm::kFlash, 2);
  ASSERT_TRUE(r.result.ok());
  EXPECT_TRUE(WriteDownloadRecordKey(r.paths, "2.dat", "1"));
  EXPECT_EQ(Key(r.paths.record, "2.dat"), "1");
  EXPECT_EQ(Key(r.paths.copy, "2.dat"), "1");
  EXPECT_EQ(Key(r.paths.copy, "1.dat"), "0");

  DownloadRecordPaths broken = r.paths;
  broken.copy = dir / "no/such/folder/COMLog-x.log";
  EXPECT_FALSE(WriteDownloadRecordKey(broken, "1.dat", "1"));
  EXPECT_EQ(Key(r.paths.record, "1.dat"), "1");
}

TEST(FindDownloadRecord, CurrentRecordThenFirstCopyInListingOrderElseCurrent) {
  TempDir dir;
  const std::string copies = dir / "Backup/TAVR7/COMLog";
  std::filesystem::create_directories(copies);
  const std::string current = dir / "Backup/TAVR7/COMLog-20240102030405.log";
  WriteDlTime(current, "20240102030405");
  WriteDlTime(copies + "/COMLog-20240101000000.log", "20240102030405");
  WriteDlTime(copies + "/COMLog-20240102000000.log", "20240305060708");
  WriteDlTime(copies + "/COMLog-20240103000000.log", "20240305060708");
  WriteDlTime(copies + "/notes.txt", "20240305060709");

  EXPECT_EQ(FindDownloadRecord(dir.path(), kPort, current, StampedAt({2024, 1, 2, 3, 4, 5})),
            current);
  EXPECT_EQ(FindDownloadRecord(dir.path(), kPort, current, StampedAt({2024, 3, 5, 6, 7, 8})),
            copies + "/COMLog-20240102000000.log");
  EXPECT_EQ(FindDownloadRecord(dir.path(), kPort, current, StampedAt({2024, 3, 5, 6, 7, 9})),
            current);
  // Without a current record the copies are still searched; another port
  // has none.
  EXPECT_EQ(FindDownloadRecord(dir.path(), kPort, "", StampedAt({2024, 3, 5, 6, 7, 8})),
            copies + "/COMLog-20240102000000.log");
  EXPECT_EQ(FindDownloadRecord(dir.path(), 8, "", StampedAt({2024, 3, 5, 6, 7, 8})), "");
}

// One area of a three-image set against a record written by the download
// that stamped the terminal's header.
class ResumeArea : public ::testing::Test {
 protected:
  ResumeArea() {
    file_.dataVersion = 0x230;
    file_.dataSize = 0x400;
    file_.model = {'T', 'V', '8'};
    file_.name = {'P', 'a', 'r', 'a'};
    device_ = file_;
    SetTimeStamp(device_, link::TimeStamp{2024, 1, 2, 3, 4, 5});
    device_.integrity = kAreaIntact;
    WriteDlTime(path_, "20240102030405");
  }
  void Keys(const char* one, const char* two, const char* three) const {
    CIni ini(path_);
    ini.WriteString(kRecordSection, "1.dat", one);
    ini.WriteString(kRecordSection, "2.dat", two);
    ini.WriteString(kRecordSection, "3.dat", three);
  }
  int Check(std::size_t index, std::size_t requisiteNum = 3) const {
    return static_cast<int>(CheckResumeArea(file_, device_, index, path_, requisiteNum).result);
  }

  TempDir dir;
  std::string path_ = dir / "COMLog-20240102030405.log";
  ParaHeader file_;
  ParaHeader device_;
};

TEST_F(ResumeArea, WrittenAreaCountsOnlyWhenIntactAndTheSameData) {
  Keys("1", "0", "0");
  EXPECT_EQ(Check(0), 1);
  device_.integrity = 0;  // the key says written, the terminal says broken
  EXPECT_EQ(Check(0), 0);
  device_.integrity = kAreaIntact;

  const ParaHeader same = device_;
  device_.name = {'P', 'a', 'r', 'a', 0, 'x'};  // after the zero byte: not compared
  EXPECT_EQ(Check(0), 1);
  device_.dataVersion = 0x231;
  EXPECT_EQ(Check(0), 0);
  device_ = same;
  device_.dataSize = 0x401;
  EXPECT_EQ(Check(0), 0);
  device_ = same;
  device_.model = {'T', 'V', '9'};
  EXPECT_EQ(Check(0), 0);
  device_ = same;
  device_.second = 6;  // stamped by another download than this record's
  EXPECT_EQ(Check(0), 0);
  device_ = same;
  Keys("0x1", "0", "0");  // values read with automatic base
  EXPECT_EQ(Check(0), 1);
}

TEST_F(ResumeArea, OpenAreasDependOnBeingTheFirstOpenAndTheLastOne) {
  Keys("1", "1", "0");  // the last area is the first open one
  EXPECT_EQ(Check(2), 2);
  device_.integrity = 0;
  EXPECT_EQ(Check(2), 1);
  device_ = file_;
  device_.integrity = kAreaIntact;

  Keys("0", "0", "0");
  device_.second = 6;      // intact data this record did not write
  EXPECT_EQ(Check(0), 0);  // nothing written yet: it may be another terminal
  EXPECT_EQ(Check(1), 1);  // not the first open area
  device_.integrity = 0xFFFF;
  EXPECT_EQ(Check(0), 1);  // half written by the download

  // Every key of a two-image set written: the first open index is 0, so an
  // area past the set counts as one to skip.
  device_ = file_;
  device_.integrity = kAreaIntact;
  Keys("1", "1", "0");
  EXPECT_EQ(Check(2, 2), 1);
}

// The download stopped between two areas, or after an area's last block
// but before its key was written: the terminal's intact first open area is
// part of the interrupted download, never a reason to give the record up
// (a fresh upgrade would read back data that is half new, half old).
TEST_F(ResumeArea, AnIntactFirstOpenAreaAfterWrittenAreasResumes) {
  Keys("1", "0", "0");
  EXPECT_EQ(Check(1), 1);  // its last block went in, the key did not
  device_.dataVersion = 0x100;
  device_.second = 6;
  EXPECT_EQ(Check(1), 1);  // still the terminal's old data: not begun yet
  Keys("1", "1", "0");
  EXPECT_EQ(Check(2), 1);  // the same for the last area
  Keys("0", "0", "0");
  EXPECT_EQ(Check(0), 0);  // nothing proves the terminal is this record's
  device_ = file_;
  device_.integrity = kAreaIntact;
  SetTimeStamp(device_, link::TimeStamp{2024, 1, 2, 3, 4, 5});
  EXPECT_EQ(Check(0), 1);  // area 1 carries this record's own data
}

TEST_F(ResumeArea, MissingKeysAndRecordReadAsZeroAndEmpty) {
  device_.second = 6;      // data of another download
  EXPECT_EQ(Check(0), 0);  // no data keys: 1.dat is the first open area
  EXPECT_EQ(Check(1), 1);
  device_.second = 5;
  // A record that is not there has no DlTime: never the same data.
  EXPECT_EQ(CheckResumeArea(file_, device_, 0, dir / "none.log", 1).result,
            ResumeAreaVerdict::kMismatch);
  EXPECT_EQ(CheckResumeArea(file_, device_, 0, path_, 1).result,
            ResumeAreaVerdict::kAlreadyComplete);
}

TEST(RecordShape, KeyCountDoneCountAndTheDataFolder) {
  TempDir dir;
  const std::string path = dir / "COMLog-20240102030405.log";
  EXPECT_EQ(ReadRecordShape(path, 5).keyCount, 0u);  // no record: no keys
  EXPECT_EQ(ReadRecordShape(path, 5).paraPath, "0");
  DownloadRecord r =
      CreateDownloadRecord(dir.path(), kPort, Start(), "/data/set", ParaForm::kFlash, 5);
  ASSERT_TRUE(r.result.ok());
  WriteDownloadRecordKey(r.paths, "2.dat", "1");
  WriteDownloadRecordKey(r.paths, "4.dat", "0x1");
  RecordShape shape = ReadRecordShape(r.paths.record, 5);
  EXPECT_EQ(shape.keyCount, 7u);
  EXPECT_EQ(shape.doneCount, 2u);
  EXPECT_EQ(shape.paraPath, "/data/set");
  EXPECT_EQ(shape.keyLines, "\r\n1.dat=0\r\n2.dat=1\r\n3.dat=0\r\n4.dat=0x1\r\n5.dat=0");
  EXPECT_TRUE(shape.Usable(ParaForm::kFlash, 5));
  EXPECT_FALSE(shape.Usable(ParaForm::kE2prom, 5));
  // Six keys are too few for a five-image set; a set of three needs five.
  CIni(path).WriteString(kRecordSection, "DlTime", "1");
  for (const char* key : {"ParaPath", "1.dat", "2.dat", "3.dat"})
    CIni(path).WriteString(kRecordSection, key, "0");
  EXPECT_FALSE(ReadRecordShape(path, 5).Usable(ParaForm::kFlash, 5));
  EXPECT_TRUE(ReadRecordShape(path, 3).Usable(ParaForm::kFlash, 3));
  CIni(path).WriteString(kRecordSection, "4.dat", "0");
  EXPECT_FALSE(ReadRecordShape(path, 5).Usable(ParaForm::kFlash, 5));

  DownloadRecord e2 =
      CreateDownloadRecord(dir.path(), 9, Start(), "/data/e2", ParaForm::kE2prom, 5);
  ASSERT_TRUE(e2.result.ok());
  shape = ReadRecordShape(e2.paths.record, 5);
  EXPECT_EQ(shape.keyCount, 3u);
  EXPECT_EQ(shape.doneCount, 0u);
  EXPECT_EQ(shape.keyLines, "");
  EXPECT_TRUE(shape.Usable(ParaForm::kE2prom, 5));
  EXPECT_FALSE(shape.Usable(ParaForm::kFlash, 5));
  WriteDownloadRecordKey(e2.paths, "E2.dat", "1");
  EXPECT_EQ(ReadRecordShape(e2.paths.record, 5).doneCount, 1u);

  // A one-image Flash set has as few keys as an E2PROM record; its image's
  // key still counts (found by the fault campaign).
  DownloadRecord one =
      CreateDownloadRecord(dir.path(), 11, Start(), "/data/one", ParaForm::kFlash, 1);
  ASSERT_TRUE(one.result.ok());
  WriteDownloadRecordKey(one.paths, "1.dat", "1");
  shape = ReadRecordShape(one.paths.record, 1);
  EXPECT_EQ(shape.keyCount, 3u);
  EXPECT_EQ(shape.doneCount, 1u);
  EXPECT_EQ(shape.keyLines, "\r\n1.dat=1");
  EXPECT_TRUE(shape.Usable(ParaForm::kFlash, 1));
}

TEST(RecordShape, RecordAndCopyAreFoundFromEitherPath) {
  const DownloadRecordPaths fromRecord =
      RecordPathsOf("/p", 7, "/p/Backup/TAVR7/COMLog-20240102030405.log");
  EXPECT_EQ(fromRecord.record, "/p/Backup/TAVR7/COMLog-20240102030405.log");
  EXPECT_EQ(fromRecord.copy, "/p/Backup/TAVR7/COMLog/COMLog-20240102030405.log");
  const DownloadRecordPaths fromCopy = RecordPathsOf("/p", 7, fromRecord.copy);
  EXPECT_EQ(fromCopy.record, fromRecord.record);
  EXPECT_EQ(fromCopy.copy, fromRecord.copy);
}

TEST(RecordTime, TextGivesTheInstantItWasFormattedFrom) {
  const std::time_t start = Start();
  EXPECT_EQ(link::ParseTimeStampText("20240102030405"), start);
  EXPECT_EQ(
      link::FormatTimeStamp(link::LocalTimeStamp(*link::ParseTimeStampText("20241231235959"))),
      "20241231235959");
  for (const char* bad : {"", "2024010203040", "202401020304050", "2024010203040x",
                          "20240231030405", "20240102250405", "-0240102030405"})
    EXPECT_FALSE(link::ParseTimeStampText(bad).has_value()) << bad;
}

TEST_F(ResumeArea, LogLineShowsTheTerminalsAreaInHex) {
  device_.dataSize = 0x1F4;
  device_.model = {'T', 0, 'V'};
  device_.name = {0, 'N', 'm'};
  EXPECT_EQ(CheckResumeArea(file_, device_, 9, path_, 3).logLine,
            "\r\na.dat_intg=1_ver=230_size=1f4_prd=TV_name=Nm_time=20240102030405");
  device_.name = {};
  device_.model = {};
  SetTimeStamp(device_, link::kUnreadableTime);
  EXPECT_EQ(CheckResumeArea(file_, device_, 0, path_, 3).logLine,
            "\r\n1.dat_intg=1_ver=230_size=1f4_prd=_name=_time=00000000255255255");
}

}  // namespace
}  // namespace tavro::data
