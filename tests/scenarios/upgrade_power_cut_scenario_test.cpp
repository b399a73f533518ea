// Power cuts during an upgrade: the terminal loses its power at a block of
// the data download (before the block is stored, after it is stored but
// before its acknowledgement, after the acknowledgement) or of the App; it
// is powered up again and Upgrade is pressed once more, answering every
// question with OK. The terminal must then hold, byte for byte, what an
// uninterrupted upgrade leaves (time stamps aside) and the package's App.

#include <gtest/gtest.h>

#include <algorithm>
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

struct Cut {
  std::uint16_t blVersion;
  std::string fault;  // the simulator's PowerCut text
  // The terminal clears its data's intact mark as soon as a rewrite's first
  // block arrives, before storing it.
  bool clearMarkOnArrival = false;
};

void PrintTo(const Cut& cut, std::ostream* os) {
  *os << "bootloader " << std::hex << cut.blVersion << ", PowerCut=" << cut.fault
      << (cut.clearMarkOnArrival ? ", ClearMarkOnArrival" : "");
}

std::string CaseName(const ::testing::TestParamInfo<Cut>& info) {
  std::string name = "Bl" + std::to_string(info.param.blVersion) + "_";
  if (info.param.clearMarkOnArrival)
    name += "ClearMark_";
  for (const char c : info.param.fault)
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class UpgradePowerCut : public ::testing::TestWithParam<Cut> {};

TEST_P(UpgradePowerCut, TheNextUpgradeLeavesWhatAnUninterruptedOneLeaves) {
  const Cut& cut = GetParam();
  const std::vector<link::Bytes>& reference = UninterruptedUpgradeData(cut.blVersion);
  Scenario s(SmallTerminal(cut.blVersion));
  const UpgradePackage p = MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
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

  s.terminal().behaviour().clearMarkOnArrival = cut.clearMarkOnArrival;
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
  if (cut.clearMarkOnArrival) {
    // The saved set was resumed; a fresh upgrade would have read back data
    // that no longer looks intact.
    for (const std::string& box : boxes)
      EXPECT_NE(box.rfind(s.Text("Run_Log_Warn_L0"), 0), 0u) << "asked instead of resuming";
    EXPECT_NE(s.RunLogText().find("\r\nCheck-Resume"), std::string::npos);
  }
}

// An E2PROM terminal that clears its intact mark when the rewrite begins,
// cut before the first block is stored: the record must belong to it by the
// time stamp its data had before the download, and only then.
class ClearedMarkRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
    ASSERT_TRUE(ConnectQuietly(s));
    before = s.terminal().device().e2prom;
    s.terminal().behaviour().clearMarkOnArrival = true;
    std::string error;
    ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut", "E2, 0, OnArrival", error))
        << error;
    ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000));
    ASSERT_FALSE(s.terminal().Powered());
    // The old data, its mark cleared, nothing of the new set.
    ASSERT_EQ(link::GetU16(s.terminal().device().e2prom.data()), 0xFFFF);
    ASSERT_TRUE(
        std::equal(before.begin() + 2, before.end(), s.terminal().device().e2prom.begin() + 2));
    records = data::ListFiles(folder(), "*.log");
    ASSERT_EQ(records.size(), 1u);
  }

  std::string folder() { return s.dir.PathOf("Backup/TAVR1"); }

  // Upgrade again, every box cancelled: true when the first box was the
  // question about a record that does not fit.
  bool AsksAboutTheRecord() {
    s.terminal().PowerUp();
    s.loop.Advance(5000);
    s.screen.Clear();
    s.screen.answers().SetDefault(platform::kButtonCancel);
    EXPECT_TRUE(s.Press(platform::kUpgradeButton, 900000));
    const std::vector<std::string> boxes = s.BoxTexts();
    return !boxes.empty() && boxes.front().rfind(s.Text("Run_Log_Warn_L0"), 0) == 0;
  }

  Scenario s{SmallTerminal(0x0230)};
  link::Bytes before;
  std::vector<std::string> records;
};

TEST_F(ClearedMarkRecord, AnOldRecordWithoutThePreviousStampStillAsks) {
  for (const std::string& path :
       {folder() + "/" + records[0], folder() + "/COMLog/" + records[0]}) {
    const auto bytes = data::ReadWholeFile(path);
    ASSERT_TRUE(bytes.has_value()) << path;
    std::string text(bytes->begin(), bytes->end());
    const auto section = text.find("[Terminal]");
    ASSERT_NE(section, std::string::npos) << text;
    text.erase(section);
    ASSERT_TRUE(data::WriteFileAtomic(path, link::Bytes(text.begin(), text.end())));
  }
  EXPECT_TRUE(AsksAboutTheRecord());
  EXPECT_EQ(data::ListFiles(folder(), "*.log"), records) << "Cancel keeps the record";
  EXPECT_EQ(s.SentDuringPress(link::MsgE2WriteAck), 0u);
}

TEST_F(ClearedMarkRecord, AnotherTerminalOnThePortStillGetsTheQuestion) {
  // Another terminal: the same kind, its data stamped at another time.
  s.terminal().mutableDevice().e2prom[24] ^= 1;
  EXPECT_TRUE(AsksAboutTheRecord());
  EXPECT_EQ(s.SentDuringPress(link::MsgE2WriteAck), 0u);
}

TEST_F(ClearedMarkRecord, TheTerminalItselfResumesWithoutAQuestion) {
  EXPECT_FALSE(AsksAboutTheRecord());
  EXPECT_GT(s.SentDuringPress(link::MsgE2WriteAck), 0u);
  EXPECT_NE(s.RunLogText().find("\r\nCheck-RewriteBegun"), std::string::npos);
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
    const std::vector<link::Bytes>& reference = UninterruptedUpgradeData(t.blVersion);
    Scenario s(SmallTerminal(t.blVersion));
    const UpgradePackage p = MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
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
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
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
  EXPECT_EQ(DataOf(s.terminal().device()), UninterruptedUpgradeData(0x0215));
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

// A terminal that clears its data's intact mark when a rewrite's first block
// arrives: cut at that block, the terminal holds its old data unmarked.
std::vector<Cut> ClearMarkCuts() {
  std::vector<Cut> cuts;
  for (const char* when : {"OnArrival", "AfterStore", "AfterAck"}) {
    cuts.push_back({0x0230, std::string("E2, 0, ") + when, true});
    for (int area : {0, 1})
      cuts.push_back({0x0215, "Para:" + std::to_string(area) + ", 0, " + when, true});
  }
  return cuts;
}

INSTANTIATE_TEST_SUITE_P(FlashAreas, UpgradePowerCut, ::testing::ValuesIn(FlashCuts()), CaseName);
INSTANTIATE_TEST_SUITE_P(E2prom, UpgradePowerCut, ::testing::ValuesIn(E2Cuts()), CaseName);
INSTANTIATE_TEST_SUITE_P(ClearMarkOnArrival, UpgradePowerCut, ::testing::ValuesIn(ClearMarkCuts()),
                         CaseName);

}  // namespace
}  // namespace tavro::test
