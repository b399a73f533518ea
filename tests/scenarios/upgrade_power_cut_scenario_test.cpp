// Power cuts during an upgrade: the terminal loses its power at a block of
// the data download (before the block is stored, after it is stored but
// before its acknowledgement, after the acknowledgement) or of the App; it
// is powered up again and Upgrade is pressed once more, answering every
// question with OK. The terminal must then hold, byte for byte, what an
// uninterrupted upgrade leaves (time stamps aside) and the package's App.

#include <gtest/gtest.h>

#include <map>

#include "data/file_io.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"
#include "sim/faults.hpp"
#include "sim/profile.hpp"

namespace tavro::test {
namespace {

// Small areas keep the matrix quick: one data block each.
constexpr std::size_t kAreaData = 1500;
constexpr std::size_t kAppSize = 4096 + 300;  // two App blocks after the descriptor

sim::Device SmallTerminal(std::uint16_t blVersion) {
  sim::DeviceSpec spec = PackageDevice(blVersion, 1);
  spec.dataVersion = kTerminalData;
  spec.appSize = kAppSize;
  sim::Device device = sim::MakeDevice(spec);
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    device.para[i].primary.bytes =
        sim::MakeParaImage(i, kTerminalData, spec.model, kAreaData + 97 * i, spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  return device;
}

// The terminal's data with the download's time stamps blanked: Flash area
// headers keep them at 48..63, the E2PROM header at 18..31.
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

struct Cut {
  std::uint16_t blVersion;
  std::string fault;  // the simulator's PowerCut text
};

void PrintTo(const Cut& cut, std::ostream* os) {
  *os << "bootloader " << std::hex << cut.blVersion << ", PowerCut=" << cut.fault;
}

std::string CaseName(const ::testing::TestParamInfo<Cut>& info) {
  std::string name = "Bl" + std::to_string(info.param.blVersion) + "_";
  for (const char c : info.param.fault)
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

// What an uninterrupted upgrade leaves on a terminal of this generation.
const std::vector<link::Bytes>& Reference(std::uint16_t blVersion) {
  static std::map<std::uint16_t, std::vector<link::Bytes>> done;
  auto it = done.find(blVersion);
  if (it == done.end()) {
    Scenario s(SmallTerminal(blVersion));
    MakeUpgradePackage(s, kPackageData, true, kAppSize);
    EXPECT_TRUE(ConnectQuietly(s));
    EXPECT_TRUE(RunUpgrade(s));
    EXPECT_EQ(s.ctx().link.RunResult, 1);
    it = done.emplace(blVersion, DataOf(s.terminal().device())).first;
  }
  return it->second;
}

class UpgradePowerCut : public ::testing::TestWithParam<Cut> {};

TEST_P(UpgradePowerCut, TheNextUpgradeLeavesWhatAnUninterruptedOneLeaves) {
  const Cut& cut = GetParam();
  const std::vector<link::Bytes>& reference = Reference(cut.blVersion);
  Scenario s(SmallTerminal(cut.blVersion));
  const UpgradePackage p = MakeUpgradePackage(s, kPackageData, true, kAppSize);
  // The terminal's memory is its profile folder, as the simulator keeps it.
  const std::string profile = s.dir.PathOf("terminal");
  {
    sim::Profile saved;
    saved.device = s.terminal().device();
    std::string error;
    ASSERT_TRUE(sim::SaveProfile(profile, saved, error)) << error;
  }
  s.rig->PersistTo(profile, {}, {});
  ASSERT_TRUE(ConnectQuietly(s));
  const std::vector<link::Bytes> own = DataOf(s.terminal().device());

  std::string error;
  ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut", cut.fault, error)) << error;
  int cuts = 0;
  s.terminal().SetPowerCutHook([&cuts] { ++cuts; });
  ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000));
  ASSERT_EQ(cuts, 1) << "the power was cut at " << cut.fault;

  // What the terminal keeps is what its profile folder holds.
  sim::Profile kept;
  ASSERT_TRUE(sim::LoadProfile(profile, kept, error)) << error;
  EXPECT_EQ(DataOf(kept.device), DataOf(s.terminal().device()));
  EXPECT_TRUE(s.rig->SaveError().empty()) << s.rig->SaveError();

  s.terminal().PowerUp();
  s.loop.Advance(5000);
  s.screen.Clear();
  ASSERT_TRUE(RunUpgrade(s));
  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes.back(), s.Text("Run_RunOk")) << "after the cut at " << cut.fault;
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  EXPECT_EQ(DataOf(s.terminal().device()), reference)
      << "the terminal's data differs from an uninterrupted upgrade's";
  EXPECT_NE(DataOf(s.terminal().device()), own);
  EXPECT_TRUE(data::ListFiles(s.dir.PathOf("Backup/TAVR1"), "*.log").empty());
}

// A second cut while the resumed download rewrites an area it had already
// written: the record must still fit the terminal, and a third Upgrade ends
// where an uninterrupted one does.
TEST(UpgradePowerCuts, ASecondCutDuringTheResumedDownloadIsResumedToo) {
  struct Twice {
    std::uint16_t blVersion;
    const char* first;
    const char* second;
  };
  for (const Twice& t : {Twice{0x0215, "Para:3, 1, OnArrival", "Para:0, 0, AfterStore"},
                         Twice{0x0215, "Para:3, 1, OnArrival", "Para:1, 1, OnArrival"},
                         Twice{0x0215, "Para:3, 1, OnArrival", "App, 1"},
                         Twice{0x0230, "E2, 5, OnArrival", "E2, 2, AfterStore"},
                         Twice{0x0230, "E2, 5, AfterStore", "E2Copy, 3"}}) {
    SCOPED_TRACE(std::string(t.first) + " then " + t.second);
    const std::vector<link::Bytes>& reference = Reference(t.blVersion);
    Scenario s(SmallTerminal(t.blVersion));
    const UpgradePackage p = MakeUpgradePackage(s, kPackageData, true, kAppSize);
    ASSERT_TRUE(ConnectQuietly(s));
    std::string error;
    for (const char* fault : {t.first, t.second}) {
      ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut", fault, error)) << error;
      int cuts = 0;
      s.terminal().SetPowerCutHook([&cuts] { ++cuts; });
      ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000));
      ASSERT_EQ(cuts, 1) << fault;
      s.terminal().PowerUp();
      s.loop.Advance(5000);
    }
    s.screen.Clear();
    ASSERT_TRUE(RunUpgrade(s));
    EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
    for (const std::string& box : s.BoxTexts())
      EXPECT_NE(box.rfind(s.Text("Run_Log_Warn_L0"), 0), 0u) << "the record fits: no question";
    EXPECT_EQ(s.terminal().device().app.image, p.app);
    EXPECT_EQ(DataOf(s.terminal().device()), reference);
  }
}

