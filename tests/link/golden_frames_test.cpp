// Golden frames and payloads, laid out by hand byte by byte. None of the
// expected bytes come from the builders or decoders under test, so a field
// that moves in link/payloads or link/frame (and in the terminal simulator,
// which encodes with the same code) fails here even when every round trip
// still passes. CRCs of hand-laid frames were computed with an independent
// bitwise CRC; RefCrc below re-checks every golden so that a typo in a golden
// is reported as such and not blamed on the code.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/crc.hpp"
#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::link {
namespace {

// ---- Helpers ---------------------------------------------------------------

// "5F 5F 0C 00" -> {0x5F, 0x5F, 0x0C, 0x00}; whitespace between bytes is free.
Bytes Hex(std::string_view text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    return -1;
  };
  Bytes out;
  int high = -1;
  for (char c : text) {
    const int v = nibble(c);
    if (v < 0)
      continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  EXPECT_EQ(high, -1) << "odd number of hex digits in a golden";
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Zeros(std::size_t count) {
  return Bytes(count, 0);
}

// Content for long chunks: byte i of an image is (13 i + 5) mod 256, so no
// two neighbouring bytes are equal and a shifted copy shows.
Bytes Pattern(std::size_t count, std::size_t first = 0) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::uint8_t>(((first + i) * 13 + 5) & 0xFF);
  return out;
}

Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// Bitwise CRC-16/MCRF4XX (reflected 0x8408, start 0xFFFF, no final XOR),
// written without a table so that it shares nothing with link/crc.
std::uint16_t RefCrc(ByteView bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U)
                       : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

// CRC of the bytes from AddrWord1 to the end of the payload, stored just
// before the two tail bytes.
bool CarriesRefCrc(ByteView frame) {
  if (frame.size() < 18)
    return false;
  const std::size_t crcAt = frame.size() - 4;
  const std::uint16_t stored = static_cast<std::uint16_t>(frame[crcAt] | (frame[crcAt + 1] << 8));
  return RefCrc(frame.subspan(4, crcAt - 4)) == stored;
}

std::string HexOf(ByteView bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i != 0)
      out += ' ';
    out += buf;
  }
  return out;
}

struct Field {
  std::string name;
  std::size_t offset;
  std::size_t width;
};
using Fields = std::vector<Field>;

Fields Shift(const Fields& fields, std::size_t by) {
  Fields out;
  for (const Field& f : fields)
    out.push_back({f.name, f.offset + by, f.width});
  return out;
}

