#include "sim/sample_rules.hpp"

#include <algorithm>

#include "data/rule_builder.hpp"
#include "data/rule_file.hpp"
#include "sim/device_model.hpp"

namespace tavro::sim {
namespace {

namespace rb = data::rule_build;

constexpr std::uint32_t kModelOffset = 10;  // in both header forms
constexpr std::uint32_t kModelLength = 8;

// Offsets count from the start of the source file (SrcHasHeader 0): the
// model is read from the source's own header, which offsets counted from
// the data could not reach.
data::RuleBlockHeader BlockHeader(const std::string& outName, const std::string& modelSource,
                                  std::uint32_t dstVersion) {
  data::RuleBlockHeader h;
  h.outName = rb::RuleNameOf(outName);
  h.srcHasHeader = 0;
  h.modelFromRule = 0;
  h.modelLen = kModelLength;
  h.modelOffset = kModelOffset;
  h.modelSrcName = rb::RuleNameOf(modelSource);
  h.srcVersion = kSampleRuleSource;
  h.dstVersion = dstVersion;
  return h;
}

// The mark, then the rest of the `dataSize` data bytes copied from
// `source`, whose data starts at `dataAt`.
void AddData(rb::RuleWriter& writer, const std::string& source, std::size_t dataAt,
             std::size_t dataSize, std::uint32_t dstVersion) {
  const auto mark = static_cast<std::uint32_t>(std::min(kSampleMarkBytes, dataSize));
  if (mark > 0)
    writer.Add(rb::Fill(mark, dstVersion));
  const auto rest = static_cast<std::uint32_t>(dataSize - mark);
  if (rest > 0)
    writer.Add(rb::Copy(source, static_cast<std::uint32_t>(dataAt + mark), rest, rest));
}

}  // namespace

link::Bytes SampleFlashRule(const std::vector<SampleFlashImage>& images, std::uint32_t dstVersion) {
  rb::RuleWriter writer;
  for (const SampleFlashImage& image : images) {
    writer.Block(
        BlockHeader(std::to_string(image.area + 1) + ".dat", image.sourceName, dstVersion));
    AddData(writer, image.sourceName, kParaHeaderSize, image.dataSize, dstVersion);
  }
  return writer.Bytes();
}

link::Bytes SampleE2Rule(std::uint32_t dstVersion) {
  rb::RuleWriter writer;
  writer.Block(BlockHeader("E2.dat", "E2.dat", dstVersion));
  AddData(writer, "E2.dat", kE2HeaderSize, kE2Size - kE2HeaderSize, dstVersion);
  return writer.Bytes();
}

}  // namespace tavro::sim
