#pragma once
// The download record: a private-profile file Backup/TAVR<n>/COMLog-<time>.log
// with its copy in Backup/TAVR<n>/COMLog/, remembering which parameter images
// a download had already written, so an interrupted download can resume.
// Section "Para": "DlTime" (the record's time text), "ParaPath" (the data
// folder in use), then "E2.dat" or "1.dat" ... "N.dat", "0" until written.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "data/backup_tree.hpp"
#include "data/file_result.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"

namespace tavro::data {

inline constexpr const char* kRecordSection = "Para";
inline constexpr const char* kRecordTimeKey = "DlTime";
inline constexpr const char* kRecordParaPathKey = "ParaPath";
// Our own section beside "Para", so that the key count of "Para" stays what
// every reader of a record expects: what the terminal held before the
// download began.
inline constexpr const char* kRecordTerminalSection = "Terminal";
inline constexpr const char* kRecordDataTimeBeforeKey = "DataTimeBefore";
// "1" when the download moves the terminal's data from its Flash areas to
// the E2PROM: the record's keys are those of Flash data, its data set is an
// E2PROM image.
inline constexpr const char* kRecordMovesToE2promKey = "MovesToE2prom";

// The "ParaPath" of a record whose download sends no parameter data.
inline constexpr const char* kRecordNoDataSet = "NoDlPara";

struct DownloadRecordPaths {
  std::string record;
  std::string copy;
};

struct DownloadRecord {
  FileResult result;  // on failure the file or folder that could not be written
  DownloadRecordPaths paths;
  std::string timeText;  // "DlTime", as in the file names
};

// Creates the record and its copy for a download started at `operationTime`
// (local time, "%Y%m%d%H%M%S"; the same text as the time stamp the download
// writes into the headers, so FindDownloadRecord can match it). Writes
// "DlTime", "ParaPath" and "E2.dat" = "0" for kE2prom or "1.dat" ...
// "<requisiteNum>.dat" = "0" for kFlash. A file that exists with that name
// is replaced. When any write fails the files created are removed again, so
// no record without its data keys is left behind. A non-empty
// `dataTimeBefore` (the time stamp of the terminal's data as read before the
// download) goes into section "Terminal".
DownloadRecord CreateDownloadRecord(const std::string& programDir, std::uint32_t comPort,
                                    std::time_t operationTime, const std::string& paraPath,
                                    ParaForm form, std::size_t requisiteNum,
                                    const std::string& dataTimeBefore = {});

// The terminal's data time stamp from before the download, when the record
// has one (records written before it was kept have none).
std::optional<std::string> RecordDataTimeBefore(const std::string& recordPath);

// Marks the record and its copy as those of a move of the data to the
// E2PROM; false when either write failed.
bool MarkRecordMovesToE2prom(const DownloadRecordPaths& paths);
bool RecordMovesToE2prom(const std::string& recordPath);

// Writes key = value in section "Para" of the record and of its copy. Both
// are tried; false when either write failed.
bool WriteDownloadRecordKey(const DownloadRecordPaths& paths, std::string_view key,
                            std::string_view value);

// The record whose "DlTime" equals the time text of the terminal's header:
// the current record when it matches, else the first matching file of
// Backup/TAVR<n>/COMLog in listing order, else the current record.
std::string FindDownloadRecord(const std::string& programDir, std::uint32_t comPort,
                               const std::string& currentRecordPath,
                               const ParaHeader& deviceHeader);

// What one Flash area tells the resume check.
enum class ResumeAreaVerdict {
  kMismatch = 0,         // the terminal and the record disagree
  kFits = 1,             // the area is as the interrupted download left it
  kAlreadyComplete = 2,  // the last area went in: nothing is left to resume
};

struct ResumeAreaCheck {
  ResumeAreaVerdict result = ResumeAreaVerdict::kMismatch;
  // "\r\n<n>.dat_intg=..._ver=..._size=..._prd=..._name=..._time=...", the
  // debug line about the terminal's area, for the caller to log.
  std::string logLine;
};

// Compares Flash area `index` (0-based) of the terminal with the initial
// image of the same number against the record at `recordPath`, for a data
// set of `requisiteNum` images.
ResumeAreaCheck CheckResumeArea(const ParaHeader& fileHeader, const ParaHeader& deviceHeader,
                                std::size_t index, const std::string& recordPath,
                                std::size_t requisiteNum);

// What the upgrade's resume check reads from a record before it trusts it.
struct RecordShape {
  std::size_t keyCount = 0;     // keys of section "Para"
  std::uint32_t doneCount = 0;  // images marked written (the sum of the data keys)
  std::string paraPath;         // "ParaPath", "0" when missing
  // "\r\n<n>.dat=<value>" for each Flash data key read, for the run log.
  std::string keyLines;

  // Whether the keys fit a record of that form: at most "DlTime",
  // "ParaPath" and "E2.dat" for E2PROM data; for Flash data "DlTime",
  // "ParaPath" and at least five data keys (all of them for a smaller set).
  bool Usable(ParaForm form, std::size_t requisiteNum) const;
};

// Reads the shape of the record at `recordPath` for a set of `requisiteNum`
// Flash images: with more than three keys the Flash data keys are summed,
// else "E2.dat" is the done count.
RecordShape ReadRecordShape(const std::string& recordPath, std::size_t requisiteNum);

// The record and its copy of the same name, wherever `recordPath` (either
// of them) lies.
DownloadRecordPaths RecordPathsOf(const std::string& programDir, std::uint32_t comPort,
                                  const std::string& recordPath);

}  // namespace tavro::data
