#include "gui/qt_screen.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "gui/main_window.hpp"
#include "platform/messages.hpp"

namespace tavro::gui {
namespace {

TEST(QtFileFilter, TurnsLabelPatternPairsIntoQtFilters) {
  EXPECT_EQ(QtFileFilter("(*.ini)|*.ini|所有文件(*.*)|*.*||"),
            QString::fromUtf8("(*.ini);;所有文件(*.*)"));
  EXPECT_EQ(QtFileFilter("Text files|*.txt;*.log|Images (*.bmp)|*.png||"),
            QStringLiteral("Text files (*.txt *.log);;Images (*.bmp) (*.png)"));
  EXPECT_EQ(QtFileFilter("|*.bin||"), QStringLiteral("(*.bin)"));
  EXPECT_EQ(QtFileFilter(""), QString());
  // A last label without patterns is not a filter.
  EXPECT_EQ(QtFileFilter("Data|*.dat|Odd"), QStringLiteral("Data (*.dat)"));
}

TEST(DisplayText, ShowsCrLfAsOneLineBreak) {
  EXPECT_EQ(DisplayText("Port\r\nstatus\r\n\r\nend"), QStringLiteral("Port\nstatus\n\nend"));
  EXPECT_EQ(DisplayText("√ 100%"), QString::fromUtf8("√ 100%"));
}

// Answers the next modal box: `inspect` sees it, then `button` is clicked.
void AnswerNextBox(std::function<void(QMessageBox&)> inspect, QMessageBox::StandardButton button) {
  QTimer::singleShot(0, [inspect = std::move(inspect), button] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    inspect(*box);
    ASSERT_NE(box->button(button), nullptr);
    box->button(button)->click();
  });
}

class QtScreenTest : public ::testing::Test {
 protected:
  platform::MessageBoxRequest Request(int kind, bool english = true) {
    return {"Box title", "first\r\nsecond <b>not bold</b>",
            static_cast<platform::MessageKind>(kind), english};
  }

  MainWindow window;
  QtScreen screen{window};
};

TEST_F(QtScreenTest, YesNoBoxAsksAQuestionInEnglishAndReturnsTheButton) {
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Box title"));
        EXPECT_EQ(box.text(), QStringLiteral("first\nsecond <b>not bold</b>"));
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("Yes"));
        EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("No"));
        EXPECT_EQ(box.button(QMessageBox::Ok), nullptr);
      },
      QMessageBox::No);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxYesNo)), platform::kButtonNo);

  AnswerNextBox([](QMessageBox&) {}, QMessageBox::Yes);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxYesNo)), platform::kButtonYes);
}

TEST_F(QtScreenTest, OkCancelBoxReturnsOneOrTwo) {
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Question);
        EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("Ok"));
        EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
      },
      QMessageBox::Cancel);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxOkCancel)), platform::kButtonCancel);
  AnswerNextBox([](QMessageBox&) {}, QMessageBox::Ok);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxOkCancel)), platform::kButtonOk);
}

TEST_F(QtScreenTest, OkBoxesCarryTheirIcons) {
  const std::pair<int, QMessageBox::Icon> kinds[] = {{platform::kBoxOk, QMessageBox::NoIcon},
                                                     {platform::kBoxWarning, QMessageBox::Warning},
                                                     {platform::kBoxError, QMessageBox::Critical}};
  for (const auto& [kind, icon] : kinds) {
    AnswerNextBox(
        [icon = icon](QMessageBox& box) {
          EXPECT_EQ(box.icon(), icon);
          EXPECT_EQ(box.buttons().size(), 1);
        },
        QMessageBox::Ok);
    EXPECT_EQ(screen.ShowMessageBox(Request(kind)), platform::kButtonOk) << "kind " << kind;
  }
}

TEST_F(QtScreenTest, NativeButtonsKeepQtsOwnCaptions) {
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_NE(box.button(QMessageBox::Ok)->text(), QStringLiteral("Ok"));
        EXPECT_FALSE(box.button(QMessageBox::Ok)->text().isEmpty());
      },
      QMessageBox::Ok);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxOkCancel, false)), platform::kButtonOk);
}

TEST_F(QtScreenTest, KindsThatShowNothingReturnZeroWithoutAskingTheAnswerer) {
  int asked = 0;
  screen.SetBoxAnswerer([&](const platform::MessageBoxRequest&) {
    ++asked;
    return platform::kButtonOk;
  });
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxNone)), platform::kNoButton);
  EXPECT_EQ(screen.ShowMessageBox(Request(9)), platform::kNoButton);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(screen.ShowMessageBox(Request(platform::kBoxOkCancel)), platform::kButtonOk);
  EXPECT_EQ(asked, 1);
}

TEST_F(QtScreenTest, FileChoiceGetsTheQtFilterAndPassesTheAnswerOn) {
  QString filterSeen;
  screen.SetFileChooser([&](const QString& filter) -> std::optional<std::string> {
    filterSeen = filter;
    return std::string("/tmp/x.ini");
  });
  EXPECT_EQ(screen.ChooseFile("Ini|*.ini||"), std::optional<std::string>("/tmp/x.ini"));
  EXPECT_EQ(filterSeen, QStringLiteral("Ini (*.ini)"));
  screen.SetFileChooser([](const QString&) { return std::optional<std::string>(); });
  EXPECT_EQ(screen.ChooseFile("Ini|*.ini||"), std::nullopt);
}

}  // namespace
}  // namespace tavro::gui
