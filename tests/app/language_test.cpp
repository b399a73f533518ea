#include "app/language.hpp"

#include <gtest/gtest.h>

#include "app/message_box.hpp"
#include "app/startup_labels.hpp"
#include "platform/control_ids.hpp"
#include "support/recording_screen.hpp"
#include "support/temp_dir.hpp"

namespace tavro::app {
namespace {

std::string LanguageFile(const std::string& languageSet) {
  return "[Language]\r\nLanguageSet=" + languageSet +
         "\r\n"
         "[Other]\r\nSw_Title=not a language\r\n"
         "[LanguageStart]\r\n"
         "[A]\r\nSw_Title=Title A\r\nSw_BoxTitle=Box A\r\n"
         "[B]\r\nSw_Title=Title B\r\nSw_BoxTitle=提示\r\n";
}

class LanguageTest : public ::testing::Test {
 protected:
  LanguageResult SelectWith(const std::string& content) {
    EXPECT_TRUE(dir.Write("Language.ini", content));
    return language.Select(dir.Path());
  }

  test::TempDir dir;
  Language language;
};

TEST_F(LanguageTest, LanguageSetCountsFromTheSectionAfterLanguageStart) {
  EXPECT_EQ(SelectWith(LanguageFile("0")), LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "A");
  EXPECT_EQ(language.Text("Sw_Title"), "Title A");
  EXPECT_FALSE(language.NativeMessageButtons());

  EXPECT_EQ(SelectWith(LanguageFile("1")), LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "B");
  EXPECT_EQ(language.Text("Sw_Title"), "Title B");
  EXPECT_TRUE(language.NativeMessageButtons());

  EXPECT_EQ(SelectWith(LanguageFile("0x1")), LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "B");
}

TEST_F(LanguageTest, MissingKeyReadsNull) {
  ASSERT_EQ(SelectWith(LanguageFile("0")), LanguageResult::kOk);
  EXPECT_EQ(language.Text("B_Connect"), "Null");
}

TEST_F(LanguageTest, EmptyOrMissingLanguageSetMeansTheFirstLanguage) {
  ASSERT_EQ(SelectWith("[Language]\r\n[LanguageStart]\r\n[A]\r\nk=a\r\n"), LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "A");
  ASSERT_EQ(SelectWith("[LanguageStart]\r\n[A]\r\nk=a\r\n"), LanguageResult::kOk);
  EXPECT_EQ(language.Text("k"), "a");
}

TEST_F(LanguageTest, LanguageSetPastTheLastSectionSelectsNothing) {
  for (const char* set : {"2", "0xFFFFFFFF", "4294967295", "-1"}) {
    SCOPED_TRACE(set);
    EXPECT_EQ(SelectWith(LanguageFile(set)), LanguageResult::kNoLanguage);
    EXPECT_FALSE(language.HasLanguage());
    EXPECT_EQ(language.CurrentLanguage(), "");
    EXPECT_EQ(language.Text("Sw_Title"), "Null");
    EXPECT_TRUE(language.NativeMessageButtons());
  }
  // LanguageStart as the last section: no language follows it.
  EXPECT_EQ(SelectWith("[Language]\r\nLanguageSet=0\r\n[A]\r\nk=a\r\n[LanguageStart]\r\n"),
            LanguageResult::kNoLanguage);
  EXPECT_EQ(language.Text("k"), "Null");
}

TEST_F(LanguageTest, LanguageStartMustMatchExactly) {
  EXPECT_EQ(SelectWith("[Language]\r\nLanguageSet=0\r\n[languagestart]\r\n[A]\r\nk=a\r\n"),
            LanguageResult::kNoLanguage);
  EXPECT_EQ(language.Text("k"), "Null");
  // Only the first LanguageStart counts.
  EXPECT_EQ(SelectWith("[LanguageStart]\r\n[A]\r\nk=a\r\n[LanguageStart]\r\n[B]\r\nk=b\r\n"),
            LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "A");
}

TEST_F(LanguageTest, MissingFile) {
  ASSERT_EQ(SelectWith(LanguageFile("1")), LanguageResult::kOk);
  test::TempDir empty;
  EXPECT_EQ(language.Select(empty.Path()), LanguageResult::kFileMissing);
  EXPECT_FALSE(language.HasLanguage());
  EXPECT_EQ(language.Text("Sw_Title"), "Null");
}

TEST(NativeButtons, LowByteOfAnyUtf16UnitAboveA0) {
  EXPECT_FALSE(NeedsNativeButtons("Message"));
  EXPECT_FALSE(NeedsNativeButtons(""));
  EXPECT_TRUE(NeedsNativeButtons("提示"));           // U+63D0: low byte D0
  EXPECT_TRUE(NeedsNativeButtons("\xC2\xA1"));       // U+00A1
  EXPECT_FALSE(NeedsNativeButtons("\xC2\xA0"));      // U+00A0 is not above A0
  EXPECT_FALSE(NeedsNativeButtons("\xE4\xB8\x80"));  // U+4E00: low byte 00
}

class MessageBoxTest : public LanguageTest {
 protected:
  test::RecordingScreen screen;
  MessageBoxService boxes{language, screen};
};

TEST_F(MessageBoxTest, BoxesCarryTheLanguageTitleAndButtonStyle) {
  ASSERT_EQ(SelectWith(LanguageFile("0")), LanguageResult::kOk);
  EXPECT_EQ(boxes.MessageBox("hello", platform::kBoxYesNo), platform::kButtonYes);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].title, "Box A");
  EXPECT_EQ(screen.boxes()[0].text, "hello");
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxYesNo);
  EXPECT_TRUE(screen.boxes()[0].englishButtons);

  ASSERT_EQ(SelectWith(LanguageFile("1")), LanguageResult::kOk);
  boxes.MessageBox("你好", platform::kBoxOk);
  EXPECT_EQ(screen.boxes()[1].title, "提示");
  EXPECT_FALSE(screen.boxes()[1].englishButtons);
  EXPECT_EQ(boxes.Text("Sw_Title"), "Title B");
}

