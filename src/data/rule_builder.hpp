#pragma once
// Rule files written from C++: records made by their mode, blocks gathered
// into the file's bytes. Used by the simulator's sample package, the tests
// and the fuzz seeds.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "data/rule_file.hpp"
#include "link/byte_order.hpp"

// Short names (Fill, Copy, Text...) kept out of tavro::data itself.
namespace tavro::data::rule_build {

inline RuleName RuleNameOf(std::string_view text) {
  RuleName name{};
  std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
  return name;
}

inline RuleRecord Fill(std::uint32_t width, std::uint32_t value) {
  RuleRecord r;
  r.mode = kModeFill;
  r.width = width;
  r.value = value;
  return r;
}

inline RuleRecord Text(std::uint32_t mode, std::uint32_t width, std::string_view text) {
  RuleRecord r;
  r.kind = kTextRecordKind;
  r.mode = mode;
  r.width = width;
  std::copy_n(text.begin(), std::min(text.size(), r.text.size()), r.text.begin());
  return r;
}

// Copy (mode 0) or, with another mode, AND/OR with `value`.
inline RuleRecord Copy(std::string_view src, std::uint32_t offset, std::uint32_t width,
                       std::uint32_t srcWidth, std::uint32_t mode = kModeCopy,
                       std::uint32_t value = 0) {
  RuleRecord r;
  r.mode = mode;
  r.srcName = RuleNameOf(src);
  r.srcOffset = offset;
  r.width = width;
  r.srcWidth = srcWidth;
  r.value = value;
  return r;
}

inline RuleRecord Array(std::string_view src, std::uint32_t offset, std::uint32_t repeat,
                        std::uint32_t width, std::uint32_t srcWidth, std::uint32_t srcMaxIndex) {
  RuleRecord r = Copy(src, offset, width, srcWidth);
  r.repeat = repeat;
  r.srcMaxIndex = srcMaxIndex;
  return r;
}

// The record as a column of a table of `count` rows of `stride` bytes.
inline RuleRecord Column(RuleRecord r, std::uint32_t count, std::uint32_t stride,
                         std::uint32_t srcStride = 0) {
  r.count = count;
  r.stride = stride;
  r.srcStride = srcStride;
  return r;
}

inline RuleRecord Sequence(RuleRecord r, std::uint32_t base, std::uint32_t step,
                           std::uint32_t modulus = 0) {
  r.sequence = 1;
  r.base = base;
  r.step = step;
  r.modulus = modulus;
  return r;
}

// Gathers blocks into the bytes of a rule file; records are written as
// given, so a test can also write files the parser must refuse.
class RuleWriter {
 public:
  RuleWriter& Block(const RuleBlockHeader& header) {
    file_.blocks.emplace_back();
    file_.blocks.back().header = header;
    file_.blocks.back().items.emplace_back();
    return *this;
  }
  RuleWriter& Add(const RuleRecord& record) {
    file_.blocks.back().items.back().records.push_back(record);
    return *this;
  }
  link::Bytes Bytes() const { return EncodeRuleFile(file_); }

 private:
  RuleFile file_;
};

}  // namespace tavro::data::rule_build
