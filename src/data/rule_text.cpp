#include "data/rule_text.hpp"

#include <cstdio>

namespace tavro::data {

namespace {

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Num(std::uint64_t value) {
  return std::to_string(value);
}

// Printable ASCII as it is, every other byte as \xNN.
std::string Quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || c == '"' || c == '\\') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", b);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Sequence(const RuleRecord& r) {
  if (r.sequence == 0)
    return {};
  std::string text = ", sequence " + Hex(r.base) + " + " + Num(r.step) + " x row";
  if (r.modulus != 0)
    text += " mod " + Num(r.modulus);
  return text;
}

std::string Source(const RuleRecord& r) {
  std::string text = " from " + Quoted(RuleNameToZero(r.srcName)) + " at " + Hex(r.srcOffset) +
                     ", source width " + Num(r.srcWidth);
  if (r.count != 0)
    text += ", source stride " + Num(r.srcStride);
  return text;
}

}  // namespace

std::string DescribeRecord(const RuleRecord& r) {
  std::string text = "kind " + Num(r.kind) + ", ";
  switch (r.mode) {
    case kModeFill:
      return text + "fill " + Num(r.width) + " bytes with " + Hex(r.value) + Sequence(r);
    case kModeText8:
      return text + "8-bit text " + Quoted(RecordText(r)) + " in " + Num(r.width) + " bytes" +
             Sequence(r);
    case kModeText16:
      return text + "UTF-16 text " + Quoted(RecordText(r)) + " in " + Num(r.width) + " bytes" +
             Sequence(r);
    default:
      break;
  }
  if (IsArray(r)) {
    return text + "array of " + Num(r.repeat) + " x " + Num(r.width) + " bytes" + Source(r) +
           ", elements above " + Num(r.srcMaxIndex) + " zero";
  }
  switch (r.mode) {
    case kModeCopy:
      return text + "copy " + Num(r.width) + " bytes" + Source(r);
    case kModeAnd:
    case kModeOr: {
      const char* op = r.mode == kModeAnd ? " AND " : " OR ";
      if (StandaloneSize(r) == 0 && r.width != 0)
        return text + "copy" + op + "of width " + Num(r.width) + ": writes nothing" + Source(r);
      return text + "copy " + Num(r.width) + " bytes" + op + Hex(r.value) + Source(r);
    }
    default:
      return text + "mode " + Num(r.mode) + ": writes nothing" + Source(r);
  }
}

std::string DescribeRuleFile(const RuleFile& file) {
  std::string out = "converts " + Hex(file.srcVersion) + " to " + Hex(file.dstVersion) + ", " +
                    Num(file.blocks.size()) + (file.blocks.size() == 1 ? " block\n" : " blocks\n");
  std::size_t number = 0;
  for (const RuleBlock& block : file.blocks) {
    const RuleBlockHeader& h = block.header;
    out += "block " + Num(++number) + " at offset " + Num(h.offset) + ": " + Quoted(block.outName) +
           " -> " + block.finalName + ", " + Num(block.dataSize) + " bytes after the header\n";
    out += std::string("  source offsets ") +
           (h.srcHasHeader != 0 ? "+512 under header kinds 0 and 1" : "as given") + "\n";
    if (h.modelFromRule != 0) {
      out += "  model from the rule: " +
             Quoted(std::string_view(reinterpret_cast<const char*>(h.ruleModel.data()),
                                     h.ruleModel.size())) +
             "\n";
    } else {
      out += "  model: " + Num(h.modelLen) + " bytes of " + Quoted(block.modelSrcName) + " at " +
             Hex(h.modelOffset) + "\n";
    }
    std::uint64_t at = 0;
    for (const RuleItem& item : block.items) {
      if (!item.IsTable()) {
        const RuleRecord& r = item.records.front();
        out += "  offset " + Num(r.offset) + ", image bytes " + Num(at) + "+" +
               Num(StandaloneSize(r)) + ": " + DescribeRecord(r) + "\n";
        at += StandaloneSize(r);
        continue;
      }
      const RuleRecord& first = item.records.front();
      out += "  offset " + Num(first.offset) + ", image bytes " + Num(at) + "+" +
             Num(std::uint64_t{first.count} * first.stride) + ": table of " + Num(first.count) +
             " rows x " + Num(first.stride) + " bytes\n";
      std::uint64_t column = 0;
      for (const RuleRecord& r : item.records) {
        out += "    offset " + Num(r.offset) + ", row bytes " + Num(column) + "+" +
               Num(ColumnWidth(r)) + ": " + DescribeRecord(r) + "\n";
        column += ColumnWidth(r);
      }
      at += std::uint64_t{first.count} * first.stride;
    }
  }
  return out;
}

}  // namespace tavro::data
