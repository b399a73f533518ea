#include "app/startup_labels.hpp"

#include "data/file_io.hpp"
#include "platform/control_ids.hpp"

namespace tavro::app {

std::string DownloadButtonCaption(const Language& language, const std::string& programDir) {
  const bool marker = data::FileExists(programDir + "/" + kDownloadMarkerFile);
  return language.Text(marker ? "B_Download" : "B_Run");
}

void ApplyStartupLabels(platform::ControlTable& controls, const Language& language,
                        const std::string& programDir) {
  const auto text = [&](const char* key) { return language.Text(key); };
  controls.SetText(platform::kWindowTitle, text("Sw_Title"));
  controls.SetText(platform::kDownloadButton, DownloadButtonCaption(language, programDir));
  controls.SetText(platform::kUpgradeButton, text("B_Update"));
  controls.SetText(platform::kBackupButton, text("B_Backup"));
  controls.SetText(platform::kDeviceInfoButton, text("B_Connect"));
  controls.SetText(platform::kFunctionGroup, text("S_Cmd"));
  controls.SetText(platform::kBasicSettingsGroup, text("S_Basic"));
  controls.SetText(platform::kInfoGroup, text("S_Info"));
  controls.SetText(platform::kPortStatusLabel, text("S_Com") + "\r\n" + text("S_Status"));
  controls.SetText(platform::kConnectionStatusLabel, text("S_Connect") + "\r\n" + text("S_Status"));
  controls.SetText(platform::kPortNumberLabel, text("S_Num"));
  controls.SetText(platform::kPortSwitchLabel, text("S_OnOff"));
}

MenuCaptions MenuCaptionsOf(const Language& language) {
  return MenuCaptions{language.Text("Ext_Menu_Tools"), language.Text("Ext_Menu_BuildPackage"),
                      language.Text("Ext_Menu_RollBack")};
}

}  // namespace tavro::app
