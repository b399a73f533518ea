// The binary package description on arbitrary bytes. The first two bytes
// are the terminal type (16 bits, as the link query reply carries it) and
// the next two the bootloader version the package is read for; the rest is
// the file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/package.hpp"
#include "data/text_encoding.hpp"
#include "fuzz_support.hpp"
#include "link/byte_order.hpp"

namespace {

using namespace tavro;

// A name of at most 32 Latin-1 bytes: no terminator inside, and at most two
// UTF-8 bytes for each of them.
void CheckFileName(const std::string& name) {
  FUZZ_CHECK(name.size() <= 2 * data::kAreaFileNameSize);
  FUZZ_CHECK(name.find('\0') == std::string::npos);
  FUZZ_CHECK(data::Utf16ToUtf8(data::Utf8ToUtf16(name)) == name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint32_t terminalType = in.U16();
  const std::uint16_t blVersion = in.U16();
  const link::ByteView file = in.Rest();

  // A refused file leaves what the caller had untouched.
  data::PackageValues values;
  values.debugLevel = 0xDEADBEEF;
  data::AreaTable areas{};
  // A name no record can give: names end at their first zero byte.
  const std::string kept("ke\0pt", 5);
  areas[3].fileName = kept;
  const bool ok = data::ParsePackage(file, terminalType, blVersion, values, areas);
  FUZZ_CHECK(ok == (file.size() >= data::kPackageHeaderSize));
  if (!ok) {
    FUZZ_CHECK(values.debugLevel == 0xDEADBEEF);
    FUZZ_CHECK(areas[3].fileName == kept);
    return 0;
  }
  FUZZ_CHECK(values.debugLevel == link::GetU32(file.data()));
  // The table is emptied first: nothing of the caller's survives.
  FUZZ_CHECK(areas[3].fileName != kept);

  const std::uint32_t blClass = data::BlVersionClass(blVersion);
  FUZZ_CHECK(blClass == 0x100 || blClass == 0x200 || blClass == 0x220 || blClass == 0x230);
  for (std::size_t i = 0; i < areas.size(); ++i) {
    CheckFileName(areas[i].fileName);
  }
  return 0;
}
