#include "app/control_table.hpp"

#include <gtest/gtest.h>

#include <set>

#include "app/control_ids.hpp"

namespace tavro::app {
namespace {

std::vector<int> Ids(const std::vector<ControlChange>& changes) {
  std::vector<int> ids;
  for (const auto& c : changes)
    ids.push_back(c.id);
  return ids;
}

TEST(ControlTable, ChangesAreHandedOverOnceInIdOrder) {
  ControlTable t;
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
  ControlTable t;
  t.Add(1, {});
  t.TakeChanges();
  t.SetText(1, "");
  t.SetEnabled(1, true);
  t.SetVisible(1, true);
  t.SetIcon(1, kIconNone);
  t.SetRange(1, 0, 0);
  EXPECT_FALSE(t.HasChanges());
  t.SetIcon(1, kIconOn);
  t.SetRange(1, 0, 4096);
  EXPECT_EQ(t.Get(1).icon, kIconOn);
  EXPECT_EQ(t.Get(1).rangeMax, 4096);
  EXPECT_EQ(t.TakeChanges().size(), 1u);
  t.AppendText(1, "");
  EXPECT_FALSE(t.HasChanges());
  t.AppendText(1, "\r\nmore");
  EXPECT_EQ(t.Get(1).text, "\r\nmore");
  EXPECT_TRUE(t.HasChanges());
}

TEST(ControlTable, UnknownIdsAreIgnored) {
  ControlTable t;
  t.SetText(999, "x");
  t.SetSelected(999, 0);
  EXPECT_FALSE(t.Has(999));
  EXPECT_FALSE(t.HasChanges());
  EXPECT_EQ(t.Get(999).text, "");
}

TEST(ControlTable, SelectionStaysInsideTheItems) {
  ControlTable t;
  t.Add(kPortList, {});
  t.SetItems(kPortList, {"COM1", "COM3"});
  t.SetSelected(kPortList, 1);
  EXPECT_EQ(t.Get(kPortList).selected, 1);
  t.SetSelected(kPortList, 2);
  EXPECT_EQ(t.Get(kPortList).selected, -1);
  t.SetSelected(kPortList, 1);
  t.SetItems(kPortList, {"COM1"});  // the selected entry disappeared
  EXPECT_EQ(t.Get(kPortList).selected, -1);
}

TEST(MainWindowControls, EveryControlOfTheWindowExists) {
  ControlTable t = MakeMainWindowControls();
  const std::vector<int> visible = {kWindowTitle,     kBasicSettingsGroup,
                                    kPortNumberLabel, kPortList,
                                    kPortSwitchLabel, kPortButton,
                                    kPortStatusLabel, kConnectionStatusLabel,
                                    kPortStatusIcon,  kConnectionStatusIcon,
                                    kFunctionGroup,   kDeviceInfoButton,
                                    kBackupButton,    kDownloadButton,
                                    kUpgradeButton,   kInfoGroup,
                                    kWarningText,     kInfoText,
                                    kProgressNote,    kProgressBar};
  for (int id : visible) {
    ASSERT_TRUE(t.Has(id)) << id;
    EXPECT_TRUE(t.Get(id).visible) << id;
  }
  std::set<int> hidden = {1000, 1009, 1010, 1015, 1016, 1017, 1018, 1019, 1022, 1023, 1029,
                          1030, 1031, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1052, 1059};
  for (int id : kDeveloperRadioButtons)
    hidden.insert(id);
  EXPECT_EQ(hidden.size(), 37u);
  for (int id : hidden) {
    ASSERT_TRUE(t.Has(id)) << id;
    EXPECT_FALSE(t.Get(id).visible) << id;
  }
  EXPECT_EQ(t.Size(), visible.size() + hidden.size());
  for (int id : kDisabledAtStartup)
    EXPECT_TRUE(hidden.count(id)) << id;

  EXPECT_EQ(t.Get(kWindowTitle).kind, ControlKind::kWindow);
  EXPECT_EQ(t.Get(kProgressBar).kind, ControlKind::kProgressBar);
  EXPECT_EQ(t.Get(kBaudList).items, (std::vector<std::string>{"9600", "115200"}));
  EXPECT_EQ(t.Get(kBaudList).selected, 1);
  EXPECT_EQ(t.Get(kFlashOperationList).items.size(), 3u);
  // A new window shows everything once.
  EXPECT_EQ(t.TakeChanges().size(), t.Size());
}

}  // namespace
}  // namespace tavro::app
