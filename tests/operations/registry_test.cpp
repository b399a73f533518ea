// The operation rows are what the window, the console and the close question
// read: a row without its start, text or command would leave a dead button,
// a "Null" caption or a command that does nothing.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/language.hpp"
#include "app/window_fixture.hpp"
#include "engine/stage_control.hpp"
#include "operations/registry.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

TEST(OperationRows, EachRowIsCompleteAndFoundByItsIdAndCommand) {
  std::set<int> ids;
  std::set<std::string> commands;
  ASSERT_FALSE(OperationRows().empty());
  for (const OperationRow& row : OperationRows()) {
    SCOPED_TRACE(row.command);
    EXPECT_NE(row.start, nullptr);
    EXPECT_NE(row.controlId, 0);
    EXPECT_NE(std::string(row.command), "");
    EXPECT_NE(std::string(row.captionKey), "");
    EXPECT_NE(std::string(row.runningKey), "");
    EXPECT_GT(row.consoleLimitMs, 0u);
    EXPECT_TRUE(ids.insert(row.controlId).second) << "control id used twice";
    EXPECT_TRUE(commands.insert(row.command).second) << "command used twice";
    EXPECT_EQ(FindOperationRow(row.controlId), &row);
    EXPECT_EQ(FindOperationCommand(row.command), &row);
  }
  EXPECT_EQ(FindOperationRow(platform::kPortButton), nullptr);
  EXPECT_EQ(FindOperationCommand("ports"), nullptr);
}

TEST(OperationRows, TheDialogsFourButtonsAndTheToolsMenuEntries) {
  const int buttons[] = {platform::kDeviceInfoButton, platform::kBackupButton,
                         platform::kDownloadButton, platform::kUpgradeButton};
  for (int id : buttons) {
    ASSERT_NE(FindOperationRow(id), nullptr) << id;
    EXPECT_EQ(FindOperationRow(id)->placement, Placement::kButton) << id;
  }
  for (int id : {platform::kRollBackAction, platform::kRestoreAction}) {
    ASSERT_NE(FindOperationRow(id), nullptr) << id;
    EXPECT_EQ(FindOperationRow(id)->placement, Placement::kToolsMenu) << id;
  }
  // Only Upgrade and Restore keep a record that the next Upgrade resumes
  // from.
  for (const OperationRow& row : OperationRows()) {
    EXPECT_EQ(
        row.interruption == Interruption::kResumable,
        row.controlId == platform::kUpgradeButton || row.controlId == platform::kRestoreAction)
        << row.command;
  }
}

class OperationRowTexts : public test::WindowFixture {};

TEST_F(OperationRowTexts, EveryRowsCaptionAndCloseTextAreInTheLanguageFile) {
  ASSERT_TRUE(setUpResult);
  for (const OperationRow& row : OperationRows()) {
    EXPECT_NE(dlg->language().Text(row.captionKey), app::kMissingTextValue) << row.captionKey;
    EXPECT_NE(dlg->language().Text(row.runningKey), app::kMissingTextValue) << row.runningKey;
  }
}

TEST_F(OperationRowTexts, EveryButtonRowIsAControlAndIsDisabledWhileAnOperationRuns) {
  ASSERT_TRUE(setUpResult);
  MarkOperationRunning();
  engine::SetBusy(ctx(), engine::WindowState::kBusy);
  for (const OperationRow& row : OperationRows()) {
    if (row.placement != Placement::kButton)
      continue;
    ASSERT_TRUE(dlg->controls().Has(row.controlId)) << row.command;
    EXPECT_FALSE(dlg->controls().Get(row.controlId).enabled) << row.command;
  }
  engine::SetBusy(ctx(), engine::WindowState::kIdle);
  for (const OperationRow& row : OperationRows()) {
    if (row.placement == Placement::kButton) {
      EXPECT_TRUE(dlg->controls().Get(row.controlId).enabled) << row.command;
    }
  }
}

}  // namespace
}  // namespace tavro::operations
