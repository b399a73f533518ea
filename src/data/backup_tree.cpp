#include "data/backup_tree.hpp"

#include "data/file_io.hpp"
#include "data/package.hpp"

namespace tavro::data {
namespace {

// Creates `parent`/`name` and returns its path; an existing folder counts.
std::optional<std::string> Level(const std::string& parent, const std::string& name) {
  if (!IsPlainFileName(name))
    return std::nullopt;
  std::string path = parent + "/" + name;
  if (!CreateFolder(path))
    return std::nullopt;
  return path;
}

std::optional<std::string> Levels(std::string path, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::optional<std::string> next = Level(path, name);
    if (!next)
      return std::nullopt;
    path = *next;
  }
  return path;
}

}  // namespace

std::string PortBackupFolder(const std::string& programDir, std::uint32_t comPort) {
  return programDir + "/Backup/TAVR" + std::to_string(comPort);
}

std::optional<std::string> CreateAppBackupFolder(const std::string& programDir,
                                                 std::uint32_t comPort,
                                                 const std::string& appVersion,
                                                 const std::string& stamp) {
  return Levels(programDir, {"Backup", "TAVR" + std::to_string(comPort), "SW", appVersion, stamp});
}

std::optional<DataBackupFolder> CreateDataBackupFolder(const std::string& programDir,
                                                       std::uint32_t comPort,
                                                       const std::string& paraVersion,
                                                       const std::string& stamp,
                                                       DataFolderNaming naming) {
  const std::optional<std::string> parent =
      Levels(programDir, {"Backup", "TAVR" + std::to_string(comPort), "Data", paraVersion});
  if (!parent || !IsPlainFileName(stamp))
    return std::nullopt;
  if (naming == DataFolderNaming::kReuseSameStamp) {
    const std::optional<std::string> path = Level(*parent, stamp);
    if (!path)
      return std::nullopt;
    return DataBackupFolder{stamp, *path};
  }
  std::string name = stamp;
  for (int attempt = 0; attempt < kMaxBackupSuffixes; ++attempt) {
    name += "-Bak";
    const std::string path = *parent + "/" + name;
    if (FileExists(path))
      continue;
    if (!CreateFolder(path))
      return std::nullopt;
    return DataBackupFolder{name, path};
  }
  return std::nullopt;
}

bool WriteVerifiedFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (!WriteFileAtomic(path, bytes))
    return false;
  const std::optional<std::vector<std::uint8_t>> back = ReadWholeFile(path);
  return back && *back == bytes;
}

}  // namespace tavro::data
