#include "data/restore_check.hpp"

#include <filesystem>
#include <vector>

#include "data/file_io.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"
#include "data/utf8_path.hpp"

namespace tavro::data {
namespace {

// Where the App image keeps its version (u32) and model (8 characters).
constexpr std::size_t kAppVersionOffset = 64;
constexpr std::size_t kAppModelOffset = 68;
// No terminal area comes near this; a larger file is not read at all.
constexpr std::uint64_t kLargestImage = 64u << 20;

RestoreCheck Refuse(RestoreRefusal why, std::string path) {
  RestoreCheck check;
  check.refusal = why;
  check.path = std::move(path);
  return check;
}

bool ModelDiffers(const RestoreTerminal& terminal, const std::string& model) {
  return !terminal.model.empty() && model != terminal.model;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder + "/" + name;
}

RestoreCheck CheckFlashSet(const RestorePoint& point, const RestoreTerminal& t) {
  const std::string& folder = point.dataFolder;
  if (!point.hasFlashImages && point.hasE2Image)
    return Refuse(RestoreRefusal::kOtherGeneration, Join(folder, kE2ImageName));
  const AreaTable& areas = *t.areas;
  const std::size_t files = std::min<std::size_t>(t.totalNum, kAppAreaIndex);
  RestoreCheck result;
  for (std::size_t i = 0; i < std::max(files, t.requisiteNum); ++i) {
    // The download sends the files the area table names; a set is made of
    // 1.dat, 2.dat ...: both must agree, or the set is not this terminal's.
    const std::string name = i < files ? areas[i].fileName : FlashImageName(i + 1);
    const std::string path = Join(folder, name);
    const std::optional<std::uint64_t> size = RegularFileSize(folder, name);
    if (!size) {
      // An optional image may be absent, but never a link or a folder.
      if (i < t.requisiteNum || FileExists(path))
        return Refuse(RestoreRefusal::kMissing, path);
      continue;
    }
    if (*size < kFlashImageHeaderSize)
      return Refuse(RestoreRefusal::kIncomplete, path);
    if (*size > kLargestImage)
      return Refuse(RestoreRefusal::kTooLarge, path);
    if (i < files) {
      if (const auto capacity = FlashAreaCapacity(areas, i); capacity && *size > *capacity)
        return Refuse(RestoreRefusal::kTooLarge, path);
    }
    const auto bytes = ReadWholeFile(path);
    const auto header = bytes ? DecodeParaHeader(*bytes) : std::nullopt;
    if (!header)
      return Refuse(RestoreRefusal::kIncomplete, path);
    if (ModelDiffers(t, FieldText(header->model)))
      return Refuse(RestoreRefusal::kModelDiffers, path);
    if (i == 0) {
      result.dataVersion = header->dataVersion;
    } else if (header->dataVersion != result.dataVersion) {
      // Images of two data versions are no one set.
      return Refuse(RestoreRefusal::kIncomplete, path);
    }
  }
  return result;
}

RestoreCheck CheckE2Image(const RestorePoint& point, const RestoreTerminal& t) {
  const std::string path = Join(point.dataFolder, kE2ImageName);
  const std::optional<std::uint64_t> size = RegularFileSize(point.dataFolder, kE2ImageName);
  if (!size) {
    if (point.hasFlashImages && !FileExists(path))
      return Refuse(RestoreRefusal::kOtherGeneration, Join(point.dataFolder, FlashImageName(1)));
    return Refuse(RestoreRefusal::kMissing, path);
  }
  if (*size < kE2ImageSize)
    return Refuse(RestoreRefusal::kIncomplete, path);
  if (*size > kE2ImageSize)
    return Refuse(RestoreRefusal::kTooLarge, path);
  const auto bytes = ReadWholeFile(path);
  const auto header = bytes ? DecodeE2Header(*bytes) : std::nullopt;
  if (!header)
    return Refuse(RestoreRefusal::kIncomplete, path);
  if (ModelDiffers(t, FieldText(header->model)))
    return Refuse(RestoreRefusal::kModelDiffers, path);
  RestoreCheck result;
  result.dataVersion = header->dataVersion;
  return result;
}

// The App backup: the image as the terminal kept it, the header bytes it
// keeps first, then the App with its version and model.
RestoreCheck CheckApp(const std::string& path, const RestoreTerminal& t) {
  const std::filesystem::path file = Utf8Path(path);
  const std::optional<std::uint64_t> size =
      RegularFileSize(Utf8Of(file.parent_path()), Utf8Of(file.filename()));
  if (!size)
    return Refuse(RestoreRefusal::kMissing, path);
  const std::size_t image = t.appHeaderOffset;
  if (*size < image + kAppModelOffset + kModelSize)
    return Refuse(RestoreRefusal::kIncomplete, path);
  const std::uint32_t capacity = (*t.areas)[kAppAreaIndex].areaLen;
  if (*size > kLargestImage || (capacity != 0 && *size > capacity))
    return Refuse(RestoreRefusal::kTooLarge, path);
  const auto bytes = ReadWholeFile(path);
  if (!bytes || bytes->size() != *size)
    return Refuse(RestoreRefusal::kIncomplete, path);
  const std::uint8_t* body = bytes->data() + image;
  const std::span<const std::uint8_t> model(body + kAppModelOffset, kModelSize);
  if (ModelDiffers(t, FieldText(model)))
    return Refuse(RestoreRefusal::kModelDiffers, path);
  RestoreCheck result;
  result.appVersion = link::GetU32(body + kAppVersionOffset);
  return result;
}

}  // namespace

std::optional<std::uint32_t> FlashAreaCapacity(const AreaTable& areas, std::size_t index) {
  const AreaEntry& area = areas[index];
  if (area.areaLen != 0 && area.areaLen <= area.areaAddr)
    return area.areaLen;
  std::optional<std::uint32_t> next;
  for (const AreaEntry& other : areas) {
    if (!other.present)
      continue;
    for (const std::uint32_t address : {other.areaAddr, other.areaLen}) {
      if (address > area.areaAddr && (!next || address < *next))
        next = address;
    }
  }
  if (!next)
    return std::nullopt;
  return *next - area.areaAddr;
}

RestoreCheck CheckRestorePoint(const RestorePoint& point, const RestoreTerminal& terminal) {
  constexpr std::uint16_t kE2promGeneration = 0x230;
  RestoreCheck data = terminal.blVersion >= kE2promGeneration ? CheckE2Image(point, terminal)
                                                              : CheckFlashSet(point, terminal);
  if (data.refusal != RestoreRefusal::kNone)
    return data;
  if (point.appFile) {
    const RestoreCheck app = CheckApp(*point.appFile, terminal);
    if (app.refusal != RestoreRefusal::kNone)
      return app;
    data.appVersion = app.appVersion;
    return data;
  }
  // Data alone never goes under an App of another data version.
  if (!terminal.dataVersion || *terminal.dataVersion != data.dataVersion)
    return Refuse(RestoreRefusal::kDataVersionDiffers, point.dataFolder);
  return data;
}

}  // namespace tavro::data
