#include "data/restore_point.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "data/utf8_path.hpp"

namespace tavro::data {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kStampLength = 14;

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool IsPortFolderName(const std::string& name) {
  return name.size() > 4 && name.compare(0, 4, "TAVR") == 0 && AllDigits(name.substr(4));
}

// "<stamp>" or "<stamp>-Bak", "<stamp>-Bak-Bak" ...: the stamp, else none.
std::optional<std::string> StampOfDataFolder(const std::string& name) {
  if (name.size() < kStampLength)
    return std::nullopt;
  const std::string stamp = name.substr(0, kStampLength);
  if (!AllDigits(stamp))
    return std::nullopt;
  for (std::size_t at = kStampLength; at < name.size(); at += 4) {
    if (name.compare(at, 4, "-Bak") != 0)
      return std::nullopt;
  }
  return stamp;
}

// Paths inside the program are UTF-8 with "/" between the names, also
// where the system's own functions (canonical) give backslashes.
std::string PathText(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// A real folder, not a link to one.
bool IsRealFolder(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

std::vector<std::string> RealFolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8Of(it->path().filename());
    if (IsPlainFileName(name) && IsRealFolder(it->path()))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The App backup of `stamp` beside the data: the first regular file of
// SW/<version>/<stamp>, in name order, over the versions in name order.
void PairWithApp(const fs::path& portFolder, RestorePoint& point) {
  const fs::path sw = portFolder / "SW";
  for (const std::string& version : RealFolderNames(sw)) {
    const fs::path folder = sw / Utf8Path(version) / Utf8Path(point.stamp);
    if (!IsRealFolder(folder))
      continue;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = Utf8Of(it->path().filename());
      if (RegularFileSize(Utf8Of(folder), name))
        files.push_back(name);
    }
    if (files.empty())
      continue;
    std::sort(files.begin(), files.end());
    point.appFile = PathText(folder / Utf8Path(files.front()));
    point.appFolderVersion = version;
    return;
  }
}

RestorePoint PointAt(const fs::path& portFolder, const std::string& version,
                     const std::string& name, const std::string& stamp) {
  RestorePoint point;
  const fs::path folder = portFolder / "Data" / Utf8Path(version) / Utf8Path(name);
  point.dataFolder = PathText(folder);
  point.portFolder = Utf8Of(portFolder.filename());
  point.folderVersion = version;
  point.stamp = stamp;
  point.hasFlashImages = RegularFileSize(point.dataFolder, FlashImageName(1)).has_value();
  point.hasE2Image = RegularFileSize(point.dataFolder, kE2ImageName).has_value();
  PairWithApp(portFolder, point);
  return point;
}

RestorePointSummary SummarizeFlash(const std::string& folder) {
  RestorePointSummary summary;
  const std::size_t count = FlashImageCount(folder);
  summary.complete = count > 0;
  for (std::size_t k = 1; k <= count; ++k) {
    const FlashImageHeader image = ReadFlashImageHeaderIn(folder, k - 1);
    if (!image.result.ok()) {
      summary.complete = false;
      continue;
    }
    if (!summary.dataVersion)
      summary.dataVersion = image.header.dataVersion;
    else if (*summary.dataVersion != image.header.dataVersion)
      summary.complete = false;
  }
  return summary;
}

RestorePointSummary SummarizeE2(const std::string& folder) {
  RestorePointSummary summary;
  const std::optional<std::uint64_t> size = RegularFileSize(folder, kE2ImageName);
  if (!size || *size != kE2ImageSize)
    return summary;
  const auto bytes = ReadWholeFile(folder + "/" + kE2ImageName);
  const auto header = bytes ? DecodeE2Header(*bytes) : std::nullopt;
  if (!header)
    return summary;
  summary.dataVersion = header->dataVersion;
  summary.complete = true;
  return summary;
}

}  // namespace

RestorePointSummary SummarizeRestorePoint(const RestorePoint& point) {
  RestorePointSummary summary =
      point.hasFlashImages ? SummarizeFlash(point.dataFolder) : SummarizeE2(point.dataFolder);
  if (point.appFile) {
    const std::optional<std::uint64_t> size = FileSize(*point.appFile);
    if (!size || *size == 0)
      summary.complete = false;
  }
  return summary;
}

std::optional<std::uint64_t> RegularFileSize(const std::string& folder, const std::string& name) {
  if (!IsPlainFileName(name))
    return std::nullopt;
  const fs::path path = Utf8Path(folder) / Utf8Path(name);
  std::error_code ec;
  if (fs::symlink_status(path, ec).type() != fs::file_type::regular)
    return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec)
    return std::nullopt;
  return static_cast<std::uint64_t>(size);
}

std::size_t FlashImageCount(const std::string& folder) {
  std::size_t count = 0;
  while (count < 99 && RegularFileSize(folder, FlashImageName(count + 1)))
    ++count;
  return count;
}

RestoreFolder ResolveRestorePoint(const std::string& programDir, const std::string& folder) {
  RestoreFolder result;
  std::error_code ec;
  const fs::path root = fs::canonical(Utf8Path(programDir) / "Backup", ec);
  if (ec) {
    result.check = RestoreFolderCheck::kOutsideBackup;
    return result;
  }
  const fs::path given = fs::canonical(Utf8Path(folder), ec);
  if (ec) {
    // Not there at all: where it would lie decides the answer.
    const fs::path plain = fs::absolute(Utf8Path(folder), ec).lexically_normal();
    const fs::path rel = plain.lexically_relative(root);
    result.check = rel.empty() || *rel.begin() == ".." ? RestoreFolderCheck::kOutsideBackup
                                                       : RestoreFolderCheck::kNotADataBackup;
    return result;
  }
  const fs::path rel = given.lexically_relative(root);
  if (rel.empty() || rel.is_absolute() || *rel.begin() == ".." || *rel.begin() == ".") {
    result.check = RestoreFolderCheck::kOutsideBackup;
    return result;
  }
  std::vector<std::string> parts;
  for (const fs::path& part : rel)
    parts.push_back(Utf8Of(part));
  result.check = RestoreFolderCheck::kNotADataBackup;
  if (parts.size() != 4 || !IsPortFolderName(parts[0]) || parts[1] != "Data" ||
      !IsPlainFileName(parts[2]) || !fs::is_directory(given, ec))
    return result;
  const std::optional<std::string> stamp = StampOfDataFolder(parts[3]);
  if (!stamp)
    return result;
  result.check = RestoreFolderCheck::kOk;
  result.point = PointAt(root / Utf8Path(parts[0]), parts[2], parts[3], *stamp);
  return result;
}

std::vector<RestorePoint> ListRestorePoints(const std::string& programDir) {
  std::vector<RestorePoint> points;
  const fs::path root = Utf8Path(programDir) / "Backup";
  for (const std::string& port : RealFolderNames(root)) {
    if (!IsPortFolderName(port))
      continue;
    const fs::path portFolder = root / Utf8Path(port);
    const fs::path data = portFolder / "Data";
    for (const std::string& version : RealFolderNames(data)) {
      for (const std::string& name : RealFolderNames(data / Utf8Path(version))) {
        if (const std::optional<std::string> stamp = StampOfDataFolder(name))
          points.push_back(PointAt(portFolder, version, name, *stamp));
      }
    }
  }
  std::sort(points.begin(), points.end(), [](const RestorePoint& a, const RestorePoint& b) {
    if (a.stamp != b.stamp)
      return a.stamp > b.stamp;
    return a.dataFolder > b.dataFolder;
  });
  return points;
}

}  // namespace tavro::data
