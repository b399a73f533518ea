#pragma once
// A restore point: what one operation saved at one time. Its data backup
// folder Backup/TAVR<n>/Data/<data version>/<stamp>[-Bak...] and, when there
// is one, the App backup Backup/TAVR<n>/SW/<App version>/<stamp>/<file> of
// the same stamp. Nothing in a backup folder is trusted: a folder given by
// the user is resolved (links and ".." followed) and must stay inside the
// program directory's Backup tree; files are used only when they are plain
// names of regular files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavro::data {

struct RestorePoint {
  std::string dataFolder;              // absolute, links resolved
  std::string portFolder;              // "TAVR<n>"
  std::string folderVersion;           // the <data version> folder it lies in
  std::string stamp;                   // "%Y%m%d%H%M%S" of the operation that saved it
  std::optional<std::string> appFile;  // the App backup of the same stamp
  std::string appFolderVersion;        // the <App version> folder of appFile
  bool hasFlashImages = false;         // 1.dat is there
  bool hasE2Image = false;             // E2.dat is there
};

enum class RestoreFolderCheck {
  kOk,
  kOutsideBackup,   // not under <programDir>/Backup once links and ".." are resolved
  kNotADataBackup,  // not Backup/TAVR<n>/Data/<version>/<stamp>[-Bak...]
};

struct RestoreFolder {
  RestoreFolderCheck check = RestoreFolderCheck::kNotADataBackup;
  RestorePoint point;
};

// The folder the technician chose, checked and paired with its App backup.
RestoreFolder ResolveRestorePoint(const std::string& programDir, const std::string& folder);

// Every restore point under <programDir>/Backup, newest first (by stamp,
// then by folder).
std::vector<RestorePoint> ListRestorePoints(const std::string& programDir);

// What a listing tells of a restore point without a terminal to check it
// against: the data version its first image's header gives, and whether
// its files are whole (Flash images 1.dat... of one data version, each with
// its header block; or an E2.dat of exactly 65,536 bytes; and the App
// backup with its descriptor block).
struct RestorePointSummary {
  std::optional<std::uint32_t> dataVersion;
  bool complete = false;
};
RestorePointSummary SummarizeRestorePoint(const RestorePoint& point);

// The size of `folder`/`name` when `name` is a plain name of a regular file
// (a link is not one); none otherwise.
std::optional<std::uint64_t> RegularFileSize(const std::string& folder, const std::string& name);

// The images of a Flash set as the folder holds them: 1.dat, 2.dat ... up
// to the first number missing.
std::size_t FlashImageCount(const std::string& folder);

}  // namespace tavro::data
