#include "data/rule_file.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace tavro::data {

namespace {

using link::GetU32;

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", b);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

template <std::size_t N>
void CopyField(std::array<std::uint8_t, N>& field, const std::uint8_t* p) {
  std::memcpy(field.data(), p, N);
}

RuleBlockHeader DecodeHeader(const std::uint8_t* p, std::size_t offset) {
  RuleBlockHeader h;
  h.offset = offset;
  CopyField(h.outName, p + 1);
  h.srcHasHeader = p[31];
  h.modelFromRule = GetU32(p + 32);
  h.modelLen = GetU32(p + 36);
  CopyField(h.ruleModel, p + 40);
  h.modelOffset = GetU32(p + 48);
  CopyField(h.modelSrcName, p + 52);
  h.srcVersion = GetU32(p + 82);
  h.dstVersion = GetU32(p + 86);
  CopyField(h.reserved, p + 90);
  return h;
}

// Field offsets after Width and Repeat: text records hold 200 text bytes
// where value records hold Value.
constexpr std::size_t kValueTail = 13;
constexpr std::size_t kTextTail = 209;

RuleRecord DecodeRecord(const std::uint8_t* p, std::size_t offset) {
  RuleRecord r;
  r.offset = offset;
  r.kind = p[0];
  r.width = GetU32(p + 1);
  r.repeat = GetU32(p + 5);
  std::size_t t = kValueTail;
  if (r.IsText()) {
    CopyField(r.text, p + 9);
    t = kTextTail;
  } else {
    r.value = GetU32(p + 9);
  }
  r.mode = GetU32(p + t);
  CopyField(r.srcName, p + t + 4);
  const std::uint8_t* q = p + t + 4 + kRuleNameSize;
  std::uint32_t* fields[] = {&r.srcOffset, &r.srcWidth, &r.srcMaxIndex, &r.count, &r.stride,
                             &r.srcStride, &r.sequence, &r.base,        &r.step,  &r.modulus};
  for (std::uint32_t* f : fields) {
    *f = GetU32(q);
    q += 4;
  }
  return r;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

// Walks the file once, building the blocks and stopping at the first fault.
class Parser {
 public:
  explicit Parser(link::ByteView bytes) : bytes_(bytes) {}

  RuleParse Run() {
    if (bytes_.empty()) {
      Fail(RuleFault::kMalformed, 0, "the file holds no block");
      return std::move(out_);
    }
    std::size_t pos = 0;
    while (pos < bytes_.size() && out_.ok())
      pos = Block(pos);
    return std::move(out_);
  }

 private:
  void Fail(RuleFault fault, std::size_t offset, std::string why) {
    out_.error = RuleParseError{fault, offset, std::move(why)};
  }

  std::size_t Left(std::size_t pos) const { return bytes_.size() - pos; }

  // Parses the block at `pos`; returns where the next one starts.
  std::size_t Block(std::size_t pos) {
    if (bytes_[pos] != kBlockMark) {
      Fail(RuleFault::kMalformed, pos,
           "a block header must start with a zero byte, found " + Hex(bytes_[pos]));
      return pos;
    }
    if (Left(pos) < kRuleHeaderSize) {
      Fail(RuleFault::kMalformed, pos,
           "the block header is cut short: " + std::to_string(Left(pos)) + " of its " +
               std::to_string(kRuleHeaderSize) + " bytes");
      return pos;
    }
    RuleBlock block;
    block.header = DecodeHeader(bytes_.data() + pos, pos);
    if (!CheckHeader(block))
      return pos;
    pos += kRuleHeaderSize;

    // The table being filled: its item and the running column offset.
    std::optional<RuleItem> table;
    std::uint64_t column = 0;
    while (pos < bytes_.size() && bytes_[pos] != kBlockMark) {
      const std::size_t need = bytes_[pos] == kTextRecordKind ? kTextRecordSize : kValueRecordSize;
      if (Left(pos) < need) {
        Fail(RuleFault::kMalformed, pos,
             "a record of kind " + std::to_string(bytes_[pos]) + " needs " + std::to_string(need) +
                 " bytes, " + std::to_string(Left(pos)) + " are left");
        return pos;
      }
      const RuleRecord record = DecodeRecord(bytes_.data() + pos, pos);
      pos += need;
      if (!CheckRecord(record))
        return pos;
      if (!table && record.count == 0) {
        if (!Grow(block, StandaloneSize(record), record.offset))
          return pos;
        block.items.push_back(RuleItem{{record}});
        continue;
      }
      if (!table) {
        if (!Grow(block, std::uint64_t{record.count} * record.stride, record.offset))
          return pos;
        table.emplace();
        column = 0;
      } else {
        const RuleRecord& first = table->records.front();
        if (record.count != first.count || record.stride != first.stride) {
          Fail(RuleFault::kMalformed, record.offset,
               "this table record has Count " + std::to_string(record.count) + " and Stride " +
                   std::to_string(record.stride) + ", the table opened at offset " +
                   std::to_string(first.offset) + " has " + std::to_string(first.count) + " and " +
                   std::to_string(first.stride));
          return pos;
        }
      }
      const std::uint64_t width = ColumnWidth(record);
      if (column + width > record.stride) {
        Fail(RuleFault::kByteErr, pos,
             "the column of the record at offset " + std::to_string(record.offset) +
                 " covers bytes " + std::to_string(column) + " to " +
                 std::to_string(column + width) + " of a " + std::to_string(record.stride) +
                 "-byte row");
        return pos;
      }
      column += width;
      table->records.push_back(record);
      if (column == record.stride) {
        block.items.push_back(std::move(*table));
        table.reset();
      }
    }
    if (table) {
      Fail(RuleFault::kMalformed, pos,
           "the block ends inside the table opened at offset " +
               std::to_string(table->records.front().offset) + ": its columns fill " +
               std::to_string(column) + " of its " + std::to_string(table->records.front().stride) +
               " bytes");
      return pos;
    }
    out_.file.blocks.push_back(std::move(block));
    return pos;
  }

  bool CheckName(const std::string& name, std::size_t offset, const char* field) {
    if (IsRuleDataFileName(name))
      return true;
    Fail(RuleFault::kMalformed, offset,
         std::string(field) + " " + Quoted(name) +
             " is not a plain file name ending in .dat (no folder, drive or \"..\")");
    return false;
  }

  bool CheckHeader(RuleBlock& block) {
    const RuleBlockHeader& h = block.header;
    block.outName = RuleNameSkippingZeros(h.outName);
    if (!CheckName(block.outName, h.offset + 1, "OutName"))
      return false;
    block.finalName = FinalImageName(block.outName);
    for (const RuleBlock& other : out_.file.blocks) {
      if (SameNameIgnoringCase(other.finalName, block.finalName)) {
        Fail(RuleFault::kMalformed, h.offset + 1,
             "OutName " + Quoted(block.outName) + " gives the image " + block.finalName +
                 ", which the block at offset " + std::to_string(other.header.offset) +
                 " produces already");
        return false;
      }
    }
    if (h.modelLen > kRuleModelSize) {
      Fail(RuleFault::kMalformed, h.offset + 36,
           "ModelLen is " + std::to_string(h.modelLen) + ", at most 8 model bytes exist");
      return false;
    }
    if (h.modelFromRule == 0) {
      block.modelSrcName = RuleNameSkippingZeros(h.modelSrcName);
      if (!CheckName(block.modelSrcName, h.offset + 52, "ModelSrcName"))
        return false;
    }
    if (out_.file.blocks.empty()) {
      out_.file.srcVersion = h.srcVersion;
      out_.file.dstVersion = h.dstVersion;
    } else if (h.srcVersion != out_.file.srcVersion || h.dstVersion != out_.file.dstVersion) {
      // The step's output folder and the version it reports come from one
      // version pair; a block of another step would be written where it
      // does not belong.
      Fail(RuleFault::kMalformed, h.offset + 82,
           "this block converts " + Hex(h.srcVersion) + " to " + Hex(h.dstVersion) +
               ", the file's first block " + Hex(out_.file.srcVersion) + " to " +
               Hex(out_.file.dstVersion));
      return false;
    }
    return true;
  }

  bool CheckRecord(const RuleRecord& r) {
    const std::size_t nameAt = r.offset + (r.IsText() ? kTextTail : kValueTail) + 4;
    return !ReadsSource(r) || CheckName(RuleNameToZero(r.srcName), nameAt, "SrcName");
  }

  bool Grow(RuleBlock& block, std::uint64_t bytes, std::size_t offset) {
    if (bytes > kMaxRuleImageSize - block.dataSize) {
      Fail(RuleFault::kMalformed, offset,
           "the image would grow past " + std::to_string(kMaxRuleImageSize) + " bytes");
      return false;
    }
    block.dataSize += bytes;
    return true;
  }

  link::ByteView bytes_;
  RuleParse out_;
};

void AppendField(link::Bytes& out, std::span<const std::uint8_t> field) {
  out.insert(out.end(), field.begin(), field.end());
}

void EncodeHeader(link::Bytes& out, const RuleBlockHeader& h) {
  out.push_back(kBlockMark);
  AppendField(out, h.outName);
  out.push_back(h.srcHasHeader);
  link::AppendU32(out, h.modelFromRule);
  link::AppendU32(out, h.modelLen);
  AppendField(out, h.ruleModel);
  link::AppendU32(out, h.modelOffset);
  AppendField(out, h.modelSrcName);
  link::AppendU32(out, h.srcVersion);
  link::AppendU32(out, h.dstVersion);
  AppendField(out, h.reserved);
}

void EncodeRecord(link::Bytes& out, const RuleRecord& r) {
  out.push_back(r.kind);
  link::AppendU32(out, r.width);
  link::AppendU32(out, r.repeat);
  if (r.IsText())
    AppendField(out, r.text);
  else
    link::AppendU32(out, r.value);
  link::AppendU32(out, r.mode);
  AppendField(out, r.srcName);
  for (const std::uint32_t f : {r.srcOffset, r.srcWidth, r.srcMaxIndex, r.count, r.stride,
                                r.srcStride, r.sequence, r.base, r.step, r.modulus}) {
    link::AppendU32(out, f);
  }
}

}  // namespace

RuleParse ParseRuleFile(link::ByteView bytes) {
  return Parser(bytes).Run();
}

link::Bytes EncodeRuleFile(const RuleFile& file) {
  link::Bytes out;
  for (const RuleBlock& block : file.blocks) {
    EncodeHeader(out, block.header);
    for (const RuleItem& item : block.items) {
      for (const RuleRecord& record : item.records)
        EncodeRecord(out, record);
    }
  }
  return out;
}

std::string RuleNameSkippingZeros(const RuleName& raw) {
  std::string name;
  for (const std::uint8_t b : raw) {
    if (b != 0)
      name += static_cast<char>(b);
  }
  return name;
}

std::string RuleNameToZero(const RuleName& raw) {
  const auto end = std::find(raw.begin(), raw.end(), std::uint8_t{0});
  return std::string(raw.begin(), end);
}

bool IsRuleDataFileName(std::string_view name) {
  constexpr std::string_view kSuffix = ".dat";
  if (name.size() <= kSuffix.size() ||
      !SameNameIgnoringCase(name.substr(name.size() - kSuffix.size()), kSuffix)) {
    return false;
  }
  if (name.find("..") != std::string_view::npos)
    return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
  });
}

