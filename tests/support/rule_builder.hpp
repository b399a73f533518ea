#pragma once
// Rule files written from C++ for tests and fuzz seeds: the shared builder,
// and a block header with a model of its own.

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "data/rule_builder.hpp"
#include "data/rule_file.hpp"

namespace tavro::test {

using data::rule_build::Array;
using data::rule_build::Column;
using data::rule_build::Copy;
using data::rule_build::Fill;
using data::rule_build::RuleNameOf;
using data::rule_build::RuleWriter;
using data::rule_build::Sequence;
using data::rule_build::Text;

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

}  // namespace tavro::test
