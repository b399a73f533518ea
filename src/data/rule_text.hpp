#pragma once
// A parsed rule file as readable text, for package authors checking what a
// rule does: its versions, each block with its image and header fields, and
// every record with its mode, widths, source and place in the image.

#include <string>

#include "data/rule_file.hpp"

namespace tavro::data {

// Lines end in '\n'.
std::string DescribeRuleFile(const RuleFile& file);
// One record in one line, without its offset.
std::string DescribeRecord(const RuleRecord& record);

}  // namespace tavro::data
