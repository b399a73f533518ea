#include "data/para_images.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "data/file_io.hpp"
#include "data/utf8_path.hpp"

namespace tavro::data {

namespace {

constexpr std::size_t SlotsTotal() {
  std::size_t total = 0;
  for (const E2Slot& s : kE2Slots)
    total += s.size;
  return total;
}
static_assert(kE2HeaderSize + SlotsTotal() == kE2ImageSize);

constexpr char kFolderSep = '/';

FileResult Fail(FileError error, std::string path) {
  return FileResult{error, std::move(path)};
}

}  // namespace

std::string FlashImageName(std::size_t number) {
  return std::to_string(number) + ".dat";
}

FlashImageHeader ReadFlashImageHeader(const std::string& programDir, std::size_t index) {
  return ReadFlashImageHeaderIn(programDir + kInitFlashFolder, index);
}

FlashImageHeader ReadFlashImageHeaderIn(const std::string& folder, std::size_t index) {
  FlashImageHeader out;
  out.result.path = folder + kFolderSep + FlashImageName(index + 1);
  const std::optional<std::uint64_t> size = FileSize(out.result.path);
  std::ifstream in(Utf8Path(out.result.path), std::ios::binary);
  if (!size || !in) {
    out.result.error = FileError::kNotExist;
    return out;
  }
  // A file without its whole header block is a truncated image: its DataSize
  // would be negative.
  constexpr std::uint64_t kMaxLength =
      std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + kFlashImageHeaderSize;
  std::array<std::uint8_t, kParaHeaderSize> bytes{};
  in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
  if (!in || *size < kFlashImageHeaderSize || *size > kMaxLength) {
    out.result.error = FileError::kReadInErr;
    return out;
  }
  const ParaHeader file = *DecodeParaHeader(bytes);
  out.header.integrity = file.integrity;
  out.header.dataVersion = file.dataVersion;
  out.header.model = file.model;
  out.header.name = file.name;
  out.header.dataSize = static_cast<std::uint32_t>(*size - kFlashImageHeaderSize);
  return out;
}

bool IsFlashSetComplete(const std::string& folder, std::size_t requisiteNum) {
  for (std::size_t k = 1; k <= requisiteNum; ++k) {
    const auto size = FileSize(folder + kFolderSep + FlashImageName(k));
    if (!size || *size < kFlashImageHeaderSize)
      return false;
  }
  return true;
}

bool IsE2ImageComplete(const std::string& folder) {
  const auto size = FileSize(folder + kFolderSep + kE2ImageName);
  return size && *size >= kE2ImageSize;
}

std::optional<E2Header> DecodeE2Header(link::ByteView bytes) {
  if (bytes.size() < kE2HeaderSize)
    return std::nullopt;
  E2Header h;
  h.integrity = link::GetU16(bytes.data());
  h.dataSize = link::GetU32(bytes.data() + 2);
  h.dataVersion = link::GetU32(bytes.data() + 6);
  std::memcpy(h.model.data(), bytes.data() + 10, kModelSize);
  return h;
}

std::array<std::uint8_t, kE2HeaderSize> EncodeE2Header(const E2Header& h) {
  std::array<std::uint8_t, kE2HeaderSize> out{};
  link::PutU16(out.data(), h.integrity);
  link::PutU32(out.data() + 2, h.dataSize);
  link::PutU32(out.data() + 6, h.dataVersion);
  std::memcpy(out.data() + 10, h.model.data(), kModelSize);
  return out;
}

FileResult BuildE2ImageFromFlash(const std::string& folder) {
  const std::string target = folder + kFolderSep + kE2ImageName;
  const std::vector<std::string> dats = ListFiles(folder, "*.dat");
  // An old E2.dat would be counted as a Flash image, and more than five
  // files have no slot to go to.
  for (const std::string& name : dats) {
    if (WildcardMatch(kE2ImageName, name))  // same name, any case
      return Fail(FileError::kUnexpectedFiles, folder + kFolderSep + name);
  }
  if (dats.size() > kE2Slots.size())
    return Fail(FileError::kUnexpectedFiles, folder);

  // Image 1 carries the header, so an empty folder reports it as missing.
  const std::size_t positions = std::max<std::size_t>(dats.size(), 1);
  std::vector<std::uint8_t> image;
  image.reserve(kE2ImageSize);
  for (std::size_t i = 0; i < positions; ++i) {
    const E2Slot& slot = kE2Slots[i];
    const std::string path = folder + kFolderSep + FlashImageName(slot.image);
    ReadError why = ReadError::kNone;
    const auto bytes = ReadWholeFile(path, &why);
    if (!bytes) {
      return Fail(why == ReadError::kCannotOpen ? FileError::kNotExist : FileError::kReadInErr,
                  path);
    }
    if (bytes->size() < kFlashImageHeaderSize)
      return Fail(FileError::kReadInErr, path);
    const std::size_t dataSize = bytes->size() - kFlashImageHeaderSize;
    if (dataSize > slot.size)
      return Fail(FileError::kTooLarge, path);
    if (slot.image == 1) {
      E2Header h;
      h.integrity = kNewImageIntegrity;
      h.dataSize = kE2ImageSize;
      h.dataVersion = link::GetU32(bytes->data() + 6);
      std::memcpy(h.model.data(), bytes->data() + 10, kModelSize);
      const auto head = EncodeE2Header(h);
      image.insert(image.end(), head.begin(), head.end());
    }
    image.insert(image.end(), bytes->begin() + kFlashImageHeaderSize, bytes->end());
    image.resize(image.size() + (slot.size - dataSize), 0xFF);
  }
  // Slots without an image stay erased; the image always has its full size,
  // as its header says.
  image.resize(kE2ImageSize, 0xFF);
  if (!WriteFileAtomic(target, image))
    return Fail(FileError::kWriteFailed, target);
  return FileResult{FileError::kNone, target};
}

}  // namespace tavro::data