Fields Join(std::initializer_list<Fields> parts) {
  Fields out;
  for (const Fields& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The frame envelope around payload fields given at payload offsets. The
// payload starts at frame byte 14.
Fields FrameFields(std::size_t payloadLen, const Fields& payload = {}) {
  Fields f = {{"Sync", 0, 2},     {"Length", 2, 2}, {"AddrWord1", 4, 2}, {"AddrWord2", 6, 2},
              {"Reserved", 8, 2}, {"MsgID", 10, 2}, {"DataLen", 12, 2}};
  const Fields inPayload = Shift(payload, 14);
  f.insert(f.end(), inPayload.begin(), inPayload.end());
  f.push_back({"Crc", 14 + payloadLen, 2});
  f.push_back({"Tail", 16 + payloadLen, 2});
  return f;
}

// Names every field in which `actual` differs from `golden`, and any
// differing byte no field covers; empty when the two are equal.
std::string FieldDiff(ByteView actual, ByteView golden, const Fields& fields) {
  std::string out;
  if (actual.size() != golden.size()) {
    out += "size: got " + std::to_string(actual.size()) + ", want " +
           std::to_string(golden.size()) + "\n";
  }
  const std::size_t common = std::min(actual.size(), golden.size());
  std::vector<bool> covered(common, false);
  for (const Field& f : fields) {
    if (f.offset >= common)
      continue;
    const std::size_t end = std::min(f.offset + f.width, common);
    std::fill(covered.begin() + static_cast<long>(f.offset),
              covered.begin() + static_cast<long>(end), true);
    const auto a = actual.subspan(f.offset, end - f.offset);
    const auto g = golden.subspan(f.offset, end - f.offset);
    if (std::equal(a.begin(), a.end(), g.begin()))
      continue;
    out += f.name + " @" + std::to_string(f.offset) + ": ";
    if (f.width <= 8) {
      out += "got " + HexOf(a) + ", want " + HexOf(g);
    } else {
      const auto diff = std::mismatch(a.begin(), a.end(), g.begin());
      const std::size_t k = static_cast<std::size_t>(diff.first - a.begin());
      out += "first difference at +" + std::to_string(k) + ": got " + HexOf(a.subspan(k, 1)) +
             ", want " + HexOf(g.subspan(k, 1));
    }
    out += "\n";
  }
  for (std::size_t i = 0; i < common; ++i) {
    if (!covered[i] && actual[i] != golden[i]) {
      out += "byte " + std::to_string(i) + ": got " + HexOf(actual.subspan(i, 1)) + ", want " +
             HexOf(golden.subspan(i, 1)) + "\n";
    }
  }
  return out;
}

// Payload layouts, at payload offsets.
Fields CountedFields(std::size_t chunkBytes) {
  return {{"block count", 0, 2},
          {"block number", 2, 2},
          {"chunk length", 4, 2},
          {"chunk data", 6, chunkBytes}};
}
Fields AddressedFields(std::size_t sentBytes) {
  return {{"address", 0, 4},
          {"block count", 4, 2},
          {"block number", 6, 2},
          {"chunk length", 8, 2},
          {"chunk data", 10, sentBytes}};
}
Fields AreaFields(std::size_t chunkBytes) {
  return {{"area address", 0, 4},  {"area length", 4, 4},   {"block count", 8, 2},
          {"block number", 10, 2}, {"chunk length", 12, 2}, {"chunk data", 14, chunkBytes}};
}
Fields ResendFields() {
  return {{"leading zero word", 0, 2},
          {"identifier being read", 2, 2},
          {"read address", 4, 4},
          {"block count", 8, 2},
          {"block number", 10, 2}};
}
// Chunk offsets of the App descriptor (block 0 of an App download).
Fields DescriptorFields() {
  return {{"descriptor mark", 0, 2}, {"App file length", 2, 4},
          {"text field", 6, 30},     {"year", 36, 2},
          {"month", 38, 1},          {"day", 39, 1},
          {"hour", 40, 1},           {"minute", 41, 1},
          {"second", 42, 1},         {"descriptor end mark", 43, 1},
          {"zero fill", 44, 4052}};
}
// Chunk offsets of the 512-byte parameter header block.
Fields ParaHeaderFields() {
  return {{"header mark", 0, 2},
          {"data length (image - 512)", 2, 4},
          {"header bytes 6..55", 6, 50},
          {"year", 56, 2},
          {"month", 58, 1},
          {"day", 59, 1},
          {"hour", 60, 1},
          {"minute", 61, 1},
          {"second", 62, 1},
          {"header end mark", 63, 1},
          {"header bytes 64..511", 64, 448}};
}

// Feeds a byte stream to the assembler; the result of the last byte.
FrameAssembler::Result FeedAll(FrameAssembler& rx, ByteView bytes) {
  FrameAssembler::Result r = FrameAssembler::Result::kPending;
  for (std::uint8_t b : bytes)
    r = rx.Push(b);
  return r;
}

std::string Chars(const char* p, std::size_t n) {
  return std::string(p, n);
}

const TimeStamp kStamp{2018, 7, 9, 13, 45, 30};  // E2 07 07 09 0D 2D 1E

// ---- Goldens of frames the PC sends ------------------------------------------

// Reference frames of the protocol: 12025 and 12022 without payload, and the
// E2PROM header read (address 0, length 32). Their CRCs are the known values.
constexpr std::string_view kReadAppInfo = "5F 5F 0C 00 00 65 00 64 0A 00 F9 2E 00 00 50 80 55 AA";
constexpr std::string_view kConnect = "5F 5F 0C 00 00 65 00 64 0A 00 F6 2E 00 00 A9 32 55 AA";
constexpr std::string_view kE2ReadHeader =
    "5F 5F 16 00 00 65 00 64 0A 00 58 2F 0A 00"
    " 00 00 00 00  20 00 00 00  FF FF  57 62 55 AA";

struct NoPayloadCommand {
  std::uint16_t id;
  std::string_view frame;
};
constexpr NoPayloadCommand kNoPayloadCommands[] = {
    {12021, "5F 5F 0C 00 00 65 00 64 0A 00 F5 2E 00 00 64 17 55 AA"},
    {12022, kConnect},
    {12023, "5F 5F 0C 00 00 65 00 64 0A 00 F7 2E 00 00 12 2E 55 AA"},
    {12025, kReadAppInfo},
    {12065, "5F 5F 0C 00 00 65 00 64 0A 00 21 2F 00 00 2C C7 55 AA"},
    {12070, "5F 5F 0C 00 00 65 00 64 0A 00 26 2F 00 00 0D 90 55 AA"},
    {12103, "5F 5F 0C 00 00 65 00 64 0A 00 47 2F 00 00 52 15 55 AA"},
    {12503, "5F 5F 0C 00 00 65 00 64 0A 00 D7 30 00 00 CF 34 55 AA"},
    {12506, "5F 5F 0C 00 00 65 00 64 0A 00 DA 30 00 00 40 BF 55 AA"},
    {12508, "5F 5F 0C 00 00 65 00 64 0A 00 DC 30 00 00 DA F4 55 AA"},
};

// App area address 0x08020000.
constexpr std::string_view kAppBackupStart =
    "5F 5F 10 00 00 65 00 64 0A 00 03 2F 04 00  00 00 02 08  33 8C 55 AA";
constexpr std::string_view kAppDownloadStart =
    "5F 5F 10 00 00 65 00 64 0A 00 17 2F 04 00  00 00 02 08  95 C1 55 AA";
// Area 0x08040000, length 0x6000 (and the third list's entry 0x12345678).
constexpr std::string_view kParaBackupStart =
    "5F 5F 14 00 00 65 00 64 0A 00 0D 2F 08 00  00 00 04 08  00 60 00 00  53 09 55 AA";
constexpr std::string_view kParaBackupStartEx =
    "5F 5F 18 00 00 65 00 64 0A 00 11 2F 0C 00"
    "  00 00 04 08  00 60 00 00  78 56 34 12  A4 4E 55 AA";
// Header read of the Flash area at 0x08060000.
constexpr std::string_view kFlashRead =
    "5F 5F 14 00 00 65 00 64 0A 00 44 2F 08 00  00 00 06 08  40 00 00 00  26 CA 55 AA";
// Read of the whole E2PROM: address 0, length 0x10000.
constexpr std::string_view kE2ReadAll =
    "5F 5F 16 00 00 65 00 64 0A 00 58 2F 0A 00  00 00 00 00  00 00 01 00  FF FF  8C FB 55 AA";

struct AckGolden {
  std::uint16_t id;
  std::string_view goOn;
  std::string_view last;
};
constexpr AckGolden kReadBackAcks[] = {
    {12038, "5F 5F 0E 00 00 65 00 64 0A 00 06 2F 02 00 01 00 3F 81 55 AA",
     "5F 5F 0E 00 00 65 00 64 0A 00 06 2F 02 00 00 00 E7 98 55 AA"},
    {12048, "5F 5F 0E 00 00 65 00 64 0A 00 10 2F 02 00 01 00 75 DB 55 AA",
     "5F 5F 0E 00 00 65 00 64 0A 00 10 2F 02 00 00 00 AD C2 55 AA"},
    {12123, "5F 5F 0E 00 00 65 00 64 0A 00 5B 2F 02 00 01 00 81 F4 55 AA",
     "5F 5F 0E 00 00 65 00 64 0A 00 5B 2F 02 00 00 00 59 ED 55 AA"},
};

// Resend requests: Length 24 and a CRC over 22 bytes, but DataLen 10.
// Parameter read-back of area 0x08040000, block 3 of 7.
constexpr std::string_view kResendPara =
    "5F 5F 18 00 00 65 00 64 0A 00 E6 2E 0A 00"
    "  00 00  0E 2F  00 00 04 08  07 00  03 00  34 56 55 AA";
// E2PROM read (address 0), block 5 of 16.
constexpr std::string_view kResendE2 =
    "5F 5F 18 00 00 65 00 64 0A 00 E6 2E 0A 00"
    "  00 00  58 2F  00 00 00 00  10 00  05 00  13 B7 55 AA";
// App read-back of 0x08020000, block 31 of 32.
constexpr std::string_view kResendApp =
    "5F 5F 18 00 00 65 00 64 0A 00 E6 2E 0A 00"
    "  00 00  04 2F  00 00 02 08  20 00  1F 00  EA 9B 55 AA";

// Counted blocks.
// Bootloader image, last block 8 of 9 with 5 bytes.
constexpr std::string_view kBlImageBlock =
    "5F 5F 17 00 00 65 00 64 0A 00 EB 2E 0B 00"
    "  09 00  08 00  05 00  11 22 33 44 55  0E 2D 55 AA";
// RAM loader, block 2 of 3 with 3 bytes.
constexpr std::string_view kRamBlock =
    "5F 5F 15 00 00 65 00 64 0A 00 30 2F 09 00"
    "  03 00  02 00  03 00  DE AD BE  5B 13 55 AA";
// App of one byte: block 1 of 2 carries L = 1 (a frame of 25 bytes).
constexpr std::string_view kAppLastBlock =
    "5F 5F 13 00 00 65 00 64 0A 00 18 2F 07 00"
    "  02 00  01 00  01 00  A5  29 CE 55 AA";

// Parameter data block 2 of 3 of the area 0x08040000 / 0x6000, 3 bytes.
constexpr std::string_view kParaLastBlock =
    "5F 5F 1D 00 00 65 00 64 0A 00 27 2F 11 00"
    "  00 00 04 08  00 60 00 00  03 00  02 00  03 00  10 20 30  A5 5D 55 AA";

// Flash writes to 0x08100000, last block 1 of 2 of an image of 4097 bytes
// (odd: one pad byte follows, the length field says 1) and of 4098 bytes
// (even: nothing added).
constexpr std::string_view kFlashOddLast =
    "5F 5F 18 00 00 65 00 64 0A 00 4E 2F 0C 00"
    "  00 00 10 08  02 00  01 00  01 00  5A FF  14 67 55 AA";
constexpr std::string_view kFlashEvenLast =
    "5F 5F 18 00 00 65 00 64 0A 00 4E 2F 0C 00"
    "  00 00 10 08  02 00  01 00  02 00  5A 5B  F7 A1 55 AA";
// The 44-byte marker at 0x18200000: FF FF and 42 zeros.
constexpr std::string_view kFlashMarker =
    "5F 5F 42 00 00 65 00 64 0A 00 4E 2F 36 00"
    "  00 00 20 18  01 00  00 00  2C 00"
    "  FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
    "  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
    "  75 F5 55 AA";
// E2PROM write of the same odd last byte: sent as it is.
constexpr std::string_view kE2OddLast =
    "5F 5F 17 00 00 65 00 64 0A 00 62 2F 0B 00"
    "  00 00 00 00  02 00  01 00  01 00  5A  A2 CC 55 AA";

// Large frames: header words by hand, the chunk from Pattern or zeros.

// Block 0 of the download of an App file of 123456 bytes (32 blocks).
Bytes AppDescriptorFrame(std::string_view timeBytes, std::string_view crc) {
  return Cat({Hex("5F 5F 12 10 00 65 00 64 0A 00 18 2F 06 10  20 00  00 00  00 10"),
              Hex("FF FF  40 E2 01 00"), Zeros(30), Hex(timeBytes), Zeros(4052), Hex(crc),
              Hex("55 AA")});
}

// Block 1 of 32 of an App download, a full 4096-byte chunk.
Bytes AppFullBlockFrame() {
  return Cat({Hex("5F 5F 12 10 00 65 00 64 0A 00 18 2F 06 10  20 00  01 00  00 10"), Pattern(4096),
              Hex("89 98 55 AA")});
}

// Block 0 of 3 of a parameter image of 512 + 5000 bytes (Pattern) for the
// area 0x08040000 / 0x6000: the header block is 512 bytes, Length 538.
Bytes ParaHeaderFrame() {
  const Bytes image = Pattern(512);
  return Cat({Hex("5F 5F 1A 02 00 65 00 64 0A 00 27 2F 0E 02"),
              Hex("00 00 04 08  00 60 00 00  03 00  00 00  00 02"), Hex("FF FF  88 13 00 00"),
              Bytes(image.begin() + 6, image.begin() + 56), Hex("E2 07  07 09 0D 2D 1E  FF"),
              Bytes(image.begin() + 64, image.end()), Hex("39 44 55 AA")});
}

// Last of 16 full blocks of a 65536-byte E2PROM image (Pattern).
Bytes E2FullBlockFrame() {
  return Cat({Hex("5F 5F 16 10 00 65 00 64 0A 00 62 2F 0A 10  00 00 00 00  10 00  0F 00  00 10"),
              Pattern(4096, 61440), Hex("95 05 55 AA")});
}

// First of 2 blocks of an 8192-byte resource image (Pattern) at 0x08100000.
Bytes FlashFullBlockFrame() {
  return Cat({Hex("5F 5F 16 10 00 65 00 64 0A 00 4E 2F 0A 10  00 00 10 08  02 00  00 00  00 10"),
              Pattern(4096), Hex("E2 67 55 AA")});
}

// ---- Goldens of frames the terminal sends ------------------------------------

// The reference hello (CRC 0x06ED) with a tail that is not 55 AA: the tail
// is never examined.
constexpr std::string_view kHelloAnyTail = "5F 5F 0C 00 00 64 00 65 0A 00 E5 2E 00 00 ED 06 12 34";

constexpr NoPayloadCommand kNoPayloadReplies[] = {
    {12005, "5F 5F 0C 00 00 64 00 65 0A 00 E5 2E 00 00 ED 06 55 AA"},
    {12007, "5F 5F 0C 00 00 64 00 65 0A 00 E7 2E 00 00 9B 3F 55 AA"},
    {12010, "5F 5F 0C 00 00 64 00 65 0A 00 EA 2E 00 00 14 B4 55 AA"},
    {12032, "5F 5F 0C 00 00 64 00 65 0A 00 00 2F 00 00 EC 86 55 AA"},
    {12037, "5F 5F 0C 00 00 64 00 65 0A 00 05 2F 00 00 BB E8 55 AA"},
    {12047, "5F 5F 0C 00 00 64 00 65 0A 00 0F 2F 00 00 15 34 55 AA"},
    {12081, "5F 5F 0C 00 00 64 00 65 0A 00 31 2F 00 00 A5 D6 55 AA"},
    {12122, "5F 5F 0C 00 00 64 00 65 0A 00 5A 2F 00 00 54 8F 55 AA"},
    {12502, "5F 5F 0C 00 00 64 00 65 0A 00 D6 30 00 00 5C FA 55 AA"},
    {12504, "5F 5F 0C 00 00 64 00 65 0A 00 D8 30 00 00 1E 54 55 AA"},
};

struct StatusGolden {
  std::uint16_t id;
  std::uint16_t status;
  std::string_view frame;
};
constexpr StatusGolden kStatusReplies[] = {
    {12012, 1, "5F 5F 0E 00 00 64 00 65 0A 00 EC 2E 02 00 01 00 0A 39 55 AA"},
    {12050, 0, "5F 5F 0E 00 00 64 00 65 0A 00 12 2F 02 00 00 00 97 D2 55 AA"},
    {12057, 1, "5F 5F 0E 00 00 64 00 65 0A 00 19 2F 02 00 01 00 6A E6 55 AA"},
    {12058, 4, "5F 5F 0E 00 00 64 00 65 0A 00 1A 2F 02 00 04 00 AF 94 55 AA"},
    {12066, 3, "5F 5F 0E 00 00 64 00 65 0A 00 22 2F 02 00 03 00 2F 3F 55 AA"},
    {12072, 0, "5F 5F 0E 00 00 64 00 65 0A 00 28 2F 02 00 00 00 49 3C 55 AA"},
    {12073, 2, "5F 5F 0E 00 00 64 00 65 0A 00 29 2F 02 00 02 00 D2 0B 55 AA"},
    {12074, 1, "5F 5F 0E 00 00 64 00 65 0A 00 2A 2F 02 00 01 00 C7 2D 55 AA"},
    {12091, 1, "5F 5F 0E 00 00 64 00 65 0A 00 3B 2F 02 00 01 00 5C 6B 55 AA"},
    {12102, 1, "5F 5F 0E 00 00 64 00 65 0A 00 46 2F 02 00 01 00 82 9B 55 AA"},
    {12111, 2, "5F 5F 0E 00 00 64 00 65 0A 00 4F 2F 02 00 02 00 99 94 55 AA"},
    // Only the high byte set: a decoder that reads one byte sees 0 (refused).
    {12131, 0x0100, "5F 5F 0E 00 00 64 00 65 0A 00 63 2F 02 00 00 01 34 02 55 AA"},
    {12507, 1, "5F 5F 0E 00 00 64 00 65 0A 00 DB 30 02 00 01 00 F3 37 55 AA"},
};

// Chip "T810", company "0001", bootloader 0x0215, SizeCode 0xFF.
constexpr std::string_view kBlHello =
    "5F 5F 17 00 00 64 00 65 0A 00 F4 2E 0B 00"
    "  54 38 31 30  30 30 30 31  15 02  FF  98 63 55 AA";
// Terminal type 1.
constexpr std::string_view kLinkQueryReply =
    "5F 5F 0E 00 00 64 00 65 0A 00 F8 2E 02 00  01 00  16 6B 55 AA";
// Current App complete, 1.2.3.4, "TV100-A1"; backed-up App incomplete,
// 0.0.1.5, "TV099".
constexpr std::string_view kAppInfo =
    "5F 5F 28 00 00 64 00 65 0A 00 FA 2E 1C 00"
    "  01 00  04 03 02 01  54 56 31 30 30 2D 41 31"
    "  00 00  05 01 00 00  54 56 30 39 39 00 00 00"
    "  15 35 55 AA";
// Data version 0.0.2.30, model "M7600-EU".
constexpr std::string_view kDataInfo =
    "5F 5F 18 00 00 64 00 65 0A 00 FF 2E 0C 00"
    "  30 02 00 00  4D 37 36 30 30 2D 45 55  80 89 55 AA";
// Read-back, short form: block 1 of 3, 4 bytes.
constexpr std::string_view kAppBackupBlock =
    "5F 5F 16 00 00 64 00 65 0A 00 04 2F 0A 00"
    "  03 00  01 00  04 00  DE AD BE EF  C4 E1 55 AA";
// Read-back, long form: a u32 the PC ignores, then the counted block.
constexpr std::string_view kParaBackupBlock =
    "5F 5F 19 00 00 64 00 65 0A 00 0E 2F 0D 00"
    "  00 00 04 08  02 00  01 00  03 00  0A 0B 0C  18 20 55 AA";
constexpr std::string_view kFlashReadBlock =
    "5F 5F 1A 00 00 64 00 65 0A 00 45 2F 0E 00"
    "  00 00 06 08  01 00  00 00  04 00  FF FF 88 13  93 EE 55 AA";
constexpr std::string_view kE2ReadBlock =
    "5F 5F 18 00 00 64 00 65 0A 00 59 2F 0C 00"
    "  00 00 00 00  10 00  0F 00  02 00  55 AA  FA B7 55 AA";
// Terminal text "OK", a zero byte and "!".
constexpr std::string_view kText =
    "5F 5F 10 00 00 64 00 65 0A 00 E8 2E 04 00  4F 4B 00 21  B8 F8 55 AA";
// Length 14 but DataLen 0: the CRC sits at 14 where DataLen puts it, two
// stray bytes follow before the tail.
constexpr std::string_view kRamAckWithStrayBytes =
    "5F 5F 0E 00 00 64 00 65 0A 00 31 2F 00 00  A5 D6  77 77  55 AA";

// Parses a golden reply, checks that the receive path accepts it and
// returns its payload.
ByteView AcceptedPayload(const Bytes& frame, std::uint16_t wantId) {
  EXPECT_EQ(CheckReceivedCrc(frame), link::CrcCheck::kGood)
      << "CRC check refused a golden " << wantId;
  FrameView view;
  if (!ParseFrame(frame, view)) {
    ADD_FAILURE() << "ParseFrame refused a golden " << wantId;
    return {};
  }
  EXPECT_EQ(view.addrWord1, 0x6400);
  EXPECT_EQ(view.addrWord2, 0x6500);
  EXPECT_EQ(view.msgId, wantId);
  EXPECT_EQ(view.dataLen, frame.size() - 18);
  return view.payload;
}

// ---- CRC ---------------------------------------------------------------------

TEST(GoldenCrc, ReferenceMatchesCheckValuesAndReferenceFrames) {
  EXPECT_EQ(RefCrc(Text("123456789")), 0x6F91);
  EXPECT_EQ(RefCrc(Text("abc")), 0x61DA);
  EXPECT_EQ(RefCrc(Hex("00 65 00 64 0A 00 F9 2E 00 00")), 0x8050);
  EXPECT_EQ(RefCrc(Hex("00 65 00 64 0A 00 F6 2E 00 00")), 0x32A9);
  EXPECT_EQ(RefCrc(Hex("00 65 00 64 0A 00 58 2F 0A 00 00 00 00 00 20 00 00 00 FF FF")), 0x6257);
  EXPECT_EQ(RefCrc(Hex("00 64 00 65 0A 00 E5 2E 00 00")), 0x06ED);
}

TEST(GoldenCrc, ComputeCrcMatchesCheckValuesAndTableEntries) {
  const Bytes digits = Text("123456789");
  const Bytes abc = Text("abc");
  EXPECT_EQ(ComputeCrc(digits.data(), 9), 0x6F91);
  EXPECT_EQ(ComputeCrc(abc.data(), 3), 0x61DA);
  EXPECT_EQ(ComputeCrc(digits.data(), 0), 0xFFFF) << "no bytes: the initial value";
  EXPECT_EQ(ComputeCrc(digits.data(), -1), 0xFFFF) << "negative count: the initial value";
  EXPECT_EQ(CrcTableEntry(0), 0x0000);
  EXPECT_EQ(CrcTableEntry(1), 0x1189);
  EXPECT_EQ(CrcTableEntry(128), 0x8408);
  EXPECT_EQ(CrcTableEntry(255), 0x0F78);
  const Bytes big = Pattern(4096);
  EXPECT_EQ(ComputeCrc(big.data(), 4096), RefCrc(big));
}

// Guards the goldens themselves: a hand-laid byte that is wrong shows here
// and not as a builder fault.
TEST(GoldenCrc, EveryHandLaidFrameCarriesTheReferenceCrc) {
  std::vector<std::pair<std::string, Bytes>> goldens = {
      {"E2 header read", Hex(kE2ReadHeader)},
      {"App backup start", Hex(kAppBackupStart)},
      {"App download start", Hex(kAppDownloadStart)},
      {"para backup start", Hex(kParaBackupStart)},
      {"para backup start ex", Hex(kParaBackupStartEx)},
      {"flash read", Hex(kFlashRead)},
      {"E2 read all", Hex(kE2ReadAll)},
      {"resend para", Hex(kResendPara)},
      {"resend E2", Hex(kResendE2)},
      {"resend App", Hex(kResendApp)},
      {"BL image block", Hex(kBlImageBlock)},
      {"RAM block", Hex(kRamBlock)},
      {"App last block", Hex(kAppLastBlock)},
      {"para last block", Hex(kParaLastBlock)},
      {"flash odd last", Hex(kFlashOddLast)},
      {"flash even last", Hex(kFlashEvenLast)},
      {"flash marker", Hex(kFlashMarker)},
      {"E2 odd last", Hex(kE2OddLast)},
      {"App descriptor", AppDescriptorFrame("E2 07 07 09 0D 2D 1E FF", "7D F5")},
      {"App descriptor, no clock", AppDescriptorFrame("00 00 00 00 FF FF FF FF", "E3 DE")},
      {"App full block", AppFullBlockFrame()},
      {"para header block", ParaHeaderFrame()},
      {"E2 full block", E2FullBlockFrame()},
      {"flash full block", FlashFullBlockFrame()},
      {"hello, any tail", Hex(kHelloAnyTail)},
      {"BL hello", Hex(kBlHello)},
      {"link query reply", Hex(kLinkQueryReply)},
      {"App info", Hex(kAppInfo)},
      {"data info", Hex(kDataInfo)},
      {"App backup block", Hex(kAppBackupBlock)},
      {"para backup block", Hex(kParaBackupBlock)},
      {"flash read block", Hex(kFlashReadBlock)},
      {"E2 read block", Hex(kE2ReadBlock)},
      {"text", Hex(kText)},
  };
  for (const auto& c : kNoPayloadCommands)
    goldens.push_back({std::string(MessageName(c.id)), Hex(c.frame)});
  for (const auto& a : kReadBackAcks) {
    goldens.push_back({std::string(MessageName(a.id)) + " go on", Hex(a.goOn)});
    goldens.push_back({std::string(MessageName(a.id)) + " last", Hex(a.last)});
  }
  for (const auto& r : kNoPayloadReplies)
    goldens.push_back({std::string(MessageName(r.id)), Hex(r.frame)});
  for (const auto& s : kStatusReplies)
    goldens.push_back({std::string(MessageName(s.id)), Hex(s.frame)});

  for (const auto& [name, frame] : goldens) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(CarriesRefCrc(frame));
    // Length counts the bytes from AddrWord1 through the CRC.
    EXPECT_EQ(frame[2] | (frame[3] << 8), static_cast<int>(frame.size() - 6));
  }
}

// ---- Frames the PC sends -------------------------------------------------------

TEST(GoldenFrame, CommandsWithoutPayloadAre18Bytes) {
  for (const auto& c : kNoPayloadCommands) {
    SCOPED_TRACE(MessageName(c.id));
    const Bytes built = BuildFrame(c.id, {});
    EXPECT_EQ(FieldDiff(built, Hex(c.frame), FrameFields(0)), "");
    EXPECT_EQ(FrameMsgId(built), c.id);
  }
}

TEST(GoldenFrame, BuilderCopiesTheTemplateWords) {
  // A template is filled once and copied: its words appear as they are, and
  // Length is rewritten for every frame.
  FrameTemplate tpl;
  tpl.length = 0x7777;
  EXPECT_EQ(FieldDiff(BuildFrame(MsgConnect, {}, tpl), Hex(kConnect), FrameFields(0)), "");
}

TEST(GoldenAddressRequests, AppBackupStartAndDownloadStartCarryTheAppAreaAddress) {
  const Fields fields = FrameFields(4, {{"App area address", 0, 4}});
  EXPECT_EQ(FieldDiff(BuildFrame(MsgAppBackupStart, U32Payload(0x08020000)), Hex(kAppBackupStart),
                      fields),
            "");
  EXPECT_EQ(FieldDiff(BuildFrame(MsgAppDownloadStart, U32Payload(0x08020000)),
                      Hex(kAppDownloadStart), fields),
            "");
}

TEST(GoldenAddressRequests, ParaBackupStartCarriesAreaAddressThenLength) {
  EXPECT_EQ(FieldDiff(BuildFrame(MsgParaBackupStart, U32PairPayload(0x08040000, 0x6000)),
                      Hex(kParaBackupStart),
                      FrameFields(8, {{"area address", 0, 4}, {"area length", 4, 4}})),
            "");
}

TEST(GoldenAddressRequests, ParaBackupStartExCarriesAddressLengthThenArgument) {
  EXPECT_EQ(
      FieldDiff(
          BuildFrame(MsgParaBackupStartEx, U32TriplePayload(0x08040000, 0x6000, 0x12345678)),
          Hex(kParaBackupStartEx),
          FrameFields(12,
                      {{"area address", 0, 4}, {"area length", 4, 4}, {"third list entry", 8, 4}})),
      "");
}

TEST(GoldenAddressRequests, FlashReadCarriesAddressThenLength64) {
  EXPECT_EQ(FieldDiff(BuildFrame(MsgFlashRead, U32PairPayload(0x08060000, 64)), Hex(kFlashRead),
                      FrameFields(8, {{"address", 0, 4}, {"length", 4, 4}})),
            "");
}

TEST(GoldenE2Read, AddressLengthThenFFFF) {
  const Fields fields =
      FrameFields(10, {{"address", 0, 4}, {"length", 4, 4}, {"trailing FFFF word", 8, 2}});
  EXPECT_EQ(FieldDiff(BuildFrame(MsgE2Read, E2ReadPayload(0, 32)), Hex(kE2ReadHeader), fields), "");
  EXPECT_EQ(FieldDiff(BuildFrame(MsgE2Read, E2ReadPayload(0, 0x10000)), Hex(kE2ReadAll), fields),
            "");
}

TEST(GoldenReadBackAck, GoOnIsOneLastBlockIsZero) {
  const Fields fields = FrameFields(2, {{"go-on word", 0, 2}});
  for (const auto& a : kReadBackAcks) {
    SCOPED_TRACE(MessageName(a.id));
    EXPECT_EQ(FieldDiff(BuildFrame(a.id, ReadBackAckPayload(false)), Hex(a.goOn), fields), "");
    EXPECT_EQ(FieldDiff(BuildFrame(a.id, ReadBackAckPayload(true)), Hex(a.last), fields), "");
  }
}

TEST(GoldenResendRequest, ThirtyBytesWithDataLenTenAndCrcOverTwentyTwo) {
  const Fields fields = FrameFields(12, ResendFields());
  EXPECT_EQ(
      FieldDiff(ResendRequestFrame(MsgParaBackupBlock, 0x08040000, 7, 3), Hex(kResendPara), fields),
      "");
  EXPECT_EQ(FieldDiff(ResendRequestFrame(MsgE2Read, 0, 16, 5), Hex(kResendE2), fields), "");
  EXPECT_EQ(
      FieldDiff(ResendRequestFrame(MsgAppBackupBlock, 0x08020000, 32, 31), Hex(kResendApp), fields),
      "");

  // The payload on its own, and the frame built from it with the declared
  // DataLen, give the same bytes.
  const Bytes payload = ResendRequestPayload(MsgParaBackupBlock, 0x08040000, 7, 3);
  EXPECT_EQ(FieldDiff(payload, Hex("00 00 0E 2F 00 00 04 08 07 00 03 00"), ResendFields()), "");
  EXPECT_EQ(kResendRequestDataLen, 10);
  EXPECT_EQ(
      FieldDiff(BuildFrameWithDataLen(MsgResendRequest, payload, 10), Hex(kResendPara), fields),
      "");
}

TEST(GoldenCountedBlock, BootloaderAndRamLoaderBlocks) {
  EXPECT_EQ(FieldDiff(BuildFrame(MsgBlImageBlock, CountedBlockPayload(9, 8, Hex("11 22 33 44 55"))),
                      Hex(kBlImageBlock), FrameFields(11, CountedFields(5))),
            "");
  EXPECT_EQ(FieldDiff(BuildFrame(MsgRamBlock, CountedBlockPayload(3, 2, Hex("DE AD BE"))),
                      Hex(kRamBlock), FrameFields(9, CountedFields(3))),
            "");
}

TEST(GoldenAppBlock, DataBlocksOneByteAndFull) {
  const Bytes last = BuildFrame(MsgAppBlock, CountedBlockPayload(2, 1, Hex("A5")));
  EXPECT_EQ(FieldDiff(last, Hex(kAppLastBlock), FrameFields(7, CountedFields(1))), "");
  EXPECT_EQ(last.size(), 25u);

  const Bytes full = BuildFrame(MsgAppBlock, CountedBlockPayload(32, 1, Pattern(4096)));
  EXPECT_EQ(FieldDiff(full, AppFullBlockFrame(), FrameFields(4102, CountedFields(4096))), "");
}

TEST(GoldenAppDescriptor, Block0CarriesMarkFileLengthAndTime) {
  const Bytes chunk = AppDescriptorChunk(123456, kStamp);
  const Bytes golden = AppDescriptorFrame("E2 07 07 09 0D 2D 1E FF", "7D F5");
  // The chunk alone (at frame offset 20) and in its frame.
  EXPECT_EQ(FieldDiff(chunk, ByteView(golden).subspan(20, 4096), DescriptorFields()), "");
  const Fields fields =
      FrameFields(4102, Join({CountedFields(4096), Shift(DescriptorFields(), 6)}));
  EXPECT_EQ(FieldDiff(BuildFrame(MsgAppBlock, CountedBlockPayload(32, 0, chunk)), golden, fields),
            "");
}

TEST(GoldenAppDescriptor, UnreadableClockGivesZeroDateAndFFTime) {
  const Bytes chunk = AppDescriptorChunk(123456, kUnreadableTime);
  const Bytes golden = AppDescriptorFrame("00 00 00 00 FF FF FF FF", "E3 DE");
  EXPECT_EQ(FieldDiff(chunk, ByteView(golden).subspan(20, 4096), DescriptorFields()), "");
  EXPECT_EQ(FieldDiff(BuildFrame(MsgAppBlock, CountedBlockPayload(32, 0, chunk)), golden,
                      FrameFields(4102, Join({CountedFields(4096), Shift(DescriptorFields(), 6)}))),
            "");
}

TEST(GoldenParaHeader, Block0IsThe512ByteStampedHeader) {
  const Bytes image = Pattern(512 + 5000);
  const auto chunk = ParaHeaderChunk(image, kStamp);
  ASSERT_TRUE(chunk.has_value());
  const Bytes golden = ParaHeaderFrame();
  ASSERT_EQ(golden.size(), 544u);  // Length 538, DataLen 526
  EXPECT_EQ(FieldDiff(*chunk, ByteView(golden).subspan(28, 512), ParaHeaderFields()), "");
  const Fields fields = FrameFields(526, Join({AreaFields(512), Shift(ParaHeaderFields(), 14)}));
  EXPECT_EQ(FieldDiff(BuildFrame(MsgParaBlock, AreaBlockPayload(0x08040000, 0x6000, 3, 0, *chunk)),
                      golden, fields),
            "");
  EXPECT_EQ(image, Pattern(512 + 5000)) << "the image itself is not stamped";
}

TEST(GoldenParaHeader, HeaderOnlyImageAnnouncesZeroDataBytes) {
  const auto chunk = ParaHeaderChunk(Pattern(512), kStamp);
  ASSERT_TRUE(chunk.has_value());
  const Bytes image = Pattern(512);
  const Bytes golden =
      Cat({Hex("FF FF  00 00 00 00"), Bytes(image.begin() + 6, image.begin() + 56),
           Hex("E2 07 07 09 0D 2D 1E FF"), Bytes(image.begin() + 64, image.end())});
  EXPECT_EQ(FieldDiff(*chunk, golden, ParaHeaderFields()), "");
}

TEST(GoldenParaHeader, ImageShorterThanItsHeaderIsRefused) {
  EXPECT_FALSE(ParaHeaderChunk(Pattern(511), kStamp).has_value());
  EXPECT_FALSE(ParaHeaderChunk(Bytes{}, kStamp).has_value());
}

TEST(GoldenParaBlock, DataBlockCarriesAreaAddressAndLengthBeforeTheCountedChunk) {
  EXPECT_EQ(FieldDiff(BuildFrame(MsgParaBlock,
                                 AreaBlockPayload(0x08040000, 0x6000, 3, 2, Hex("10 20 30"))),
                      Hex(kParaLastBlock), FrameFields(17, AreaFields(3))),
            "");
}

TEST(GoldenFlashWrite, OddLastChunkIsPaddedAndItsLengthFieldKeepsTheTrueCount) {
  Bytes image(4097, 0);
  image[4096] = 0x5A;
  const Bytes built =
      BuildFrame(MsgFlashWriteBlock,
                 AddressedBlockPayload(0x08100000, 2, 1, image, 4096, 1, OddChunk::PadToEven));
  EXPECT_EQ(FieldDiff(built, Hex(kFlashOddLast), FrameFields(12, AddressedFields(2))), "");
}

TEST(GoldenFlashWrite, EvenLastChunkIsNotPadded) {
  Bytes image(4098, 0);
  image[4096] = 0x5A;
  image[4097] = 0x5B;
  const Bytes built =
      BuildFrame(MsgFlashWriteBlock,
                 AddressedBlockPayload(0x08100000, 2, 1, image, 4096, 2, OddChunk::PadToEven));
  EXPECT_EQ(FieldDiff(built, Hex(kFlashEvenLast), FrameFields(12, AddressedFields(2))), "");
}

TEST(GoldenFlashWrite, OddChunkInsideTheBufferIsPaddedWithTheNextByte) {
  const Bytes image = Hex("01 02 03 04 05");
  EXPECT_EQ(FieldDiff(AddressedBlockPayload(0x08100000, 1, 0, image, 0, 3, OddChunk::PadToEven),
                      Hex("00 00 10 08  01 00  00 00  03 00  01 02 03 04"), AddressedFields(4)),
            "");
}

TEST(GoldenFlashWrite, MarkerIsFFFFAnd42ZerosAt0x18200000) {
  const Bytes marker = FlashMarkerImage();
  EXPECT_EQ(FieldDiff(marker, Cat({Hex("FF FF"), Zeros(42)}), {{"marker", 0, 44}}), "");
  EXPECT_EQ(kFlashMarkerAddress, 0x18200000u);
  const Bytes built =
      BuildFrame(MsgFlashWriteBlock, AddressedBlockPayload(kFlashMarkerAddress, 1, 0, marker, 0,
                                                           marker.size(), OddChunk::PadToEven));
  EXPECT_EQ(FieldDiff(built, Hex(kFlashMarker), FrameFields(54, AddressedFields(44))), "");
}

TEST(GoldenFlashWrite, FullBlockIs4124Bytes) {
  const Bytes image = Pattern(8192);
  const Bytes built =
      BuildFrame(MsgFlashWriteBlock,
                 AddressedBlockPayload(0x08100000, 2, 0, image, 0, 4096, OddChunk::PadToEven));
  EXPECT_EQ(FieldDiff(built, FlashFullBlockFrame(), FrameFields(4106, AddressedFields(4096))), "");
}

TEST(GoldenE2Write, OddLastChunkIsSentAsItIs) {
  Bytes image(4097, 0);
  image[4096] = 0x5A;
  const Bytes built = BuildFrame(
      MsgE2WriteBlock, AddressedBlockPayload(0, 2, 1, image, 4096, 1, OddChunk::SendAsIs));
  EXPECT_EQ(FieldDiff(built, Hex(kE2OddLast), FrameFields(11, AddressedFields(1))), "");
}

TEST(GoldenE2Write, LastFullBlockOfA64KImage) {
  const Bytes image = Pattern(65536);
  const Bytes built = BuildFrame(
      MsgE2WriteBlock, AddressedBlockPayload(0, 16, 15, image, 61440, 4096, OddChunk::SendAsIs));
  EXPECT_EQ(FieldDiff(built, E2FullBlockFrame(), FrameFields(4106, AddressedFields(4096))), "");
}

// ---- Frames the PC receives ----------------------------------------------------

TEST(GoldenReceivedFrame, ReferenceHelloIsAcceptedWhateverItsTail) {
  const Bytes hello = Hex(kHelloAnyTail);
  AcceptedPayload(hello, MsgHello);
  FrameAssembler rx;
  ASSERT_EQ(FeedAll(rx, Cat({Hex("00 5F 13"), hello})), FrameAssembler::Result::kComplete);
  EXPECT_EQ(FieldDiff(rx.Frame(), hello, FrameFields(0)), "");
}

TEST(GoldenReceivedFrame, AnyCorruptedCoveredByteFailsTheCrc) {
  const Bytes hello = Hex(kHelloAnyTail);
  // Bytes 4..13 are covered, 14..15 are the CRC itself.
  for (std::size_t i = 4; i < 16; ++i) {
    Bytes bad = hello;
    bad[i] ^= 0x01;
    EXPECT_EQ(CheckReceivedCrc(bad), link::CrcCheck::kError) << "byte " << i;
  }
  Bytes badInfo = Hex(kAppInfo);
  badInfo[20] ^= 0x80;  // inside the payload
  EXPECT_EQ(CheckReceivedCrc(badInfo), link::CrcCheck::kError);
}

TEST(GoldenReceivedFrame, DataLenNotLengthLocatesTheCrc) {
  const Bytes frame = Hex(kRamAckWithStrayBytes);
  ASSERT_EQ(RefCrc(ByteView(frame).subspan(4, 10)), 0xD6A5) << "the golden itself";
  EXPECT_EQ(CheckReceivedCrc(frame), link::CrcCheck::kGood);
  FrameAssembler rx;
  ASSERT_EQ(FeedAll(rx, frame), FrameAssembler::Result::kComplete);
  EXPECT_EQ(rx.Frame().size(), 20u) << "Length 14 collects 20 bytes";
  FrameView view;
  ASSERT_TRUE(ParseFrame(frame, view));
  EXPECT_EQ(view.msgId, MsgRamBlockAck);
  EXPECT_EQ(view.dataLen, 0);
  EXPECT_TRUE(view.payload.empty());
}

TEST(GoldenReceivedFrame, PcDirectionAndTooShortFramesAreDropped) {
  FrameAssembler rx;
  EXPECT_EQ(FeedAll(rx, Hex(kReadAppInfo)), FrameAssembler::Result::kWrongAddress);
  // Length 9 is below the smallest header: hunting starts again, and the
  // next good frame is still found.
  EXPECT_EQ(FeedAll(rx, Hex("5F 5F 09 00 00 64 00 65 0A")), FrameAssembler::Result::kPending);
  EXPECT_EQ(FeedAll(rx, Hex(kHelloAnyTail)), FrameAssembler::Result::kComplete);
}

TEST(GoldenReceivedFrame, RepliesWithoutPayload) {
  for (const auto& r : kNoPayloadReplies) {
    SCOPED_TRACE(MessageName(r.id));
    const Bytes golden = Hex(r.frame);
    EXPECT_TRUE(AcceptedPayload(golden, r.id).empty());
    FrameAssembler rx;
    EXPECT_EQ(FeedAll(rx, golden), FrameAssembler::Result::kComplete);
    // The simulator sends these with the terminal frame builder.
    EXPECT_EQ(FieldDiff(BuildTerminalFrame(r.id, {}), golden, FrameFields(0)), "");
  }
}

TEST(GoldenStatusReplies, StatusWordIsTheFirstU16) {
  for (const auto& s : kStatusReplies) {
    SCOPED_TRACE(MessageName(s.id));
    const Bytes golden = Hex(s.frame);
    EXPECT_EQ(DecodeStatusWord(AcceptedPayload(golden, s.id)), s.status);
    EXPECT_EQ(FieldDiff(BuildTerminalFrame(s.id, StatusPayload(s.status)), golden,
                        FrameFields(2, {{"status word", 0, 2}})),
              "");
  }
  EXPECT_FALSE(DecodeStatusWord(Hex("01")).has_value());
  EXPECT_FALSE(DecodeStatusWord(Bytes{}).has_value());
}

TEST(GoldenBlHello, ChipCompanyVersionAndSizeCode) {
  const Bytes golden = Hex(kBlHello);
  const auto hello = DecodeBlHello(AcceptedPayload(golden, MsgBlHello));
  ASSERT_TRUE(hello.has_value());
  EXPECT_EQ(Chars(hello->chipNum.data(), 4), "T810") << "chip number at 0";
  EXPECT_EQ(Chars(hello->companyNum.data(), 4), "0001") << "company number at 4";
  EXPECT_EQ(hello->blVersion, 0x0215) << "bootloader version at 8";
  EXPECT_EQ(hello->sizeCode, 0xFF) << "SizeCode at 10";

  const Fields fields = {{"chip number", 0, 4},
                         {"company number", 4, 4},
                         {"bootloader version", 8, 2},
                         {"SizeCode", 10, 1}};
  EXPECT_EQ(FieldDiff(BuildTerminalFrame(MsgBlHello, EncodeBlHello(*hello)), golden,
                      FrameFields(11, fields)),
            "");

  const auto newer = DecodeBlHello(Hex("48 4B 33 32  41 42 43 44  30 02  20"));
  ASSERT_TRUE(newer.has_value());
  EXPECT_EQ(newer->blVersion, 0x0230);
  EXPECT_EQ(newer->sizeCode, 0x20);
  EXPECT_EQ(Chars(newer->chipNum.data(), 4), "HK32");
  EXPECT_EQ(Chars(newer->companyNum.data(), 4), "ABCD");

  EXPECT_FALSE(DecodeBlHello(Hex("48 4B 33 32  41 42 43 44  30 02")).has_value())
      << "10 bytes: SizeCode missing";
}

TEST(GoldenLinkQueryReply, TerminalTypeIsTheFirstWord) {
  const Bytes golden = Hex(kLinkQueryReply);
  EXPECT_EQ(DecodeLinkQueryReply(AcceptedPayload(golden, MsgLinkQueryReply)), 1);
  EXPECT_EQ(DecodeLinkQueryReply(Hex("34 12")), 0x1234);
  EXPECT_FALSE(DecodeLinkQueryReply(Hex("01")).has_value());
  EXPECT_FALSE(DecodeLinkQueryReply(Bytes{}).has_value());
}

TEST(GoldenAppInfo, CurrentRecordAt0BackupRecordAt14) {
  const Bytes golden = Hex(kAppInfo);
  const auto info = DecodeAppInfo(AcceptedPayload(golden, MsgAppInfo));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->current.present, 1) << "current present flag at 0";
  EXPECT_EQ(info->current.version, 0x01020304u) << "current version at 2";
  EXPECT_EQ(Chars(info->current.model.data(), 8), "TV100-A1") << "current model at 6";
  EXPECT_EQ(info->backup.present, 0) << "backup present flag at 14";
  EXPECT_EQ(info->backup.version, 0x00000105u) << "backup version at 16";
  EXPECT_EQ(Chars(info->backup.model.data(), 8), std::string("TV099\0\0\0", 8))
      << "backup model at 20";

  const Fields record = {{"present flag", 0, 2}, {"version", 2, 4}, {"model", 6, 8}};
  Fields fields = Join({Shift(record, 0), Shift(record, 14)});
  for (std::size_t i = 0; i < fields.size(); ++i)
    fields[i].name = (i < 3 ? "current " : "backup ") + fields[i].name;
  EXPECT_EQ(FieldDiff(BuildTerminalFrame(MsgAppInfo, EncodeAppInfo(*info)), golden,
                      FrameFields(28, fields)),
            "");
  const Bytes payload = Bytes(golden.begin() + 14, golden.end() - 4);
  EXPECT_FALSE(DecodeAppInfo(ByteView(payload).first(27)).has_value());
}

