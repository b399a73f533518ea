#pragma once
// What the terminal reported at the last identification. A connect starts
// it afresh, so nothing an operation decides from survives from an earlier
// terminal or exchange.

#include <array>
#include <cstdint>
#include <string>

namespace tavro::engine {

inline constexpr std::uint16_t kBlE2prom = 0x230;  // from here on: parameter data in E2PROM
inline constexpr std::size_t kParaHeaderSize = 56;
inline constexpr std::size_t kParaHeaderSlots = 6;

struct DeviceInfo {
  // The bootloader announced itself in this exchange. Without it the
  // generation, and with it where the terminal keeps its data, is unknown.
  bool BlAnnounced = false;

  // Bootloader.
  std::string ChipNum;
  std::string CompanyNum;
  std::uint16_t BlVersion = 0;
  std::string BlVersionText;
  std::uint32_t SizeCode = 0;

  // Application.
  bool CurAppIntact = false;
  std::string CurAppVersion;
  bool CurAppVersionBcd = false;
  std::string CurAppModel;
  bool BakAppIntact = false;
  std::string BakAppVersion;
  bool BakAppVersionBcd = false;
  std::string BakAppModel;

  // Parameter data.
  bool ParaIntact = false;
  std::uint32_t ParaVersionNum = 0;
  std::string ParaVersion;
  bool ParaVersionBcd = false;
  std::string ParaModel;
  std::string ParaTimestamp;

  // The first 56 bytes of each Flash parameter area as the terminal reports them.
  std::array<std::uint8_t, kParaHeaderSize * kParaHeaderSlots> ParaHeaderTable{};
};

}  // namespace tavro::engine
