#include "scenarios/upgrade_package.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "data/rule_file.hpp"
#include "platform/control_ids.hpp"
#include "sim/device_factory.hpp"
#include "support/rule_builder.hpp"

namespace tavro::test {

bool PutFile(Scenario& s, const std::string& relative, const link::Bytes& bytes) {
  const std::string path = s.dir.PathOf(relative);
  return data::CreateFolders(path.substr(0, path.rfind('/'))) && data::WriteFileAtomic(path, bytes);
}

namespace {

// One block producing `name` from the terminal's image of that name: the
// mark, then the data after its first byte.
void AddCopyBlock(RuleWriter& rule, const std::string& name, std::size_t headerSize,
                  std::size_t dataSize) {
  data::RuleBlockHeader header = Header(name, kTerminalData, kPackageData);
  rule.Block(header).Add(Fill(1, kConvertedMark));
  const auto rest = static_cast<std::uint32_t>(dataSize - 1);
  rule.Add(Copy(name, static_cast<std::uint32_t>(headerSize + 1), rest, rest));
}

}  // namespace

UpgradePackage MakeUpgradePackage(Scenario& s, std::uint32_t destVersion, bool withRules,
                                  std::size_t appSize) {
  UpgradePackage p;
  p.app = sim::MakeAppFile(0x01000300, "TR100", appSize);
  const sim::Device& device = s.terminal().device();
  const bool e2 = device.UsesE2();
  EXPECT_TRUE(PutFile(s, std::string(e2 ? "SW/E2prom" : "SW/Flash") + "/App.bin", p.app));
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(PutFile(s, "Data/InitData/Flash/" + data::FlashImageName(i + 1),
                        sim::MakeParaImage(i, destVersion, "TR100", 2000, {})));
  }
  EXPECT_TRUE(
      PutFile(s, "Data/InitData/E2prom/E2.dat", sim::MakeE2Image(destVersion, "TR100", {})));
  const std::string version = "[DestPara]\r\nDestParaVer=0x" + [&] {
    char text[16];
    std::snprintf(text, sizeof text, "%X", destVersion);
    return std::string(text);
  }() + "\r\n";
  EXPECT_TRUE(PutFile(s, "Data/DataVer.ini", link::Bytes(version.begin(), version.end())));
  if (!withRules)
    return p;
  RuleWriter flash;
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    const std::size_t size = device.para[i].primary.bytes.size();
    if (size > data::kFlashImageHeaderSize) {
      AddCopyBlock(flash, data::FlashImageName(i + 1), data::kFlashImageHeaderSize,
                   size - data::kFlashImageHeaderSize);
    }
  }
  if (!device.para.empty()) {
    EXPECT_TRUE(PutFile(s, "Data/Rule/F2F/up.bin", flash.Bytes()));
  }
  RuleWriter e2prom;
  AddCopyBlock(e2prom, data::kE2ImageName, data::kE2HeaderSize,
               data::kE2ImageSize - data::kE2HeaderSize);
  EXPECT_TRUE(PutFile(s, "Data/Rule/E2E/up.bin", e2prom.Bytes()));
  return p;
}

link::Bytes ConvertedData(const link::Bytes& image, std::size_t headerSize) {
  if (image.size() <= headerSize)
    return {};
  link::Bytes data(image.begin() + static_cast<std::ptrdiff_t>(headerSize), image.end());
  data[0] = kConvertedMark;
  return data;
}

bool ConnectQuietly(Scenario& s) {
  if (!s.Start().packageReady || !s.Press(platform::kDeviceInfoButton))
    return false;
  const bool clean = s.screen.boxes().empty();
  s.screen.Clear();
  return clean;
}

bool RunUpgrade(Scenario& s, std::uint64_t limitMs) {
  if (!s.Press(platform::kUpgradeButton, limitMs))
    return false;
  s.loop.Advance(15000);
  return true;
}

sim::Device SmallTerminal(std::uint16_t blVersion) {
  constexpr std::size_t kAreaData = 1500;
  sim::DeviceSpec spec = PackageDevice(blVersion, 1);
  spec.dataVersion = kTerminalData;
  spec.appSize = kSmallAppSize;
  sim::Device device = sim::MakeDevice(spec);
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    device.para[i].primary.bytes =
        sim::MakeParaImage(i, kTerminalData, spec.model, kAreaData + 97 * i, spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  return device;
}

std::vector<link::Bytes> DataOf(const sim::Device& d) {
  std::vector<link::Bytes> data;
  if (d.UsesE2()) {
    link::Bytes e2 = d.e2prom;
    std::fill(e2.begin() + 18, e2.begin() + 32, 0);
    data.push_back(std::move(e2));
  } else {
    for (const sim::ParaArea& area : d.para) {
      link::Bytes bytes = area.primary.bytes;
      if (bytes.size() >= 64)
        std::fill(bytes.begin() + 48, bytes.begin() + 64, 0);
      data.push_back(std::move(bytes));
    }
  }
  return data;
}

const std::vector<link::Bytes>& UninterruptedUpgradeData(std::uint16_t blVersion) {
  static std::map<std::uint16_t, std::vector<link::Bytes>> done;
  auto it = done.find(blVersion);
  if (it == done.end()) {
    Scenario s(SmallTerminal(blVersion));
    MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
    EXPECT_TRUE(ConnectQuietly(s));
    EXPECT_TRUE(RunUpgrade(s));
    EXPECT_EQ(s.ctx().link.RunResult, 1);
    it = done.emplace(blVersion, DataOf(s.terminal().device())).first;
  }
  return it->second;
}

}  // namespace tavro::test