TEST(GoldenDataInfo, VersionThenModel) {
  const Bytes golden = Hex(kDataInfo);
  const auto info = DecodeDataInfo(AcceptedPayload(golden, MsgDataInfo));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->version, 0x00000230u) << "data version at 0";
  EXPECT_EQ(Chars(info->model.data(), 8), "M7600-EU") << "model at 4";
  EXPECT_EQ(FieldDiff(BuildTerminalFrame(MsgDataInfo, EncodeDataInfo(*info)), golden,
                      FrameFields(12, {{"data version", 0, 4}, {"model", 4, 8}})),
            "");
  EXPECT_FALSE(DecodeDataInfo(Hex("30 02 00 00 4D 37 36 30 30 2D 45")).has_value());
}

TEST(GoldenReadBack, ShortFormHasTheBlockHeaderAt0) {
  const Bytes golden = Hex(kAppBackupBlock);
  const auto block = DecodeReadBackShort(AcceptedPayload(golden, MsgAppBackupBlock));
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->blockCount, 3) << "block count at 0";
  EXPECT_EQ(block->blockNumber, 1) << "block number at 2";
  EXPECT_EQ(block->length, 4) << "chunk length at 4";
  EXPECT_EQ(Bytes(block->data.begin(), block->data.end()), Hex("DE AD BE EF")) << "chunk data at 6";
  EXPECT_EQ(FieldDiff(BuildTerminalFrame(MsgAppBackupBlock,
                                         EncodeReadBackShort(3, 1, Hex("DE AD BE EF"))),
                      golden, FrameFields(10, CountedFields(4))),
            "");

  // L = 5 with 4 bytes present, and a payload without the whole header.
  EXPECT_FALSE(DecodeReadBackShort(Hex("03 00 01 00 05 00 DE AD BE EF")).has_value());
  EXPECT_FALSE(DecodeReadBackShort(Hex("03 00 01 00 04")).has_value());
  const auto empty = DecodeReadBackShort(Hex("01 00 00 00 00 00"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->data.empty());
}