// Between the cut and the next Upgrade the technician presses the Download
// button, which offers only "Run" without a package: its completion must not
// take the interrupted upgrade's record with it.
TEST(UpgradePowerCuts, TheRunButtonLeavesTheInterruptedUpgradesRecord) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  std::string error;
  ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut", "Para:2, 1", error)) << error;
  ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000));
  s.terminal().PowerUp();
  s.loop.Advance(5000);
  const std::string folder = s.dir.PathOf("Backup/TAVR1");
  ASSERT_EQ(data::ListFiles(folder, "*.log").size(), 1u);
  ASSERT_TRUE(s.Press(platform::kDownloadButton));
  EXPECT_EQ(data::ListFiles(folder, "*.log").size(), 1u);
  EXPECT_EQ(data::ListFiles(folder + "/COMLog", "*.log").size(), 1u);
  s.screen.Clear();
  ASSERT_TRUE(RunUpgrade(s));
  EXPECT_NE(s.RunLogText().find("\r\nCheck-Resume"), std::string::npos) << "resumed";
  EXPECT_EQ(DataOf(s.terminal().device()), Reference(0x0215));
}

// Every block of every area, at the three instants; a few App blocks.
std::vector<Cut> FlashCuts() {
  std::vector<Cut> cuts;
  for (std::size_t area = 0; area < 5; ++area) {
    for (int block = 0; block < 2; ++block) {
      for (const char* when : {"OnArrival", "AfterStore"}) {
        cuts.push_back(
            {0x0215, "Para:" + std::to_string(area) + ", " + std::to_string(block) + ", " + when});
      }
    }
    cuts.push_back({0x0215, "Para:" + std::to_string(area) + ", 1, AfterAck"});
  }
  for (int block : {0, 1, 2})
    cuts.push_back({0x0215, "App, " + std::to_string(block)});
  return cuts;
}

std::vector<Cut> E2Cuts() {
  std::vector<Cut> cuts;
  for (int block = 0; block < 16; ++block) {
    for (const char* when : {"OnArrival", "AfterStore"})
      cuts.push_back({0x0230, "E2, " + std::to_string(block) + ", " + when});
  }
  cuts.push_back({0x0230, "E2, 15, AfterAck"});
  for (int block : {0, 7, 15})
    cuts.push_back({0x0230, "E2Copy, " + std::to_string(block)});
  for (int block : {0, 2})
    cuts.push_back({0x0230, "App, " + std::to_string(block)});
  return cuts;
}

INSTANTIATE_TEST_SUITE_P(FlashAreas, UpgradePowerCut, ::testing::ValuesIn(FlashCuts()), CaseName);
INSTANTIATE_TEST_SUITE_P(E2prom, UpgradePowerCut, ::testing::ValuesIn(E2Cuts()), CaseName);

}  // namespace
}  // namespace tavro::test
