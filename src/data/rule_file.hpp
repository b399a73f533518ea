#pragma once
// Rule files: how one conversion step produces each destination image. A
// rule file is a sequence of blocks; a block is a 120-byte header naming the
// image it produces, then records up to a zero byte (where the next block's
// header starts) or the end of the file. Little-endian u32 fields.
//
// ParseRuleFile checks the whole file before any of it is used, so a
// conversion never starts on a file it would have to give up half-way, and
// nothing is read or sized from an unchecked field.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/byte_order.hpp"

namespace tavro::data {

inline constexpr std::size_t kRuleHeaderSize = 120;
inline constexpr std::size_t kValueRecordSize = 87;
inline constexpr std::size_t kTextRecordSize = 283;
inline constexpr std::size_t kRuleNameSize = 30;
inline constexpr std::size_t kRuleTextSize = 200;
inline constexpr std::size_t kRuleModelSize = 8;
inline constexpr std::uint8_t kTextRecordKind = 2;
// Where a record's kind byte would stand, a zero byte ends the block.
inline constexpr std::uint8_t kBlockMark = 0;

// The largest image one block may produce and the largest rule or source
// file read: far above any terminal's parameter data (64 KiB), low enough
// that a damaged count cannot exhaust the memory.
inline constexpr std::uint64_t kMaxRuleImageSize = std::uint64_t{16} << 20;

// How a record produces its bytes.
enum RuleMode : std::uint32_t {
  kModeCopy = 0,
  kModeFill = 1,
  kModeText8 = 2,
  kModeText16 = 3,
  kModeAnd = 4,
  kModeOr = 5,
};

using RuleName = std::array<std::uint8_t, kRuleNameSize>;

struct RuleBlockHeader {
  std::size_t offset = 0;  // of the header in the file
  RuleName outName{};
  std::uint8_t srcHasHeader = 0;
  std::uint32_t modelFromRule = 0;
  std::uint32_t modelLen = 0;
  std::array<std::uint8_t, kRuleModelSize> ruleModel{};
  std::uint32_t modelOffset = 0;
  RuleName modelSrcName{};
  std::uint32_t srcVersion = 0;
  std::uint32_t dstVersion = 0;
  std::array<std::uint8_t, 30> reserved{};
};

struct RuleRecord {
  std::size_t offset = 0;  // of the record in the file
  std::uint8_t kind = 1;   // kTextRecordKind, or any other non-zero value
  std::uint32_t width = 0;
  std::uint32_t repeat = 0;
  std::uint32_t value = 0;                         // value records only
  std::array<std::uint8_t, kRuleTextSize> text{};  // text records only
  std::uint32_t mode = kModeCopy;
  RuleName srcName{};
  std::uint32_t srcOffset = 0;
  std::uint32_t srcWidth = 0;
  std::uint32_t srcMaxIndex = 0;
  std::uint32_t count = 0;
  std::uint32_t stride = 0;
  std::uint32_t srcStride = 0;
  std::uint32_t sequence = 0;
  std::uint32_t base = 0;
  std::uint32_t step = 0;
  std::uint32_t modulus = 0;

  bool IsText() const { return kind == kTextRecordKind; }
  std::size_t Size() const { return IsText() ? kTextRecordSize : kValueRecordSize; }
};

// A stand-alone record (Count 0), or a table: its first record opened it,
// and every record is one of its columns, left to right.
struct RuleItem {
  std::vector<RuleRecord> records;

  bool IsTable() const { return !records.empty() && records.front().count != 0; }
};

struct RuleBlock {
  RuleBlockHeader header;
  std::vector<RuleItem> items;
  std::string outName;         // the image written to the scratch folder
  std::string finalName;       // the name it is given in the output folder
  std::string modelSrcName;    // empty when the model comes from the rule
  std::uint64_t dataSize = 0;  // bytes the records produce, the header not counted
};

struct RuleFile {
  std::vector<RuleBlock> blocks;  // at least one in a parsed file
  // Those of the first block; every block of a parsed file has the same.
  std::uint32_t srcVersion = 0;
  std::uint32_t dstVersion = 0;
};

enum class RuleFault {
  kNone,
  kByteErr,    // a column runs past its row
  kMalformed,  // any other fault of the file
};

struct RuleParseError {
  RuleFault fault = RuleFault::kNone;
  // kByteErr: the offset just after the offending record; else where the
  // fault is.
  std::size_t offset = 0;
  std::string why;  // one sentence, without the file name
};

struct RuleParse {
  RuleFile file;
  RuleParseError error;

  bool ok() const { return error.fault == RuleFault::kNone; }
};

// Checks and decodes a whole rule file. Refused: no block; a block that does
// not start with a zero byte or is cut short; a record cut short; a ModelLen
// above 8; a name that is not a plain ".dat" file name; blocks that disagree
// on the versions or give two images the same final name; a table record
// whose Count or Stride differ from the table's first; a table still open at
// the end of its block; an image larger than kMaxRuleImageSize; and (as
// kByteErr) a column, Repeat x Width for an array, that runs past Stride.
RuleParse ParseRuleFile(link::ByteView bytes);

// The bytes of a rule file; EncodeRuleFile(ParseRuleFile(b).file) == b.
link::Bytes EncodeRuleFile(const RuleFile& file);

// The name held in OutName or ModelSrcName: its non-zero bytes in order.
std::string RuleNameSkippingZeros(const RuleName& raw);
// The name held in SrcName: the bytes up to the first zero.
std::string RuleNameToZero(const RuleName& raw);
// A name from a rule file may be joined to a folder: at least one character
// before ".dat" (in any case), no path separator, drive colon, "..",
// control character or wildcard.
bool IsRuleDataFileName(std::string_view name);
// "E2.dat" for a name that contains it, else the last five characters
// (V2_1.dat -> 1.dat).
std::string FinalImageName(std::string_view name);

// The record reads a source image (every mode but fill and the texts).
bool ReadsSource(const RuleRecord& record);
// The record is an array: Repeat elements of Width bytes.
bool IsArray(const RuleRecord& record);
// Bytes the record fills in a table row.
std::uint64_t ColumnWidth(const RuleRecord& record);
// Bytes a stand-alone record appends (modes that write nothing append none).
std::uint64_t StandaloneSize(const RuleRecord& record);
// The record's text: the bytes up to the first zero, at most 200.
std::string_view RecordText(const RuleRecord& record);
// Base + Step x (row mod Modulus), or Base + Step x row without a Modulus;
// unsigned 32-bit arithmetic.
std::uint32_t SequenceValue(const RuleRecord& record, std::uint32_t row);

}  // namespace tavro::data
