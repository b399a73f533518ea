#pragma once
// Whether a restore point fits the connected terminal, decided from the
// files alone before anything is sent: the set is complete, of the
// terminal's generation (Flash images below bootloader 0x230, E2.dat from
// 0x230 on), each image fits its area, the model in every header is the
// terminal's, and data without an App is of the terminal's data version.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "data/package.hpp"
#include "data/restore_point.hpp"

namespace tavro::data {

struct RestoreTerminal {
  std::uint16_t blVersion = 0;
  std::string model;                         // empty when the terminal told none
  std::optional<std::uint32_t> dataVersion;  // its data's version when intact
  const AreaTable* areas = nullptr;
  std::size_t requisiteNum = 0;     // Flash images every set holds
  std::size_t totalNum = 0;         // Flash images a set may hold
  std::size_t appHeaderOffset = 0;  // header bytes the terminal keeps before the App image
};

enum class RestoreRefusal {
  kNone,
  kMissing,             // a file the set needs is not there (or not a regular file)
  kIncomplete,          // a file is shorter than its header, or not of the set
  kOtherGeneration,     // the set is of the other form of parameter data
  kTooLarge,            // an image does not fit its area
  kModelDiffers,        // a header names another model than the terminal's
  kDataVersionDiffers,  // data without an App, of another data version
};

struct RestoreCheck {
  RestoreRefusal refusal = RestoreRefusal::kNone;
  std::string path;  // the file or folder the refusal names
  std::uint32_t dataVersion = 0;
  std::optional<std::uint32_t> appVersion;  // from the App image, when there is one
};

RestoreCheck CheckRestorePoint(const RestorePoint& point, const RestoreTerminal& terminal);

// The bytes Flash parameter area `index` may hold: AreaLen when it is a
// length, else up to the next address of the table above the area's own;
// none when nothing bounds it.
std::optional<std::uint32_t> FlashAreaCapacity(const AreaTable& areas, std::size_t index);

}  // namespace tavro::data
