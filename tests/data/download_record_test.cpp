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
    return CheckResumeArea(file_, device_, index, path_, requisiteNum).result;
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
  device_.dataVersion = 0;
  EXPECT_EQ(Check(2), 0);
  device_.integrity = 0;
  EXPECT_EQ(Check(2), 1);
  device_ = file_;
  device_.integrity = kAreaIntact;

  Keys("1", "0", "0");
  EXPECT_EQ(Check(1), 0);  // the first open area, intact
  EXPECT_EQ(Check(2), 1);  // the last area but not the first open one
  device_.integrity = 0xFFFF;
  EXPECT_EQ(Check(1), 1);

  // Every key of a two-image set written: the first open index is 0, so an
  // area past the set counts as one to skip.
  device_.integrity = kAreaIntact;
  Keys("1", "1", "0");
  EXPECT_EQ(Check(2, 2), 1);
}

TEST_F(ResumeArea, MissingKeysAndRecordReadAsZeroAndEmpty) {
  EXPECT_EQ(Check(0), 0);  // no data keys: 1.dat is the first open area
  EXPECT_EQ(Check(1), 1);
  // A record that is not there has no DlTime: never the same data.
  EXPECT_EQ(CheckResumeArea(file_, device_, 0, dir / "none.log", 1).result, 0);
  EXPECT_EQ(CheckResumeArea(file_, device_, 0, path_, 1).result, 2);
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
