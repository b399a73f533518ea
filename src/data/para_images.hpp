#pragma once
// The parameter-data image files: the Flash images 1.dat ... 9.dat (a
// 512-byte header block, then one area's data) and the E2PROM image E2.dat
// (a 32-byte header, then the E2PROM content, 65,536 bytes in all).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "data/file_result.hpp"
#include "data/para_header.hpp"
#include "link/byte_order.hpp"

namespace tavro::data {

// Which of the two forms a terminal keeps its parameter data in.
enum class ParaForm { kFlash, kE2prom };

inline constexpr const char* kInitFlashFolder = "/Data/InitData/Flash";
inline constexpr const char* kInitE2promFolder = "/Data/InitData/E2prom";
inline constexpr const char* kE2ImageName = "E2.dat";

inline constexpr std::size_t kFlashImageHeaderSize = 512;
inline constexpr std::size_t kE2HeaderSize = 32;
inline constexpr std::size_t kE2ImageSize = 0x10000;

// "%d.dat": the name of Flash image `number` (1-based).
std::string FlashImageName(std::size_t number);

// The header of a Flash image, read from its file.
struct FlashImageHeader {
  FileResult result;  // the image's path, and why it could not be used
  ParaHeader header;  // valid when result.ok()
};

// Reads programDir + "/Data/InitData/Flash/<index + 1>.dat". The header
// holds Integrity, DataVersion, Model and Name from the file and DataSize =
// file length - 512; its time fields are zero. A file that is missing or not
// a regular file gives kNotExist; one shorter than its 512-byte header block
// (or too long for DataSize to hold) gives kReadInErr.
FlashImageHeader ReadFlashImageHeader(const std::string& programDir, std::size_t index);
// The same for image <index + 1>.dat of the data set in `folder`.
FlashImageHeader ReadFlashImageHeaderIn(const std::string& folder, std::size_t index);

// True when 1.dat ... requisiteNum.dat all exist in `folder` with at least
// their 512-byte header block; requisiteNum 0 counts as complete.
bool IsFlashSetComplete(const std::string& folder, std::size_t requisiteNum);
// True when `folder` holds an E2.dat of at least 65,536 bytes.
bool IsE2ImageComplete(const std::string& folder);

struct E2Header {
  std::uint16_t integrity = 0;
  std::uint32_t dataSize = 0;  // the whole file length, header included
  std::uint32_t dataVersion = 0;
  std::array<std::uint8_t, kModelSize> model{};

  bool operator==(const E2Header&) const = default;
};
// nullopt when fewer than 32 bytes are given; bytes 18..31 are not kept.
std::optional<E2Header> DecodeE2Header(link::ByteView bytes);
// Bytes 18..31 are zero.
std::array<std::uint8_t, kE2HeaderSize> EncodeE2Header(const E2Header& header);

// E2PROM slot of each Flash image, in the order the images are laid out.
struct E2Slot {
  std::size_t image;  // Flash image number
  std::size_t size;   // bytes the image's data may fill
};
inline constexpr std::array<E2Slot, 5> kE2Slots = {
    {{1, 0x8BE0}, {2, 0x1400}, {3, 0x100}, {5, 0xB00}, {4, 0x5400}}};

// Writes `folder`/E2.dat from the Flash images in `folder`: the header from
// 1.dat, then the data of as many images as the folder holds "*.dat" files,
// in slot order, each padded with 0xFF to its slot; whatever slots remain
// are 0xFF, so the image is always 65,536 bytes. The file is written whole
// or not at all. Refused with kUnexpectedFiles (naming the file or folder)
// when the folder holds more than five "*.dat" or an E2.dat already; an
// image whose data exceeds its slot gives kTooLarge; a missing image
// kNotExist, one that cannot be read or is shorter than its header block
// kReadInErr, each naming the image. On success the path is E2.dat's.
FileResult BuildE2ImageFromFlash(const std::string& folder);

}  // namespace tavro::data
