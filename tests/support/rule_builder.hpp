#pragma once
// Rule files written from C++ for tests, fuzz seeds and the sample package:
// records made by their mode, blocks gathered into the file's bytes.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "data/rule_file.hpp"
#include "link/byte_order.hpp"

namespace tavro::test {

inline data::RuleName RuleNameOf(std::string_view text) {
  data::RuleName name{};
  std::copy_n(text.begin(), std::min(text.size(), name.size()), name.begin());
  return name;
}

inline data::RuleRecord Fill(std::uint32_t width, std::uint32_t value) {
  data::RuleRecord r;
  r.mode = data::kModeFill;
  r.width = width;
  r.value = value;
  return r;
}

inline data::RuleRecord Text(std::uint32_t mode, std::uint32_t width, std::string_view text) {
  data::RuleRecord r;
  r.kind = data::kTextRecordKind;
  r.mode = mode;
  r.width = width;
  std::copy_n(text.begin(), std::min(text.size(), r.text.size()), r.text.begin());
  return r;
}

// Copy (mode 0) or, with another mode, AND/OR with `value`.
inline data::RuleRecord Copy(std::string_view src, std::uint32_t offset, std::uint32_t width,
                             std::uint32_t srcWidth, std::uint32_t mode = data::kModeCopy,
                             std::uint32_t value = 0) {
  data::RuleRecord r;
  r.mode = mode;
  r.srcName = RuleNameOf(src);
  r.srcOffset = offset;
  r.width = width;
  r.srcWidth = srcWidth;
  r.value = value;
  return r;
}

inline data::RuleRecord Array(std::string_view src, std::uint32_t offset, std::uint32_t repeat,
                              std::uint32_t width, std::uint32_t srcWidth,
                              std::uint32_t srcMaxIndex) {
  data::RuleRecord r = Copy(src, offset, width, srcWidth);
  r.repeat = repeat;
  r.srcMaxIndex = srcMaxIndex;
  return r;
}

// The record as a column of a table of `count` rows of `stride` bytes.
inline data::RuleRecord Column(data::RuleRecord r, std::uint32_t count, std::uint32_t stride,
                               std::uint32_t srcStride = 0) {
  r.count = count;
  r.stride = stride;
  r.srcStride = srcStride;
  return r;
}

inline data::RuleRecord Sequence(data::RuleRecord r, std::uint32_t base, std::uint32_t step,
                                 std::uint32_t modulus = 0) {
  r.sequence = 1;
  r.base = base;
  r.step = step;
  r.modulus = modulus;
  return r;
}

// A block header whose model is "TEST-MDL" from the rule itself.
inline data::RuleBlockHeader Header(std::string_view outName, std::uint32_t src,
                                    std::uint32_t dst) {
  data::RuleBlockHeader h;
  h.outName = RuleNameOf(outName);
  h.modelFromRule = 1;
  std::copy_n("TEST-MDL", 8, h.ruleModel.begin());
  h.srcVersion = src;
  h.dstVersion = dst;
  return h;
}

// Gathers blocks into the bytes of a rule file; records are written as
// given, so a test can also write files the parser must refuse.
class RuleWriter {
 public:
  RuleWriter& Block(const data::RuleBlockHeader& header) {
    file_.blocks.emplace_back();
    file_.blocks.back().header = header;
    file_.blocks.back().items.emplace_back();
    return *this;
  }
  RuleWriter& Add(const data::RuleRecord& record) {
    file_.blocks.back().items.back().records.push_back(record);
    return *this;
  }
  link::Bytes Bytes() const { return data::EncodeRuleFile(file_); }

 private:
  data::RuleFile file_;
};

}  // namespace tavro::test
