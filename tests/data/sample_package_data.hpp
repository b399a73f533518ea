#pragma once
// The sample package's conversion data, as its source: the base data and
// the rule files committed under package/Data. A test checks the committed
// files against this; make_sample_package writes them again after a change.

#include <string>
#include <vector>

#include "link/byte_order.hpp"

namespace tavro::test {

struct SampleFile {
  std::string path;  // relative to the package folder
  link::Bytes bytes;
};

std::vector<SampleFile> SampleConversionFiles();

}  // namespace tavro::test
