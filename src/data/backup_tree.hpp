#pragma once
// The folders under Backup/TAVR<n> that the read-backs fill, and the one way
// a backup file is written: whole, then read back and compared.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavro::data {

// programDir/Backup/TAVR<comPort>.
std::string PortBackupFolder(const std::string& programDir, std::uint32_t comPort);

// Creates programDir/Backup/TAVR<n>/SW/<appVersion>/<stamp> one level after
// the other (an existing level is accepted); its path, or nullopt when a
// level cannot be made or a name is not a plain folder name.
std::optional<std::string> CreateAppBackupFolder(const std::string& programDir,
                                                 std::uint32_t comPort,
                                                 const std::string& appVersion,
                                                 const std::string& stamp);

// How the parameter backup folder under .../Data/<paraVersion> is named.
enum class DataFolderNaming {
  // The user's backup: <stamp>-Bak, or <stamp>-Bak-Bak and so on while the
  // name is taken, so no earlier backup is ever written into.
  kNewFolderEachTime,
  // The backup before a download: <stamp>; a folder of that name (the same
  // operation starting its read-back again) is reused.
  kReuseSameStamp,
};

struct DataBackupFolder {
  std::string name;  // stamp and suffix
  std::string path;
};

// At most this many "-Bak" suffixes are tried.
inline constexpr int kMaxBackupSuffixes = 64;

// Creates the parameter backup folder; nullopt when it cannot be made.
std::optional<DataBackupFolder> CreateDataBackupFolder(const std::string& programDir,
                                                       std::uint32_t comPort,
                                                       const std::string& paraVersion,
                                                       const std::string& stamp,
                                                       DataFolderNaming naming);

// Writes `bytes` to `path` whole (temporary name, flushed, renamed) and reads
// the file back: true only when it holds exactly `bytes`.
bool WriteVerifiedFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace tavro::data
