#pragma once
// Consistent devices for a bootloader generation: what `tavro-sim init`
// writes and what tests start from.

#include <cstdint>
#include <optional>
#include <string>

#include "sim/device_model.hpp"

namespace tavro::sim {

struct DeviceSpec {
  std::uint16_t blVersion = 0x0215;
  std::optional<std::uint16_t> terminalType = 1;
  std::uint8_t sizeCode = 0x10;
  std::uint32_t appVersion = 0x01000200;
  std::uint32_t backupAppVersion = 0x01000100;
  bool backupApp = true;
  std::string model = "TR100";
  std::size_t appSize = 40 * 1024 + 123;
  std::uint32_t dataVersion = 0x01020000;
  std::array<AreaEntry, kAreaEntries> areas = DefaultAreaTable();
  std::size_t paraCount = kMaxParaAreas;  // Flash parameter areas (below 0x230)
  link::TimeStamp stamp{2024, 3, 14, 9, 26, 53};
};

// An App file as a package would carry it: version at 64, model at 68.
link::Bytes MakeAppFile(std::uint32_t version, const std::string& model, std::size_t size);
// A Flash parameter image as the terminal holds it after a download:
// header word 1, data size, version, model, name and time stamp (at 48 and 56).
link::Bytes MakeParaImage(std::size_t index, std::uint32_t version, const std::string& model,
                          std::size_t dataSize, const link::TimeStamp& stamp);
// A 64 KiB E2PROM holding complete data.
link::Bytes MakeE2Image(std::uint32_t version, const std::string& model,
                        const link::TimeStamp& stamp);
// Size of the data part of parameter area `index` in generated devices.
std::size_t DefaultParaDataSize(std::size_t index);

Device MakeDevice(const DeviceSpec& spec);

}  // namespace tavro::sim
