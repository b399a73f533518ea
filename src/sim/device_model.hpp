#pragma once
// What one terminal holds: its bootloader identity, the current and backup
// App areas, the Flash parameter areas with their second copies, resource
// Flash, the E2PROM copy area, the marker area and (from bootloader 0x230 on)
// the 64 KiB E2PROM. Plain values; the terminal changes them as the PC writes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/byte_order.hpp"
#include "link/time_stamp.hpp"

namespace tavro::sim {

// From this bootloader version on the parameter data lives in the E2PROM.
inline constexpr std::uint16_t kE2Generation = 0x230;
inline constexpr std::size_t kE2Size = 0x10000;
inline constexpr std::size_t kE2HeaderSize = 32;
inline constexpr std::uint16_t kE2Intact = 0x55AA;     // E2PROM header word of complete data
inline constexpr std::uint16_t kE2CopyValid = 0xAA55;  // mark of a valid copy in Flash
inline constexpr std::uint16_t kAreaIntact = 1;        // Flash parameter header word
inline constexpr std::size_t kParaHeaderSize = 512;    // header block of a Flash area
inline constexpr std::size_t kAreaEntries = 8;
inline constexpr std::size_t kResourceEntry = 5;  // AreaAddr: resources, AreaLen: E2PROM copy
inline constexpr std::size_t kAppEntry = 6;
inline constexpr std::size_t kMaxParaAreas = 5;
// Where the App image keeps its version (u32) and model (8 characters).
inline constexpr std::size_t kAppVersionOffset = 64;
inline constexpr std::size_t kAppModelOffset = 68;

bool KeepsDataInE2(std::uint16_t blVersion);

// One entry of the area table the terminal was built with.
struct AreaEntry {
  std::uint32_t areaAddr = 0;
  std::uint32_t areaLen = 0;
  std::uint32_t areaArg = 0;
  std::string fileName;
  bool operator==(const AreaEntry&) const = default;
};

struct Bootloader {
  std::uint16_t version = 0x0215;
  std::array<char, 4> chipNum{'A', '1', '0', '0'};
  std::array<char, 4> companyNum{'T', 'V', 'R', 'O'};
  std::uint8_t sizeCode = 0x10;  // App header size in 256-byte units; 0xFF means 16
  // Answer to the link query; none: the terminal does not answer it.
  std::optional<std::uint16_t> terminalType = 1;
  bool operator==(const Bootloader&) const = default;
};

struct AppArea {
  bool present = false;
  std::uint32_t version = 0;  // four BCD bytes
  std::array<char, 8> model{};
  std::uint32_t fileLength = 0;  // as the download's descriptor block gave it
  link::TimeStamp stamp = link::kUnreadableTime;
  link::Bytes image;  // everything after the descriptor block, as downloaded
  bool operator==(const AppArea&) const = default;
};

// A stretch of Flash at a fixed address. Bytes beyond those written read as
// erased Flash (0xFF) up to the capacity.
struct FlashRegion {
  std::uint32_t address = 0;
  std::uint32_t capacity = 0;
  link::Bytes bytes;
  bool Contains(std::uint32_t addr) const { return addr >= address && addr - address < capacity; }
  // `length` bytes from `addr`; false when they do not lie inside the region.
  bool Read(std::uint32_t addr, std::uint32_t length, link::Bytes& out) const;
  bool operator==(const FlashRegion&) const = default;
};

// One Flash parameter area: the image at AreaAddr and its second copy at
// the AreaLen address.
struct ParaArea {
  FlashRegion primary;
  FlashRegion copy;
  bool operator==(const ParaArea&) const = default;
};

// True when a Flash parameter image carries the intact header word.
bool AreaIntact(const FlashRegion& region);
// True when the E2PROM header carries 0x55AA.
bool E2Intact(const link::Bytes& e2prom);

struct Device {
  Bootloader bootloader;
  AppArea app;
  AppArea backupApp;
  std::array<AreaEntry, kAreaEntries> areas{};
  std::vector<ParaArea> para;  // entries 0..para.size()-1 of the area table
  FlashRegion resource;
  FlashRegion e2Copy;
  FlashRegion marker;
  link::Bytes e2prom;  // kE2Size bytes when the bootloader keeps data in E2PROM

  bool UsesE2() const { return KeepsDataInE2(bootloader.version); }
  // Every Flash parameter area (or the E2PROM) holds complete data.
  bool ParaDataIntact() const;
  // The Flash region holding `addr`, or null.
  const FlashRegion* FindRegion(std::uint32_t addr) const;
  FlashRegion* FindRegion(std::uint32_t addr);
  // Index of the parameter area whose AreaAddr is `addr`, or -1.
  int ParaIndexAt(std::uint32_t addr) const;
  // Header offset of the App image in the downloaded bytes (SizeCode x 256 -
  // 4096; 0xFF and values below 16 count as 16).
  std::size_t AppImageOffset() const;
  // Takes the App's version and model from its downloaded image.
  void TakeAppIdentity(AppArea& area) const;
  // Largest image the App area takes (AreaLen of the App entry, when set).
  std::uint32_t AppCapacity() const;
  // The E2PROM becomes present (all erased) when the generation needs it.
  void EnsureE2prom();
  bool operator==(const Device&) const = default;
};

// Capacities of the regions a generated device gets.
inline constexpr std::uint32_t kParaAreaCapacity = 0x10000;
inline constexpr std::uint32_t kResourceCapacity = 0x200000;
inline constexpr std::uint32_t kMarkerCapacity = 0x1000;
inline constexpr std::uint32_t kAppCapacity = 0x200000;

// The built-in area table used when no package is given.
std::array<AreaEntry, kAreaEntries> DefaultAreaTable();

// Lays the Flash regions out from the area table: `paraCount` parameter
// areas (entries 0..paraCount-1), resources and E2PROM copy from entry 5,
// the marker area. An area whose second value lies above its address keeps a
// second copy there; otherwise that value is the area's length. Regions are
// cut short where the next one begins. Existing bytes are dropped.
void LayOutRegions(Device& device, std::size_t paraCount);

}  // namespace tavro::sim