TEST(GoldenReadBack, LongFormHasTheBlockHeaderAfterAnIgnoredWord) {
  struct Case {
    std::uint16_t id;
    std::string_view frame;
    std::uint32_t address;
    std::uint16_t count;
    std::uint16_t number;
    std::string_view data;
  };
  const Case cases[] = {
      {MsgParaBackupBlock, kParaBackupBlock, 0x08040000, 2, 1, "0A 0B 0C"},
      {MsgFlashReadBlock, kFlashReadBlock, 0x08060000, 1, 0, "FF FF 88 13"},
      {MsgE2ReadBlock, kE2ReadBlock, 0, 16, 15, "55 AA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(MessageName(c.id));
    const Bytes golden = Hex(c.frame);
    const auto block = DecodeReadBackLong(AcceptedPayload(golden, c.id));
    ASSERT_TRUE(block.has_value());
    const Bytes data = Hex(c.data);
    EXPECT_EQ(block->address, c.address) << "word at 0";
    EXPECT_EQ(block->blockCount, c.count) << "block count at 4";
    EXPECT_EQ(block->blockNumber, c.number) << "block number at 6";
    EXPECT_EQ(block->length, data.size()) << "chunk length at 8";
    EXPECT_EQ(Bytes(block->data.begin(), block->data.end()), data) << "chunk data at 10";
    EXPECT_EQ(
        FieldDiff(BuildTerminalFrame(c.id, EncodeReadBackLong(c.address, c.count, c.number, data)),
                  golden, FrameFields(10 + data.size(), AddressedFields(data.size()))),
        "");
  }
  EXPECT_FALSE(DecodeReadBackLong(Hex("00 00 04 08 02 00 01 00 04 00 0A 0B 0C")).has_value())
      << "L = 4 with 3 bytes present";
  EXPECT_FALSE(DecodeReadBackLong(Hex("00 00 04 08 02 00 01 00 03")).has_value())
      << "9 bytes: no whole header";
}

TEST(GoldenText, PayloadSpansDataLenBytes) {
  const Bytes golden = Hex(kText);
  const ByteView payload = AcceptedPayload(golden, MsgText);
  EXPECT_EQ(Bytes(payload.begin(), payload.end()), Hex("4F 4B 00 21"));
  EXPECT_EQ(FieldDiff(BuildTerminalFrame(MsgText, Hex("4F 4B 00 21")), golden,
                      FrameFields(4, {{"text", 0, 4}})),
            "");
}

}  // namespace
}  // namespace tavro::link
