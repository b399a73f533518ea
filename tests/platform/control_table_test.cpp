#include "platform/control_table.hpp"

#include <gtest/gtest.h>

#include <set>

#include "platform/control_ids.hpp"

namespace tavro::platform {
namespace {

std::vector<int> Ids(const std::vector<platform::ControlChange>& changes) {
  std::vector<int> ids;
  for (const auto& c : changes)
    ids.push_back(c.id);
  return ids;
}

TEST(ControlTable, ChangesAreHandedOverOnceInIdOrder) {
  platform::ControlTable t;
  t.Add(1043, {});
  t.Add(1054, {});
  t.Add(1062, {});
  EXPECT_EQ(Ids(t.TakeChanges()), (std::vector<int>{1043, 1054, 1062}));
  EXPECT_FALSE(t.HasChanges());
  t.SetPos(1054, 10);
  t.SetText(1043, "Ready");
  t.SetText(1043, "Ready!");
  const auto changes = t.TakeChanges();
  ASSERT_EQ(Ids(changes), (std::vector<int>{1043, 1054}));
  EXPECT_EQ(changes[0].state.text, "Ready!");
  EXPECT_EQ(changes[1].state.pos, 10);
  EXPECT_TRUE(t.TakeChanges().empty());
}

TEST(ControlTable, SettingTheSameValueIsNoChange) {
  platform::ControlTable t;
  t.Add(1, {});
  t.TakeChanges();
  t.SetText(1, "");
  t.SetEnabled(1, true);
  t.SetVisible(1, true);
  t.SetIcon(1, platform::kIconNone);
  t.SetRange(1, 0, 0);
  EXPECT_FALSE(t.HasChanges());
  t.SetIcon(1, platform::kIconOn);
  t.SetRange(1, 0, 4096);
  EXPECT_EQ(t.Get(1).icon, platform::kIconOn);
  EXPECT_EQ(t.Get(1).rangeMax, 4096);
  EXPECT_EQ(t.TakeChanges().size(), 1u);
  t.AppendText(1, "");
  EXPECT_FALSE(t.HasChanges());
  t.AppendText(1, "\r\nmore");
  EXPECT_EQ(t.Get(1).text, "\r\nmore");
  EXPECT_TRUE(t.HasChanges());
}

TEST(ControlTable, UnknownIdsAreIgnored) {
  platform::ControlTable t;
  t.SetText(999, "x");
  t.SetSelected(999, 0);
  EXPECT_FALSE(t.Has(999));
  EXPECT_FALSE(t.HasChanges());
  EXPECT_EQ(t.Get(999).text, "");
}

TEST(ControlTable, SelectionStaysInsideTheItems) {
  platform::ControlTable t;
  t.Add(platform::kPortList, {});
  t.SetItems(platform::kPortList, {"COM1", "COM3"});
  t.SetSelected(platform::kPortList, 1);
  EXPECT_EQ(t.Get(platform::kPortList).selected, 1);
  t.SetSelected(platform::kPortList, 2);
  EXPECT_EQ(t.Get(platform::kPortList).selected, -1);
  t.SetSelected(platform::kPortList, 1);
  t.SetItems(platform::kPortList, {"COM1"});  // the selected entry disappeared
  EXPECT_EQ(t.Get(platform::kPortList).selected, -1);
}

TEST(MainWindowControls, EveryControlOfTheWindowExists) {
  platform::ControlTable t = platform::MakeMainWindowControls();
  const std::vector<int> visible = {platform::kWindowTitle,     platform::kBasicSettingsGroup,
                                    platform::kPortNumberLabel, platform::kPortList,
                                    platform::kPortSwitchLabel, platform::kPortButton,
                                    platform::kPortStatusLabel, platform::kConnectionStatusLabel,
                                    platform::kPortStatusIcon,  platform::kConnectionStatusIcon,
                                    platform::kFunctionGroup,   platform::kDeviceInfoButton,
                                    platform::kBackupButton,    platform::kDownloadButton,
                                    platform::kUpgradeButton,   platform::kInfoGroup,
                                    platform::kWarningText,     platform::kInfoText,
                                    platform::kProgressNote,    platform::kProgressBar};
  for (int id : visible) {
    ASSERT_TRUE(t.Has(id)) << id;
    EXPECT_TRUE(t.Get(id).visible) << id;
  }
  std::set<int> hidden = {1000, 1009, 1010, 1015, 1016, 1017, 1018, 1019, 1022, 1023, 1029,
                          1030, 1031, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1052, 1059};
  for (int id : platform::kDeveloperRadioButtons)
    hidden.insert(id);
  EXPECT_EQ(hidden.size(), 37u);
  for (int id : hidden) {
    ASSERT_TRUE(t.Has(id)) << id;
    EXPECT_FALSE(t.Get(id).visible) << id;
  }
  EXPECT_EQ(t.Size(), visible.size() + hidden.size());
  for (int id : platform::kDisabledAtStartup)
    EXPECT_TRUE(hidden.count(id)) << id;

  EXPECT_EQ(t.Get(platform::kWindowTitle).kind, platform::ControlKind::kWindow);
  EXPECT_EQ(t.Get(platform::kProgressBar).kind, platform::ControlKind::kProgressBar);
  EXPECT_EQ(t.Get(platform::kBaudList).items, (std::vector<std::string>{"9600", "115200"}));
  EXPECT_EQ(t.Get(platform::kBaudList).selected, 1);
  EXPECT_EQ(t.Get(platform::kFlashOperationList).items.size(), 3u);
  // A new window shows everything once.
  EXPECT_EQ(t.TakeChanges().size(), t.Size());
}

}  // namespace
}  // namespace tavro::platform
