// The tool's own texts - the menu, the roll-back and close questions, the
// transfer line - come from the language file: in Chinese no English is left.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "app/startup_labels.hpp"
#include "app/transfer_meter.hpp"
#include "app/window_fixture.hpp"
#include "engine/operation.hpp"
#include "link/messages.hpp"
#include "operations/roll_back.hpp"

namespace tavro::app {
namespace {

// The Latin words left in `text` once file names (1.dat, E2.dat), the
// memory names the Chinese texts keep (Flash) and access keys ("(&T)") are
// taken out.
std::string EnglishLeftIn(std::string text) {
  text = std::regex_replace(text, std::regex(R"(\(&[A-Z]\)|\b\w+\.dat\b|Flash)"), "");
  std::string left;
  const std::regex word("[A-Za-z]+");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator();
       ++it)
    left += it->str() + " ";
  return left;
}

// An operation that only occupies the window.
class Occupying final : public engine::Operation {
 public:
  bool CheckFileSet(engine::Context&) override { return true; }
  void OnIdentified(engine::Context&, engine::Identification) override {}
};

class ChineseWindow : public test::WindowFixture {
 protected:
  ChineseWindow() {
    copyLanguage_ = false;
    std::string language = test::ReadText(test::SourceLanguageFile());
    const std::size_t at = language.find("LanguageSet=0");
    if (at != std::string::npos)
      language.replace(at, 13, "LanguageSet=1");
    dir.Write("Language.ini", language);
  }

  // The line of the transfer the link state describes, with a rate known.
  std::string LineNow() {
    const auto t = RunningTransfer(ctx());
    EXPECT_TRUE(t);
    return t ? TransferLine(*t, 1000.0) : std::string();
  }
};

TEST_F(ChineseWindow, MenuAndQuestionsAreChinese) {
  ASSERT_TRUE(setUpResult);
  ASSERT_EQ(dlg->language().CurrentLanguage(), "简体中文");
  const MenuCaptions menu = MenuCaptionsOf(dlg->language());
  ASSERT_EQ(menu.operations.count(platform::kRollBackAction), 1u);
  for (const std::string& caption :
       {menu.tools, menu.buildPackage, menu.operations.at(platform::kRollBackAction)}) {
    EXPECT_NE(caption, kMissingTextValue);
    EXPECT_EQ(EnglishLeftIn(caption), "") << caption;
  }
  const std::string rollBack = operations::RollBackQuestion(ctx());
  EXPECT_EQ(rollBack, Text("Ext_AppGoback_Ask"));
  EXPECT_EQ(EnglishLeftIn(rollBack), "") << rollBack;

  ctx().operations.Install(std::make_shared<Occupying>());
  for (int button :
       {platform::kDeviceInfoButton, platform::kBackupButton, platform::kDownloadButton,
        platform::kUpgradeButton, platform::kRollBackAction}) {
    dlg->SetButtonHandler(button, [] {});
    dlg->OnButton(button);
    const std::string question = dlg->CloseQuestion();
    EXPECT_EQ(question.find(kMissingTextValue), std::string::npos) << question;
    EXPECT_EQ(EnglishLeftIn(question), "") << question;
  }
}

TEST_F(ChineseWindow, TheTransferLineIsChinese) {
  MarkOperationRunning();
  engine::LinkState& s = link();
  s.buffers.sendImage.assign(10000, 0);
  s.ImageLen = 10000;
  s.gFrameNum = 2;
  s.gFrameSum = 4;
  s.StepIndex = 1;
  ctx().package.paraFileTotalNum = 5;
  for (std::uint32_t cmd :
       {std::uint32_t{link::CmdAppSending}, std::uint32_t{link::CmdParaSending},
        std::uint32_t{link::MsgE2WriteBlock}, std::uint32_t{link::CmdFlashCopy},
        std::uint32_t{link::CmdResource}, std::uint32_t{link::MsgAppBackupStart},
        std::uint32_t{link::MsgParaBackupStart}}) {
    s.CmdID = cmd;
    const std::string line = LineNow();
    EXPECT_NE(line.find(Text("Ext_Tr_Rate")), std::string::npos) << line;
    EXPECT_EQ(EnglishLeftIn(line), "") << cmd << ": " << line;
  }
  s.CmdID = link::MsgE2Read;
  s.ReadLen = 0x10000;
  EXPECT_EQ(EnglishLeftIn(LineNow()), "");
}

}  // namespace
}  // namespace tavro::app
