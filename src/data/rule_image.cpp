#include "data/rule_image.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "data/para_header.hpp"
#include "data/para_images.hpp"

namespace tavro::data {

namespace {

// Source offsets of rules written for Flash images count from the data,
// after the 512-byte header block.
constexpr std::uint64_t kSourceHeaderSkip = kFlashImageHeaderSize;

bool ValueWidth(std::uint32_t width) {
  return width == 1 || width == 2 || width == 4;
}

void PutValue(std::uint8_t* dst, std::uint32_t width, std::uint32_t value) {
  for (std::uint32_t i = 0; i < width; ++i)
    dst[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetValue(const std::uint8_t* src, std::uint32_t width) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < width; ++i)
    value |= static_cast<std::uint32_t>(src[i]) << (8 * i);
  return value;
}

// Widths 1, 2 and 4 take the value as a number; any other width repeats its
// low byte.
void Fill(std::uint8_t* dst, std::uint32_t width, std::uint32_t value) {
  if (ValueWidth(width))
    PutValue(dst, width, value);
  else
    std::memset(dst, static_cast<int>(value & 0xFF), width);
}

// The 8-bit text is read one byte per character (byte b is U+00b), so its
// 8-bit form is the bytes themselves and its UTF-16 form one unit per byte.
void Text8(std::uint8_t* dst, std::uint32_t width, std::string_view text) {
  const std::size_t n = std::min<std::size_t>(width, text.size());
  std::memcpy(dst, text.data(), n);
}

// `bytes` of the UTF-16LE form of `text` with its terminating zero.
void Text16(std::uint8_t* dst, std::size_t bytes, std::string_view text) {
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::size_t unit = i / 2;
    dst[i] = (i % 2 == 0 && unit < text.size()) ? static_cast<std::uint8_t>(text[unit]) : 0;
  }
}

std::size_t Text16Length(std::string_view text) {
  return 2 * (text.size() + 1);
}

std::string RowText(const RuleRecord& r, std::uint32_t row) {
  std::string text(RecordText(r));
  if (r.sequence != 0)
    text += std::to_string(static_cast<std::int32_t>(SequenceValue(r, row)));
  return text;
}

// How many source bytes one element read takes; nullopt for records that
// read nothing (modes that write nothing).
std::optional<std::uint64_t> ReadLength(const RuleRecord& r) {
  if (IsArray(r) || r.mode == kModeCopy)
    return std::min(r.width, r.srcWidth);
  if ((r.mode == kModeAnd || r.mode == kModeOr) && ValueWidth(r.width))
    return r.width;
  return std::nullopt;
}

bool AddOver(std::uint64_t& acc, std::uint64_t x) {
  return __builtin_add_overflow(acc, x, &acc);
}

bool MulAddOver(std::uint64_t& acc, std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) || AddOver(acc, product);
}

class Builder {
 public:
  Builder(const RuleBlock& block, const ImageOptions& options, SourceImages& sources)
      : block_(block), options_(options), sources_(sources) {
    const int kind = options.headerKind;
    skip_ = block.header.srcHasHeader != 0 && (kind == kHeaderFlash || kind == kHeaderE2)
                ? kSourceHeaderSkip
                : 0;
  }

  BlockImage Run() {
    const std::size_t headerSize = ImageHeaderSize(options_.headerKind);
    out_.bytes.reserve(headerSize + block_.dataSize);
    if (headerSize != 0 && !Header())
      return std::move(out_);
    for (const RuleItem& item : block_.items) {
      if (!(item.IsTable() ? Table(item) : Standalone(item.records.front())))
        break;
    }
    return std::move(out_);
  }

 private:
  std::string RecordPlace(std::size_t offset) const {
    return options_.rulePath + ": offset " + std::to_string(offset);
  }

  bool PastEnd(std::size_t offset, const std::string& name, const std::string& reach,
               std::size_t size) {
    out_.error.kind = ConvertErrorKind::kRuleInvalid;
    out_.error.path = options_.rulePath;
    out_.error.text = RecordPlace(offset) + ": reads " + reach + " of " + name + ", which holds " +
                      std::to_string(size) + " bytes";
    return false;
  }

  const link::Bytes* Load(const std::string& name) { return sources_.Load(name, out_.error); }

  bool Header() {
    std::array<std::uint8_t, kModelSize> model{};
    const RuleBlockHeader& h = block_.header;
    if (h.modelFromRule != 0) {
      model = h.ruleModel;
    } else {
      const link::Bytes* src = Load(block_.modelSrcName);
      if (src == nullptr)
        return false;
      const std::uint64_t at = std::uint64_t{h.modelOffset} + skip_;
      if (at + h.modelLen > src->size()) {
        return PastEnd(h.offset + 36, block_.modelSrcName,
                       "model bytes up to " + std::to_string(at + h.modelLen), src->size());
      }
      std::memcpy(model.data(), src->data() + at, h.modelLen);
    }
    if (options_.headerKind == kHeaderFlash) {
      ParaHeader para;
      para.integrity = kNewImageIntegrity;
      para.dataVersion = h.dstVersion;
      para.model = model;
      para.name = h.outName;
      SetTimeStamp(para, options_.stamp);
      const auto encoded = EncodeParaHeader(para);
      out_.bytes.assign(encoded.begin(), encoded.end());
      out_.bytes.resize(kFlashImageHeaderSize, 0);
    } else {
      E2Header e2;
      e2.integrity = kNewImageIntegrity;
      e2.dataVersion = h.dstVersion;
      e2.model = model;
      const auto encoded = EncodeE2Header(e2);
      out_.bytes.assign(encoded.begin(), encoded.end());
    }
    return true;
  }

