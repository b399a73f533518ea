// The rule-file reader and one conversion step on arbitrary bytes.
//
// Input: one option byte (bits 0-1: header kind 0, 1, 2 or none; bit 2:
// also run the step on files), a u16 length and that many bytes of source
// image, then the rule file. Every source name the rule gives reads the one
// source image.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "data/file_io.hpp"
#include "data/rule_file.hpp"
#include "data/rule_image.hpp"
#include "data/rule_step.hpp"
#include "data/rule_text.hpp"
#include "fuzz_support.hpp"
#include "link/byte_order.hpp"

namespace {

using namespace tavro;

// The file step writes every image through the disk; large ones only slow
// the run down without reaching other code.
constexpr std::uint64_t kFileStepLimit = 256 * 1024;

class OneSource : public data::SourceImages {
 public:
  explicit OneSource(link::ByteView bytes) : bytes_(bytes.begin(), bytes.end()) {}
  const link::Bytes* Load(const std::string& name, data::ConvertError&) override {
    FUZZ_CHECK(data::IsRuleDataFileName(name));
    return &bytes_;
  }

 private:
  link::Bytes bytes_;
};

void CheckParsed(const data::RuleFile& file, link::ByteView rule) {
  const link::Bytes encoded = data::EncodeRuleFile(file);
  FUZZ_CHECK(encoded.size() == rule.size() &&
             std::equal(encoded.begin(), encoded.end(), rule.begin()));
  FUZZ_CHECK(!file.blocks.empty());
  for (const data::RuleBlock& block : file.blocks) {
    FUZZ_CHECK(data::IsRuleDataFileName(block.outName));
    FUZZ_CHECK(block.dataSize <= data::kMaxRuleImageSize);
    FUZZ_CHECK(block.header.srcVersion == file.srcVersion);
    for (const data::RuleItem& item : block.items) {
      FUZZ_CHECK(!item.records.empty());
      if (!item.IsTable())
        continue;
      std::uint64_t row = 0;
      for (const data::RuleRecord& r : item.records)
        row += data::ColumnWidth(r);
      FUZZ_CHECK(row == item.records.front().stride);
    }
  }
  FUZZ_CHECK(!data::DescribeRuleFile(file).empty());
}

// The whole step in a folder of its own: nothing outside the output folder
// changes, the scratch folder is gone, and a finished step leaves exactly
// the final images with their sizes.
void FileStep(const data::RuleFile& file, link::ByteView rule, link::ByteView source,
              int headerKind, bool built) {
  const std::string root = fuzz::ScratchFolder() + "/step";
  FUZZ_CHECK(data::DeleteTree(root) || !data::FileExists(root));
  FUZZ_CHECK(data::CreateFolders(root + "/src"));
  FUZZ_CHECK(data::WriteFileAtomic(root + "/rule.bin", link::Bytes(rule.begin(), rule.end())));
  const link::Bytes sourceBytes(source.begin(), source.end());
  std::set<std::string> names;
  for (const data::RuleBlock& block : file.blocks) {
    if (!block.modelSrcName.empty())
      names.insert(block.modelSrcName);
    for (const data::RuleItem& item : block.items) {
      for (const data::RuleRecord& r : item.records) {
        if (data::ReadsSource(r))
          names.insert(data::RuleNameToZero(r.srcName));
      }
    }
  }
  for (const std::string& name : names)
    FUZZ_CHECK(data::WriteFileAtomic(root + "/src/" + name, sourceBytes));

  data::StepOutput output;
  output.folder = root + "/out";
  const data::StepResult step =
      data::ConvertWithRule(root + "/rule.bin", root + "/src", headerKind, output, {});
  FUZZ_CHECK(!data::FileExists(output.folder + "/Temp"));
  FUZZ_CHECK(data::ListFiles(root, "*.*") == std::vector<std::string>{"rule.bin"});
  FUZZ_CHECK(data::ListFiles(root + "/src", "*.*").size() == names.size());
  const std::vector<std::string> produced = data::ListFiles(output.folder, "*.*");
  if (!step.ok()) {
    FUZZ_CHECK(produced.empty());
    return;
  }
  FUZZ_CHECK(built);
  FUZZ_CHECK(produced.size() == file.blocks.size());
  for (const data::RuleBlock& block : file.blocks) {
    const auto bytes = data::ReadWholeFile(output.folder + "/" + block.finalName);
    FUZZ_CHECK(bytes.has_value());
    const std::uint64_t length = data::ImageHeaderSize(headerKind) + block.dataSize;
    FUZZ_CHECK(bytes->size() == length);
    const bool e2 = block.finalName == "E2.dat";
    FUZZ_CHECK(link::GetU32(bytes->data() + 2) == (e2 ? length : length - 512));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t options = in.Byte();
  const int headerKind = options & 3;
  const link::ByteView source = in.Take(in.U16());
  const link::ByteView rule = in.Rest();

  const data::RuleParse parse = data::ParseRuleFile(rule);
  if (!parse.ok()) {
    FUZZ_CHECK(!parse.error.why.empty());
    FUZZ_CHECK(parse.error.offset <= rule.size());
    return 0;
  }
  CheckParsed(parse.file, rule);

  OneSource sources(source);
  std::uint64_t total = 0;
  bool built = true;
  for (const data::RuleBlock& block : parse.file.blocks) {
    const data::BlockImage image = data::BuildBlockImage(block, {headerKind, {}, "r"}, sources);
    if (!image.ok()) {
      // Every source loads, so only a range past its end can fail.
      FUZZ_CHECK(image.error.kind == data::ConvertErrorKind::kRuleInvalid);
      built = false;
      break;
    }
    FUZZ_CHECK(image.bytes.size() == data::ImageHeaderSize(headerKind) + block.dataSize);
    total += image.bytes.size();
  }
  if ((options & 4) != 0 && total <= kFileStepLimit) {
    FileStep(parse.file, rule, source, headerKind, built);
  }
  return 0;
}
