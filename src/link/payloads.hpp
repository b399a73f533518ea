#pragma once
// Payload layouts of the protocol: builders for what the PC sends and
// bounds-checked decoders for what it reads. Decoders never read past the
// payload they are given; a short payload yields std::nullopt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/byte_order.hpp"
#include "link/time_stamp.hpp"

namespace tavro::link {

inline constexpr std::size_t kBlockSize = 4096;
inline constexpr std::size_t kParaHeaderBlockSize = 512;
inline constexpr std::uint32_t kFlashMarkerAddress = 0x18200000;
inline constexpr std::size_t kFlashMarkerSize = 44;

// ---- Builders -------------------------------------------------------------

// u16 count, u16 number, u16 L, L bytes (App, RAM loader and bootloader blocks).
Bytes CountedBlockPayload(std::uint16_t frameSum, std::uint16_t frameNum, ByteView chunk);

// How an odd chunk is sent in an addressed block: the Flash write pads it to
// an even byte count (the length field keeps the true count); the E2PROM
// write sends it as it is.
enum class OddChunk { SendAsIs, PadToEven };

// The byte that extends an odd last Flash-write chunk when the image has no
// next byte: erased Flash, so the extra byte can never change a cell.
inline constexpr std::uint8_t kPadByte = 0xFF;

// u32 address, u16 count, u16 number, u16 L, then the chunk image[offset,
// offset+length). With PadToEven an odd length is followed by the next byte
// of the image (kPadByte past its end). offset + length must lie in image.
Bytes AddressedBlockPayload(std::uint32_t address, std::uint16_t frameSum, std::uint16_t frameNum,
                            ByteView image, std::size_t offset, std::size_t length, OddChunk odd);

// u32 area address, u32 area length, u16 count, u16 number, u16 L, L bytes.
Bytes AreaBlockPayload(std::uint32_t areaAddr, std::uint32_t areaLen, std::uint16_t frameSum,
                       std::uint16_t frameNum, ByteView chunk);

// Block 0 of an App download: 4096 bytes, 0xFFFF, the App file length, the
// download time and 0xFF at 43.
Bytes AppDescriptorChunk(std::uint32_t appFileLength, const TimeStamp& when);

// Block 0 of a Flash parameter download: the image's first 512 bytes with
// mark 0xFFFF, length = image size - 512, the time at 56..62 and 0xFF at 63.
// std::nullopt when the image is shorter than its 512-byte header.
std::optional<Bytes> ParaHeaderChunk(ByteView image, const TimeStamp& when);

// Read-back acknowledgement: 1 = send the next block, 0 = last block arrived.
Bytes ReadBackAckPayload(bool lastBlock);

// 12006: u16 0, u16 id being read, u32 read address, u16 count, u16 number.
// Sent with DataLen 10 although the payload is 12 bytes.
Bytes ResendRequestPayload(std::uint16_t readMsgId, std::uint32_t address, std::uint16_t frameSum,
                           std::uint16_t frameNum);
inline constexpr std::uint16_t kResendRequestDataLen = 10;
Bytes ResendRequestFrame(std::uint16_t readMsgId, std::uint32_t address, std::uint16_t frameSum,
                         std::uint16_t frameNum);

Bytes U32Payload(std::uint32_t a);                                          // 12035, 12055
Bytes U32PairPayload(std::uint32_t a, std::uint32_t b);                     // 12045, 12100
Bytes U32TriplePayload(std::uint32_t a, std::uint32_t b, std::uint32_t c);  // 12049
Bytes E2ReadPayload(std::uint32_t address, std::uint32_t length);           // 12120
Bytes StatusPayload(std::uint16_t status);  // replies with a status word

// The 44-byte chunk written to the Flash marker address: FF FF, 42 zeros.
Bytes FlashMarkerImage();

// ---- Decoders -------------------------------------------------------------

std::optional<std::uint16_t> DecodeStatusWord(ByteView payload);

// Read-back blocks: short form (12036) has the block header at 0, long form
// (12046, 12101, 12121) after a u32 the PC ignores. `data` holds exactly the
// announced L bytes; a block whose L runs past the payload is refused.
struct ReadBackBlock {
  std::uint32_t address = 0;  // long form only
  std::uint16_t blockCount = 0;
  std::uint16_t blockNumber = 0;
  std::uint16_t length = 0;
  ByteView data;
};
std::optional<ReadBackBlock> DecodeReadBackShort(ByteView payload);
std::optional<ReadBackBlock> DecodeReadBackLong(ByteView payload);

struct BlHello {  // 12020
  std::array<char, 4> chipNum{};
  std::array<char, 4> companyNum{};
  std::uint16_t blVersion = 0;
  std::uint8_t sizeCode = 0;  // raw byte; 0xFF means 16
};
inline constexpr std::size_t kBlHelloSize = 11;
std::optional<BlHello> DecodeBlHello(ByteView payload);

struct AppRecord {
  std::uint16_t present = 0;
  std::uint32_t version = 0;  // four BCD bytes
  std::array<char, 8> model{};
};
struct AppInfo {  // 12026
  AppRecord current;
  AppRecord backup;
};
inline constexpr std::size_t kAppInfoSize = 28;
std::optional<AppInfo> DecodeAppInfo(ByteView payload);

struct DataInfo {  // 12031
  std::uint32_t version = 0;
  std::array<char, 8> model{};
};
inline constexpr std::size_t kDataInfoSize = 12;
std::optional<DataInfo> DecodeDataInfo(ByteView payload);

std::optional<std::uint16_t> DecodeLinkQueryReply(ByteView payload);  // 12024

// Payload encoders for the terminal side (simulator, tests), mirroring the
// decoders above.
Bytes EncodeBlHello(const BlHello& hello);
Bytes EncodeAppInfo(const AppInfo& info);
Bytes EncodeDataInfo(const DataInfo& info);
Bytes EncodeReadBackShort(std::uint16_t count, std::uint16_t number, ByteView data);
Bytes EncodeReadBackLong(std::uint32_t address, std::uint16_t count, std::uint16_t number,
                         ByteView data);

}  // namespace tavro::link