std::string FinalImageName(std::string_view name) {
  constexpr std::string_view kE2 = "E2.dat";
  if (name.find(kE2) != std::string_view::npos)
    return std::string(kE2);
  constexpr std::size_t kFlashNameLength = 5;  // "k.dat"
  return std::string(name.size() > kFlashNameLength ? name.substr(name.size() - kFlashNameLength)
                                                    : name);
}

bool ReadsSource(const RuleRecord& r) {
  return r.mode != kModeFill && r.mode != kModeText8 && r.mode != kModeText16;
}

bool IsArray(const RuleRecord& r) {
  return r.repeat > 0 && ReadsSource(r);
}

std::uint64_t ColumnWidth(const RuleRecord& r) {
  return IsArray(r) ? std::uint64_t{r.repeat} * r.width : r.width;
}

std::uint64_t StandaloneSize(const RuleRecord& r) {
  if (!ReadsSource(r) || r.mode == kModeCopy || IsArray(r))
    return ColumnWidth(r);
  const bool valueWidth = r.width == 1 || r.width == 2 || r.width == 4;
  return (r.mode == kModeAnd || r.mode == kModeOr) && valueWidth ? r.width : 0;
}

std::string_view RecordText(const RuleRecord& r) {
  const auto end = std::find(r.text.begin(), r.text.end(), std::uint8_t{0});
  return std::string_view(reinterpret_cast<const char*>(r.text.data()),
                          static_cast<std::size_t>(end - r.text.begin()));
}

std::uint32_t SequenceValue(const RuleRecord& r, std::uint32_t row) {
  const std::uint32_t index = r.modulus != 0 ? row % r.modulus : row;
  return r.base + r.step * index;
}

}  // namespace tavro::data
