#pragma once
// The conversion rules of the sample package: they carry the parameter data
// of a terminal `tavro-sim init` made (data version kSampleRuleSource) to the
// package's data version, so that an upgrade of such a terminal converts
// instead of stopping without a rule.
//
// Every converted image keeps the size of its source; its first data bytes
// (up to kSampleMarkBytes) are filled with the new data version, little
// endian, the rest is copied, and the model comes from the source image.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/byte_order.hpp"

namespace tavro::sim {

inline constexpr std::uint32_t kSampleRuleSource = 0x01020000;
inline constexpr std::size_t kSampleMarkBytes = 4;
inline constexpr const char* kSampleFlashRule = "/Data/Rule/F2F/F2F_Sample.bin";
inline constexpr const char* kSampleE2Rule = "/Data/Rule/E2E/E2E_Sample.bin";

// One Flash parameter image the rule converts: the name the read-back gives
// parameter area `area` (from 0), and the size of the area's data (after its
// 512-byte header block). It becomes "<area + 1>.dat", as in InitData.
struct SampleFlashImage {
  std::size_t area = 0;
  std::string sourceName;
  std::size_t dataSize = 0;
};

// One block per image.
link::Bytes SampleFlashRule(const std::vector<SampleFlashImage>& images, std::uint32_t dstVersion);
// E2.dat (65,536 bytes: the 32-byte header, then the data) to E2.dat.
link::Bytes SampleE2Rule(std::uint32_t dstVersion);

}  // namespace tavro::sim