  // Loads the record's source (modes that read one) and checks that the
  // farthest element of its `rows` rows lies inside it; `src` is null for
  // records that read nothing.
  bool Prepare(const RuleRecord& r, std::uint64_t rows, const link::Bytes*& src) {
    src = nullptr;
    if (!ReadsSource(r))
      return true;
    const std::string name = RuleNameToZero(r.srcName);
    src = Load(name);
    if (src == nullptr)
      return false;
    const std::optional<std::uint64_t> length = ReadLength(r);
    if (!length)
      return true;
    // Offsets grow with the row and the element, so the last element of
    // the last row is the farthest.
    const std::uint64_t lastElement = IsArray(r) ? std::min(r.repeat - 1, r.srcMaxIndex) : 0;
    std::uint64_t end = std::uint64_t{r.srcOffset} + skip_;
    const bool over = MulAddOver(end, rows - 1, r.srcStride) ||
                      MulAddOver(end, lastElement, r.srcWidth) || AddOver(end, *length);
    if (over || end > src->size()) {
      return PastEnd(r.offset, name,
                     over ? std::string("beyond 2^64 bytes") : "bytes up to " + std::to_string(end),
                     src->size());
    }
    return true;
  }

  std::uint64_t SourceAt(const RuleRecord& r, std::uint64_t row, std::uint64_t element) const {
    return r.srcOffset + skip_ + row * r.srcStride + element * r.srcWidth;
  }

  // One element of a copy or array: min(Width, SrcWidth) bytes, the rest of
  // Width stays zero.
  void CopyElement(std::uint8_t* dst, const RuleRecord& r, const link::Bytes& src,
                   std::uint64_t from) const {
    std::memcpy(dst, src.data() + from, std::min(r.width, r.srcWidth));
  }

  // Writes the record's bytes for row `row` at `dst` (`width` bytes, zeroed);
  // `inTable` selects the two places where a table column differs from a
  // stand-alone item: the sequence and the UTF-16 cut.
  void Produce(std::uint8_t* dst, const RuleRecord& r, const link::Bytes* src, std::uint32_t row,
               bool inTable) const {
    switch (r.mode) {
      case kModeFill: {
        const bool sequence = inTable && r.sequence != 0 && ValueWidth(r.width);
        Fill(dst, r.width, sequence ? SequenceValue(r, row) : r.value);
        return;
      }
      case kModeText8:
        Text8(dst, r.width, inTable ? RowText(r, row) : std::string(RecordText(r)));
        return;
      case kModeText16: {
        const std::string text = inTable ? RowText(r, row) : std::string(RecordText(r));
        // A table column cuts the text at Width bytes; a stand-alone item
        // keeps whole characters only.
        const std::size_t fit = inTable ? r.width : r.width / 2 * 2;
        Text16(dst, std::min<std::size_t>(fit, Text16Length(text)), text);
        return;
      }
      default:
        break;
    }
    if (IsArray(r)) {
      const std::uint64_t copied = std::min<std::uint64_t>(r.repeat - 1, r.srcMaxIndex) + 1;
      for (std::uint64_t j = 0; j < copied; ++j)
        CopyElement(dst + j * r.width, r, *src, SourceAt(r, row, j));
      return;
    }
    if (r.mode == kModeCopy) {
      CopyElement(dst, r, *src, SourceAt(r, row, 0));
      return;
    }
    if ((r.mode == kModeAnd || r.mode == kModeOr) && ValueWidth(r.width)) {
      const std::uint32_t v = GetValue(src->data() + SourceAt(r, row, 0), r.width);
      PutValue(dst, r.width, r.mode == kModeAnd ? (v & r.value) : (v | r.value));
    }
  }

  bool Standalone(const RuleRecord& r) {
    const link::Bytes* src = nullptr;
    if (!Prepare(r, 1, src))
      return false;
    const std::size_t size = static_cast<std::size_t>(StandaloneSize(r));
    const std::size_t at = out_.bytes.size();
    out_.bytes.resize(at + size, 0);
    if (size != 0)
      Produce(out_.bytes.data() + at, r, src, 0, false);
    return true;
  }

  bool Table(const RuleItem& item) {
    const RuleRecord& first = item.records.front();
    const std::size_t stride = first.stride;
    const std::size_t at = out_.bytes.size();
    out_.bytes.resize(at + std::size_t{first.count} * stride, 0);
    std::size_t column = 0;
    for (const RuleRecord& r : item.records) {
      const link::Bytes* src = nullptr;
      if (!Prepare(r, first.count, src))
        return false;
      const std::size_t width = static_cast<std::size_t>(ColumnWidth(r));
      // A column without bytes writes nothing in any row.
      for (std::uint32_t row = 0; width != 0 && row < first.count; ++row)
        Produce(out_.bytes.data() + at + row * stride + column, r, src, row, true);
      column += width;
    }
    return true;
  }

  const RuleBlock& block_;
  const ImageOptions& options_;
  SourceImages& sources_;
  std::uint64_t skip_ = 0;
  BlockImage out_;
};

}  // namespace

std::size_t ImageHeaderSize(int headerKind) {
  switch (headerKind) {
    case kHeaderFlash:
      return kFlashImageHeaderSize;
    case kHeaderE2:
    case kHeaderE2E:
      return kE2HeaderSize;
    default:
      return 0;
  }
}

BlockImage BuildBlockImage(const RuleBlock& block, const ImageOptions& options,
                           SourceImages& sources) {
  return Builder(block, options, sources).Run();
}

}  // namespace tavro::data
