// The Language.ini shipped in package/ must hold every text key the tool
// asks for, in every language, with a real text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "app/language.hpp"
#include "data/ini_file.hpp"

namespace tavro::app {
namespace {

const std::set<std::string> kKeys = {
    // Software-wide
    "Sw_Title", "Sw_BoxTitle", "Sw_Warning", "Sw_Warning_Blank", "Sw_UpdateStop", "Sw_Backup_Ok",
    // Buttons
    "B_Connect", "B_Backup", "B_Update", "B_Download", "B_Run", "B_OpenCom", "B_CloseCom",
    // Static labels
    "S_Basic", "S_Cmd", "S_Info", "S_Status", "S_Com", "S_Connect", "S_Num", "S_OnOff",
    // Port states
    "C_Com", "C_NoCom", "C_ComLost", "C_ComClose",
    // Information area
    "Dis_GetInfo", "Dis_Backup2PC", "Dis_DataConv", "Dis_Download", "Dis_DevRun", "Dis_DevRestart",
    "Dis_TotalTime", "Dis_Backup2PC_App", "Dis_Backup2PC_App_Path", "Dis_Backup2PC_Para",
    "Dis_Backup2PC_Para_Path", "Dis_Bl_Ver", "Dis_ChipNum", "Dis_CompanyNum", "Dis_Ver_CurApp",
    "Dis_Ver_BakApp", "Dis_Ver_Para", "Dis_Intg_ERR_CurApp", "Dis_Intg_ERR_BakApp",
    "Dis_Intg_ERR_Para",
    // Files and transfers
    "F_NotExist", "F_ReadInErr", "F_AppFile", "F_multiFile", "F_BackupErr", "F_DataConvErr",
    "F_NoUpRuleErr", "F_DlAddrErr", "F_DlLenErr", "F_E_LenErr", "F_E_OpErr", "F_F_AdrrErr",
    "F_F_LenErr", "F_F_OpErr", "F_UpLenErr",
    // Run time
    "Run_ConnectOverTime", "Run_UnConnect", "Run_StatusErr", "Run_ErrNumOver", "Run_NoPermission",
    "Run_RunOk", "Run_CurAppNull", "Run_AppGobackOk", "Run_AppGobackNull", "Run_AppGobackErr",
    "Run_Bak_App_Warn_L0", "Run_Bak_App_Warn_L1", "Run_Bak_App_Warn_L2", "Run_Bak_App_Warn_L3",
    "Run_Dl_Warn_L0", "Run_Dl_Warn_L1", "Run_Dl_Warn_L2", "Run_Intg_Warn_L0", "Run_Intg_Warn_L1",
    "Run_Intg_Warn_L2", "Run_Log_Warn_L0", "Run_Log_Warn_L1", "Run_Log_Warn_L2", "Run_Log_Warn_L3",
    // Log file
    "Log_CreateErr", "Log_StatusErr",
    // Other
    "Cmd_Num_Err"};

// Texts of the tool's own, beyond the catalogue, carry this prefix.
constexpr const char* kOwnPrefix = "Ext_";

std::string PackageDir() {
  const char* source = std::getenv("TAVRO_SOURCE_DIR");
  return source == nullptr ? std::string() : std::string(source) + "/package";
}

class PackagedLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PackageDir().empty())
      GTEST_FAIL() << "TAVRO_SOURCE_DIR is not set (run the tests through ctest)";
    ini.Bind(PackageDir() + "/" + kLanguageFileName);
  }
  data::CIni ini;
};

TEST_F(PackagedLanguage, BothLanguagesHoldExactlyTheCatalogueWithRealTexts) {
  ASSERT_EQ(kKeys.size(), 87u);  // a doubled entry above would shrink the set
  const auto sections = ini.GetSectionNames();
  const auto start = std::find(sections.begin(), sections.end(), "LanguageStart");
  ASSERT_NE(start, sections.end());
  const std::vector<std::string> languages(start + 1, sections.end());
  ASSERT_EQ(languages.size(), 2u);
  std::set<std::string> ownKeys;
  for (const std::string& language : languages) {
    SCOPED_TRACE(language);
    const auto names = ini.GetKeyNames(language);
    const std::set<std::string> keys(names.begin(), names.end());
    EXPECT_EQ(keys.size(), names.size()) << "a key appears twice";
    // The catalogue exactly, plus the tool's own texts under their prefix,
    // the same ones in every language.
    std::set<std::string> catalogue;
    std::set<std::string> own;
    for (const std::string& key : keys)
      (key.rfind(kOwnPrefix, 0) == 0 ? own : catalogue).insert(key);
    EXPECT_EQ(catalogue, kKeys);
    if (ownKeys.empty())
      ownKeys = own;
    EXPECT_EQ(own, ownKeys) << "the tool's own texts differ between the languages";
    EXPECT_FALSE(own.empty());
    for (const std::string& key : keys) {
      const std::string text = ini.GetString(language, key, "");
      EXPECT_FALSE(text.empty()) << key;
      EXPECT_EQ(text.find("Null"), std::string::npos) << key;
      EXPECT_EQ(text.find("TODO"), std::string::npos) << key;
      if (key == "Sw_Warning_Blank") {  // a count of blanks, read as a number
        EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
      }
    }
  }
}

TEST_F(PackagedLanguage, SelectsEnglishWithEnglishButtons) {
  Language language;
  ASSERT_EQ(language.Select(PackageDir()), LanguageResult::kOk);
  EXPECT_EQ(language.CurrentLanguage(), "English");
  EXPECT_FALSE(language.NativeMessageButtons());
  // Texts that follow a path or a port name start with a blank.
  EXPECT_EQ(language.Text("F_NotExist").front(), ' ');
  EXPECT_EQ(language.Text("C_NoCom").front(), ' ');
  EXPECT_EQ(language.Text("C_Com").back(), ' ');
  EXPECT_EQ(language.Text("Log_CreateErr").front(), ' ');
}

TEST_F(PackagedLanguage, TheSecondLanguageIsChineseWithNativeButtons) {
  const auto sections = ini.GetSectionNames();
  ASSERT_FALSE(sections.empty());
  Language language;
  ASSERT_EQ(language.Select(PackageDir()), LanguageResult::kOk);
  const std::string chineseTitle = ini.GetString(sections.back(), "Sw_BoxTitle", "");
  EXPECT_TRUE(NeedsNativeButtons(chineseTitle));
}

}  // namespace
}  // namespace tavro::app
