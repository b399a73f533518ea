#pragma once
// One line per frame, decoded: the simulator's trace of what crossed the line.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "link/byte_order.hpp"

namespace tavro::sim {

// "12056 MsgAppBlock len=4102 count=12 block=3 L=4096" for a frame in either
// direction; fields that do not fit the frame are left out.
std::string DescribeFrame(link::ByteView frame);

// "   12.345 <  12056 MsgAppBlock ..." ('<' from the PC, '>' to the PC,
// '!' a note of the terminal's own).
std::string TraceLine(std::uint64_t ms, char direction, link::ByteView frame,
                      std::string_view note);

class TraceFile {
 public:
  // Opens (truncates) `path`; Ok() tells whether that worked.
  explicit TraceFile(const std::string& path);
  bool Ok() const { return out_.good(); }
  void Write(std::uint64_t ms, char direction, link::ByteView frame, std::string_view note);

 private:
  std::ofstream out_;
};

}  // namespace tavro::sim
