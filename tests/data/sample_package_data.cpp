#include "data/sample_package_data.hpp"

#include <cstdio>

#include "data/para_images.hpp"
#include "data/rule_image.hpp"
#include "support/rule_builder.hpp"

namespace tavro::test {

namespace {

using data::RuleBlockHeader;
using data::RuleRecord;

// The sample's data versions: E2PROM base data two steps old, Flash base
// data (and the E2PROM data after the first step) one step old, and the
// destination of Data/DataVer.ini.
constexpr std::uint32_t kOld = 0xFE00;
constexpr std::uint32_t kPrevious = 0xFF00;
constexpr std::uint32_t kDest = 0x10000;

constexpr std::uint32_t kChannels = 16;
constexpr std::uint32_t kOldChannelSize = 16;  // rx u32, tx u32, power, flags, 6-byte name
constexpr std::uint32_t kChannelSize = 24;     // number u16, rx, tx, power, flags, 12-byte name
constexpr std::uint32_t kE2Data = data::kE2ImageSize - data::kE2HeaderSize;

void Put(link::Bytes& image, std::size_t at, const void* bytes, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  std::copy(p, p + n, image.begin() + static_cast<std::ptrdiff_t>(at));
}

// 16 channels of the old layout.
link::Bytes OldChannels() {
  link::Bytes bytes(kChannels * kOldChannelSize, 0);
  for (std::uint32_t i = 0; i < kChannels; ++i) {
    std::uint8_t* c = bytes.data() + i * kOldChannelSize;
    const std::uint32_t rx = 440000000 + i * 25000;
    link::PutU32(c, rx);
    link::PutU32(c + 4, rx + 5000000);
    c[8] = static_cast<std::uint8_t>(i % 3);
    c[9] = static_cast<std::uint8_t>(0xF0 | i);
    char name[8];
    std::snprintf(name, sizeof name, "CH%02u", i + 1);
    std::copy_n(name, 4, c + 10);
  }
  return bytes;
}

link::Bytes Settings() {
  return {5, 3, 2, 0xA5, 1, 0, 180, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

link::Bytes E2Base() {
  link::Bytes image(data::kE2ImageSize, 0xFF);
  data::E2Header h;
  h.integrity = data::kNewImageIntegrity;
  h.dataSize = data::kE2ImageSize;
  h.dataVersion = kOld;
  std::copy_n("TVRO-E2", 7, h.model.begin());
  const auto header = data::EncodeE2Header(h);
  Put(image, 0, header.data(), header.size());
  Put(image, 32, Settings().data(), 16);
  const link::Bytes channels = OldChannels();
  Put(image, 32 + 16, channels.data(), channels.size());
  return image;
}

link::Bytes FlashBase(std::size_t number, const link::Bytes& payload) {
  link::Bytes image(data::kFlashImageHeaderSize, 0);
  data::ParaHeader h;
  h.integrity = data::kNewImageIntegrity;
  h.dataSize = static_cast<std::uint32_t>(payload.size());
  h.dataVersion = kPrevious;
  std::copy_n("TVRO-FL1", 8, h.model.begin());
  const std::string name = data::FlashImageName(number);
  std::copy(name.begin(), name.end(), h.name.begin());
  h.year = 2024;
  h.month = 5;
  h.day = 17;
  const auto header = data::EncodeParaHeader(h);
  Put(image, 0, header.data(), header.size());
  image.insert(image.end(), payload.begin(), payload.end());
  return image;
}

link::Bytes Payload(std::size_t size, std::uint8_t first) {
  link::Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

// The channels widened to the new layout: a channel number, the flags'
// low nibble only, the name in 12 bytes.
void Channels(RuleWriter& w, const char* src, std::uint32_t at) {
  const auto col = [](const RuleRecord& r) {
    return Column(r, kChannels, kChannelSize, kOldChannelSize);
  };
  w.Add(col(Sequence(Fill(2, 0), 1, 1)))
      .Add(col(Copy(src, at, 4, 4)))
      .Add(col(Copy(src, at + 4, 4, 4)))
      .Add(col(Copy(src, at + 8, 1, 1)))
      .Add(col(Copy(src, at + 9, 1, 1, data::kModeAnd, 0x0F)))
      .Add(col(Copy(src, at + 10, 12, 6)));
}

// Four zones: "Zone 1" ... "Zone 4", four channels each from channel 1, 5, ...
void Zones(RuleWriter& w) {
  w.Add(Column(Sequence(Text(data::kModeText8, 12, "Zone "), 1, 1), 4, 16))
      .Add(Column(Fill(2, 4), 4, 16))
      .Add(Column(Sequence(Fill(2, 0), 1, 4), 4, 16));
}

RuleBlockHeader ModelFromE2(const char* outName, std::uint32_t src, std::uint32_t dst) {
  RuleBlockHeader h = Header(outName, src, dst);
  h.modelFromRule = 0;
  h.ruleModel = {};
  h.modelLen = 8;
  h.modelOffset = 10;
  h.modelSrcName = RuleNameOf("E2.dat");
  return h;
}

RuleBlockHeader FromFlash(const char* outName, std::uint32_t src, std::uint32_t dst,
                          const char* model) {
  RuleBlockHeader h = Header(outName, src, dst);
  h.srcHasHeader = 1;
  std::copy_n(model, 8, h.ruleModel.begin());
  return h;
}

// E2E rules address E2.dat as a whole file: its data starts after the
// 32-byte header.
constexpr std::uint32_t kE2At = data::kE2HeaderSize;

link::Bytes E2EOldToPrevious() {
  RuleWriter w;
  w.Block(ModelFromE2("E2.dat", kOld, kPrevious)).Add(Copy("E2.dat", kE2At, 16, 16));
  Channels(w, "E2.dat", kE2At + 16);
  w.Add(Fill(kE2Data - 16 - kChannels * kChannelSize, 0xFF));
  return w.Bytes();
}

link::Bytes E2EPreviousToDest() {
  RuleWriter w;
  w.Block(ModelFromE2("E2.dat", kPrevious, kDest))
      .Add(Copy("E2.dat", kE2At, 16, 16))
      .Add(Text(data::kModeText16, 32, "TAVRO"))
      .Add(Copy("E2.dat", kE2At + 16, kChannels * kChannelSize, kChannels * kChannelSize));
  Zones(w);
  w.Add(Fill(kE2Data - 16 - 32 - kChannels * kChannelSize - 64, 0xFF));
  return w.Bytes();
}

link::Bytes F2FPreviousToDest() {
  RuleWriter w;
  w.Block(FromFlash("V10000_1.dat", kPrevious, kDest, "TVRO-FL2"));
  Channels(w, "1.dat", 0);
  w.Block(FromFlash("V10000_2.dat", kPrevious, kDest, "TVRO-FL2"))
      .Add(Copy("2.dat", 0, 16, 16))
      .Add(Text(data::kModeText16, 32, "TAVRO"));
  // The scan list widens to 16-bit entries and grows to 32, the new ones 0.
  w.Block(FromFlash("V10000_3.dat", kPrevious, kDest, "TVRO-FL2"))
      .Add(Array("3.dat", 0, 32, 2, 1, 15));
  // Contacts gain a group byte that alternates 1, 2 and three spare bytes.
  w.Block(FromFlash("V10000_4.dat", kPrevious, kDest, "TVRO-FL2"))
      .Add(Column(Copy("4.dat", 0, 4, 4), 4, 20, 16))
      .Add(Column(Copy("4.dat", 4, 12, 12), 4, 20, 16))
      .Add(Column(Sequence(Fill(1, 0), 1, 1, 2), 4, 20, 16))
      .Add(Column(Fill(3, 0), 4, 20, 16));
  w.Block(FromFlash("V10000_5.dat", kPrevious, kDest, "TVRO-FL2")).Add(Copy("5.dat", 0, 16, 16));
  return w.Bytes();
}

// The Flash images of a 0x210..0x22F terminal moved into the E2PROM layout
// of the destination version.
link::Bytes F2EPreviousToDest() {
  RuleWriter w;
  w.Block(FromFlash("E2.dat", kPrevious, kDest, "TVRO-E2\0"))
      .Add(Copy("2.dat", 0, 16, 16))
      .Add(Text(data::kModeText16, 32, "TAVRO"));
  Channels(w, "1.dat", 0);
  Zones(w);
  w.Add(Fill(kE2Data - 16 - 32 - kChannels * kChannelSize - 64, 0xFF));
  return w.Bytes();
}

}  // namespace

std::vector<SampleFile> SampleConversionFiles() {
  return {
      {"Data/BaseData/E2prom/E2.dat", E2Base()},
      {"Data/BaseData/Flash/1.dat", FlashBase(1, OldChannels())},
      {"Data/BaseData/Flash/2.dat", FlashBase(2, Settings())},
      {"Data/BaseData/Flash/3.dat", FlashBase(3, Payload(16, 1))},
      {"Data/BaseData/Flash/4.dat", FlashBase(4, Payload(64, 0x40))},
      {"Data/BaseData/Flash/5.dat", FlashBase(5, Payload(16, 0xC0))},
      {"Data/Rule/E2E/E2E_FE00_FF00.bin", E2EOldToPrevious()},
      {"Data/Rule/E2E/E2E_FF00_10000.bin", E2EPreviousToDest()},
      {"Data/Rule/F2F/F2F_FF00_10000.bin", F2FPreviousToDest()},
      {"Data/Rule/F2E/F2E_FF00_10000.bin", F2EPreviousToDest()},
  };
}

}  // namespace tavro::test
