#include "data/download_record.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/number_parse.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

namespace {

constexpr const char* kRecordCopyFolder = "/COMLog";

std::string RecordName(const std::string& timeText) {
  return "COMLog-" + timeText + ".log";
}

// Creates one record file: empty, then every key in order, then the
// terminal's section when there is anything to say in it.
bool WriteRecord(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& keys,
                 const std::string& dataTimeBefore) {
  if (!WriteFileAtomic(path, {}))
    return false;
  CIni ini(path);
  for (const auto& [key, value] : keys) {
    if (!ini.WriteString(kRecordSection, key, value))
      return false;
  }
  return dataTimeBefore.empty() ||
         ini.WriteString(kRecordTerminalSection, kRecordDataTimeBeforeKey, dataTimeBefore);
}

std::uint32_t ReadNumber(const CIni& ini, const std::string& key) {
  return ParseAutoBase(ini.GetString(kRecordSection, key, "0"));
}

}  // namespace

DownloadRecord CreateDownloadRecord(const std::string& programDir, std::uint32_t comPort,
                                    std::time_t operationTime, const std::string& paraPath,
                                    ParaForm form, std::size_t requisiteNum,
                                    const std::string& dataTimeBefore) {
  DownloadRecord out;
  out.timeText = link::FormatTimeStamp(link::LocalTimeStamp(operationTime));
  const std::string folder = PortBackupFolder(programDir, comPort);
  const std::string copyFolder = folder + kRecordCopyFolder;
  out.paths.record = folder + "/" + RecordName(out.timeText);
  out.paths.copy = copyFolder + "/" + RecordName(out.timeText);

  std::vector<std::pair<std::string, std::string>> keys = {{kRecordTimeKey, out.timeText},
                                                           {kRecordParaPathKey, paraPath}};
  if (form == ParaForm::kE2prom) {
    keys.emplace_back(kE2ImageName, "0");
  } else {
    for (std::size_t k = 1; k <= requisiteNum; ++k)
      keys.emplace_back(FlashImageName(k), "0");
  }

  if (!CreateFolders(folder)) {
    out.result = FileResult{FileError::kWriteFailed, folder};
    return out;
  }
  if (!WriteRecord(out.paths.record, keys, dataTimeBefore)) {
    RemoveFile(out.paths.record);
    out.result = FileResult{FileError::kWriteFailed, out.paths.record};
    return out;
  }
  if (!CreateFolder(copyFolder) || !WriteRecord(out.paths.copy, keys, dataTimeBefore)) {
    RemoveFile(out.paths.copy);
    RemoveFile(out.paths.record);
    out.result = FileResult{FileError::kWriteFailed, out.paths.copy};
    return out;
  }
  out.result = FileResult{FileError::kNone, out.paths.record};
  return out;
}

std::optional<std::string> RecordDataTimeBefore(const std::string& recordPath) {
  const std::string value =
      CIni(recordPath).GetString(kRecordTerminalSection, kRecordDataTimeBeforeKey, "");
  if (value.empty())
    return std::nullopt;
  return value;
}

bool MarkRecordMovesToE2prom(const DownloadRecordPaths& paths) {
  const bool recordOk =
      CIni(paths.record).WriteString(kRecordTerminalSection, kRecordMovesToE2promKey, "1");
  const bool copyOk =
      CIni(paths.copy).WriteString(kRecordTerminalSection, kRecordMovesToE2promKey, "1");
  return recordOk && copyOk;
}

bool RecordMovesToE2prom(const std::string& recordPath) {
  return CIni(recordPath).GetString(kRecordTerminalSection, kRecordMovesToE2promKey, "") == "1";
}

bool WriteDownloadRecordKey(const DownloadRecordPaths& paths, std::string_view key,
                            std::string_view value) {
  CIni record(paths.record);
  CIni copy(paths.copy);
  const bool recordOk = record.WriteString(kRecordSection, key, value);
  const bool copyOk = copy.WriteString(kRecordSection, key, value);
  return recordOk && copyOk;
}

std::string FindDownloadRecord(const std::string& programDir, std::uint32_t comPort,
                               const std::string& currentRecordPath,
                               const ParaHeader& deviceHeader) {
  const std::string wanted = TimeText(deviceHeader);
  if (CIni(currentRecordPath).GetString(kRecordSection, kRecordTimeKey, "") == wanted)
    return currentRecordPath;
  const std::string folder = PortBackupFolder(programDir, comPort) + kRecordCopyFolder;
  for (const std::string& name : ListFiles(folder, "*.log")) {
    const std::string path = folder + "/" + name;
    if (CIni(path).GetString(kRecordSection, kRecordTimeKey, "") == wanted)
      return path;
  }
  return currentRecordPath;
}

