// Upgrade software end to end against the simulated terminal: the
// terminal's own data read back, converted and written again, the rows of
// the data-version decision, and the resume of an interrupted data download
// with every way a record can fail to fit.

#include <gtest/gtest.h>

#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/para_images.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"

namespace tavro::test {
namespace {

sim::DeviceSpec Terminal(std::uint16_t blVersion, std::uint32_t dataVersion = kTerminalData) {
  sim::DeviceSpec spec = PackageDevice(blVersion, 1);
  spec.dataVersion = dataVersion;
  return spec;
}

std::vector<link::Bytes> FlashAreas(Scenario& s) {
  std::vector<link::Bytes> areas;
  for (const sim::ParaArea& area : s.terminal().device().para)
    areas.push_back(area.primary.bytes);
  return areas;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

std::vector<std::string> RecordsOf(Scenario& s) {
  return data::ListFiles(s.dir.PathOf("Backup/TAVR1"), "*.log");
}

void ExpectRunReported(Scenario& s) {
  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[boxes.size() - 2], s.Text("Dis_DevRestart"));
  EXPECT_EQ(boxes.back(), s.Text("Run_RunOk"));
  EXPECT_TRUE(RecordsOf(s).empty()) << "the record is gone after the completion";
  EXPECT_EQ(s.ctx().link.RunResult, 1);
}

void ExpectConvertedFlash(Scenario& s, const std::vector<link::Bytes>& before) {
  const std::vector<link::Bytes> after = FlashAreas(s);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i].size(), before[i].size()) << i;
    EXPECT_EQ(link::Bytes(after[i].begin() + 512, after[i].end()),
              ConvertedData(before[i], 512))
        << "area " << i;
    EXPECT_EQ(link::GetU32(after[i].data() + 6), kPackageData) << i;
    EXPECT_EQ(link::GetU16(after[i].data()), 1) << i;
  }
}

TEST(Upgrade, FlashTerminalKeepsItsOwnDataConvertedToThePackagesVersion) {
  Scenario s(Terminal(0x0215));
  const UpgradePackage p = MakeUpgradePackage(s);
  ASSERT_TRUE(ConnectQuietly(s));
  const std::vector<link::Bytes> before = FlashAreas(s);
  ASSERT_TRUE(RunUpgrade(s));
  ExpectRunReported(s);
  EXPECT_TRUE(StartsWith(s.BoxTexts()[0], s.Text("Run_Bak_App_Warn_L0") + ": 1.0.2.0\r\n"))
      << "no download warning; the App question first: " << s.BoxTexts()[0];
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  ExpectConvertedFlash(s, before);
  // The terminal's own data stays on the PC, and so does the converted set.
  const engine::LinkState& l = s.ctx().link;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const auto saved = data::ReadWholeFile(l.DataBackupFolder + "/" + data::FlashImageName(i + 1));
    ASSERT_TRUE(saved) << i;
    EXPECT_EQ(link::Bytes(saved->begin() + 512, saved->end()),
              link::Bytes(before[i].begin() + 512, before[i].end()));
  }
  EXPECT_TRUE(StartsWith(l.ParaPath, s.dir.PathOf("Backup/TAVR1/Conv/")));
  EXPECT_TRUE(data::IsFlashSetComplete(l.ParaPath, 5));
  const std::string log = s.RunLogText();
  EXPECT_NE(log.find("\r\n\r\nUpSW-"), std::string::npos);
  EXPECT_NE(log.find("\r\nDestVer_1030000"), std::string::npos);
  EXPECT_EQ(log.find("DlSW-"), std::string::npos);
}

TEST(Upgrade, E2promTerminalKeepsItsOwnDataConverted) {
  Scenario s(Terminal(0x0230));
  const UpgradePackage p = MakeUpgradePackage(s);
  ASSERT_TRUE(ConnectQuietly(s));
  const link::Bytes before = s.terminal().device().e2prom;
  ASSERT_TRUE(RunUpgrade(s));
  ExpectRunReported(s);
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  const link::Bytes& after = s.terminal().device().e2prom;
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(link::Bytes(after.begin() + 32, after.end()), ConvertedData(before, 32));
  EXPECT_EQ(link::GetU32(after.data() + 6), kPackageData);
  EXPECT_EQ(link::GetU16(after.data()), 0x55AA);
}

}  // namespace
}  // namespace tavro::test