TEST_F(MessageBoxTest, AnswersPassThroughAndHiddenKindsShowNothing) {
  ASSERT_EQ(SelectWith(LanguageFile("0")), LanguageResult::kOk);
  screen.answers().Queue(platform::kButtonCancel);
  screen.answers().Queue(platform::kButtonNo);
  EXPECT_EQ(boxes.MessageBox("q", platform::kBoxNone), platform::kNoButton);
  EXPECT_EQ(boxes.MessageBox("q", static_cast<platform::MessageKind>(9)), platform::kNoButton);
  EXPECT_EQ(boxes.MessageBox("q", static_cast<platform::MessageKind>(-1)), platform::kNoButton);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(boxes.MessageBox("q", platform::kBoxOkCancel), platform::kButtonCancel);
  EXPECT_EQ(boxes.MessageBox("q", platform::kBoxYesNo), platform::kButtonNo);
  for (platform::MessageKind kind :
       {platform::kBoxOk, platform::kBoxWarning, platform::kBoxError, platform::kBoxOkCancel})
    EXPECT_EQ(boxes.MessageBox("q", kind), platform::kButtonOk) << kind;
  EXPECT_EQ(screen.boxes().size(), 6u);
}

TEST_F(MessageBoxTest, WithoutALanguageBoxesAreStillShown) {
  ASSERT_EQ(SelectWith(LanguageFile("7")), LanguageResult::kNoLanguage);
  boxes.MessageBox("text", platform::kBoxError);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].title, "Null");
  EXPECT_FALSE(screen.boxes()[0].englishButtons);
}

TEST_F(MessageBoxTest, MissingLanguageFileBox) {
  boxes.ShowLanguageFileMissing();
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "Language.ini does not exist !");
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_EQ(screen.boxes()[0].title, kFixedBoxTitle);
}

TEST_F(LanguageTest, StartupLabels) {
  std::string keys;
  for (const char* k :
       {"Sw_Title", "B_Download", "B_Run", "B_Update", "B_Backup", "B_Connect", "S_Cmd", "S_Basic",
        "S_Info", "S_Com", "S_Status", "S_Connect", "S_Num", "S_OnOff"})
    keys += std::string(k) + "=[" + k + "]\r\n";
  ASSERT_EQ(SelectWith("[LanguageStart]\r\n[L]\r\n" + keys), LanguageResult::kOk);

  platform::ControlTable t = platform::MakeMainWindowControls();
  ApplyStartupLabels(t, language, dir.Path());
  EXPECT_EQ(t.Get(platform::kWindowTitle).text, "[Sw_Title]");
  EXPECT_EQ(t.Get(platform::kDownloadButton).text, "[B_Run]");
  EXPECT_EQ(t.Get(platform::kUpgradeButton).text, "[B_Update]");
  EXPECT_EQ(t.Get(platform::kBackupButton).text, "[B_Backup]");
  EXPECT_EQ(t.Get(platform::kDeviceInfoButton).text, "[B_Connect]");
  EXPECT_EQ(t.Get(platform::kFunctionGroup).text, "[S_Cmd]");
  EXPECT_EQ(t.Get(platform::kBasicSettingsGroup).text, "[S_Basic]");
  EXPECT_EQ(t.Get(platform::kInfoGroup).text, "[S_Info]");
  EXPECT_EQ(t.Get(platform::kPortStatusLabel).text, "[S_Com]\r\n[S_Status]");
  EXPECT_EQ(t.Get(platform::kConnectionStatusLabel).text, "[S_Connect]\r\n[S_Status]");
  EXPECT_EQ(t.Get(platform::kPortNumberLabel).text, "[S_Num]");
  EXPECT_EQ(t.Get(platform::kPortSwitchLabel).text, "[S_OnOff]");
  EXPECT_EQ(t.Get(platform::kPortButton).text, "");  // the port handling captions it

  ASSERT_TRUE(dir.Write("QZDownload.bin", ""));
  ApplyStartupLabels(t, language, dir.Path());
  EXPECT_EQ(t.Get(platform::kDownloadButton).text, "[B_Download]");
  EXPECT_EQ(DownloadButtonCaption(language, dir.Path()), "[B_Download]");
}

}  // namespace
}  // namespace tavro::app