ResumeAreaCheck CheckResumeArea(const ParaHeader& fileHeader, const ParaHeader& deviceHeader,
                                std::size_t index, const std::string& recordPath,
                                std::size_t requisiteNum) {
  const CIni record(recordPath);
  std::size_t firstOpen = 0;
  for (std::size_t k = 1; k <= requisiteNum; ++k) {
    if (ReadNumber(record, FlashImageName(k)) == 0) {
      firstOpen = k - 1;
      break;
    }
  }
  const std::uint32_t done = ReadNumber(record, FlashImageName(index + 1));
  const std::string recordTime = record.GetString(kRecordSection, kRecordTimeKey, "");
  const std::string deviceTime = TimeText(deviceHeader);

  const bool same = deviceHeader.dataVersion == fileHeader.dataVersion &&
                    deviceHeader.dataSize == fileHeader.dataSize &&
                    SameModelAndName(deviceHeader, fileHeader) && recordTime == deviceTime;
  const bool intact = deviceHeader.integrity == kAreaIntact;

  ResumeAreaCheck out;
  char head[96];
  std::snprintf(head, sizeof head, "\r\n%zx.dat_intg=%x_ver=%x_size=%x", index + 1,
                unsigned{deviceHeader.integrity}, unsigned{deviceHeader.dataVersion},
                unsigned{deviceHeader.dataSize});
  out.logLine = head;
  out.logLine += "_prd=" + NonZeroText(deviceHeader.model);
  out.logLine += "_name=" + NonZeroText(deviceHeader.name);
  out.logLine += "_time=" + deviceTime;

  // An intact first open area is the download's own when it carries this
  // record's data (its last block went in, the key was not written yet), and
  // the terminal's untouched data when earlier areas were written: the resume
  // check has proven those to be this record's, so this is the terminal the
  // record belongs to and the download stopped between two areas. Only with
  // nothing written yet can an intact area not tell this terminal from
  // another one on the same port.
  const bool ownedOpenArea = same || firstOpen > 0;
  using enum ResumeAreaVerdict;
  if (done != 0) {
    out.result = intact && same ? kFits : kMismatch;
  } else if (index + 1 == requisiteNum && index == firstOpen) {
    out.result = !intact ? kFits : same ? kAlreadyComplete : ownedOpenArea ? kFits : kMismatch;
  } else {
    out.result = !intact ? kFits : index == firstOpen && !ownedOpenArea ? kMismatch : kFits;
  }
  return out;
}

RecordShape ReadRecordShape(const std::string& recordPath, std::size_t requisiteNum) {
  const CIni record(recordPath);
  RecordShape shape;
  shape.keyCount = record.GetKeyNames(kRecordSection).size();
  shape.paraPath = record.GetString(kRecordSection, kRecordParaPathKey, "0");
  // A Flash record of a one-image set has no more keys than an E2PROM
  // record; its data key tells it apart.
  const bool flash =
      shape.keyCount > 3 || record.GetString(kRecordSection, FlashImageName(1), "").size() > 0;
  if (flash) {
    for (std::size_t k = 1; k <= requisiteNum; ++k) {
      const std::string key = FlashImageName(k);
      const std::string value = record.GetString(kRecordSection, key, "0");
      shape.doneCount += ParseAutoBase(value);
      shape.keyLines += "\r\n" + key + "=" + value;
    }
  } else {
    shape.doneCount = ReadNumber(record, kE2ImageName);
  }
  return shape;
}

bool RecordShape::Usable(ParaForm form, std::size_t requisiteNum) const {
  if (form == ParaForm::kE2prom)
    return keyCount <= 3;
  // "DlTime", "ParaPath" and the data keys; a set of fewer than five images
  // has fewer keys.
  return keyCount >= 2 + std::min<std::size_t>(std::max<std::size_t>(requisiteNum, 1), 5);
}

DownloadRecordPaths RecordPathsOf(const std::string& programDir, std::uint32_t comPort,
                                  const std::string& recordPath) {
  const std::string folder = PortBackupFolder(programDir, comPort);
  const std::string name = recordPath.substr(recordPath.rfind('/') + 1);
  return {folder + "/" + name, folder + kRecordCopyFolder + "/" + name};
}

}  // namespace tavro::data
