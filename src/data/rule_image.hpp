#pragma once
// One block of a parsed rule file turned into its image, in memory: the
// header the caller asks for, then the bytes of every item in order. Every
// read from a source image is checked against the image's length first.

#include <cstddef>
#include <string>

#include "data/convert_error.hpp"
#include "data/rule_file.hpp"
#include "link/byte_order.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

// Which header heads the produced image.
enum HeaderKind : int {
  kHeaderFlash = 0,  // the 512-byte Flash header block (F2F)
  kHeaderE2 = 1,     // the 32-byte E2PROM header, sources with the Flash header (F2E)
  kHeaderE2E = 2,    // the 32-byte E2PROM header (E2E)
  // any other value: no header
};

// Bytes of the header of `headerKind`: 512, 32 or 0.
std::size_t ImageHeaderSize(int headerKind);

// The images a step reads, by the names its rule gives.
class SourceImages {
 public:
  virtual ~SourceImages() = default;
  // The whole image, or nullptr with `error` set when it cannot be loaded.
  // The image stays valid until the next call.
  virtual const link::Bytes* Load(const std::string& name, ConvertError& error) = 0;
};

struct ImageOptions {
  int headerKind = kHeaderFlash;
  link::TimeStamp stamp;  // of the Flash header
  std::string rulePath;   // named in the messages
};

struct BlockImage {
  link::Bytes bytes;
  ConvertError error;

  bool ok() const { return error.ok(); }
};

// The image of `block`: the header, then the items; a table is zeroed before
// its columns are filled, so a column whose mode writes nothing stays zero.
// Fails on a source that cannot be loaded and on a record or model whose
// source range runs past the end of its image.
BlockImage BuildBlockImage(const RuleBlock& block, const ImageOptions& options,
                           SourceImages& sources);

}  // namespace tavro::data
