#include "app/startup_labels.hpp"

#include "app/control_ids.hpp"
#include "data/file_io.hpp"

namespace tavro::app {

std::string DownloadButtonCaption(const Language& language, const std::string& programDir) {
  const bool marker = data::FileExists(programDir + "/" + kDownloadMarkerFile);
  return language.Text(marker ? "B_Download" : "B_Run");
}

void ApplyStartupLabels(ControlTable& controls, const Language& language,
                        const std::string& programDir) {
  const auto text = [&](const char* key) { return language.Text(key); };
  controls.SetText(kWindowTitle, text("Sw_Title"));
  controls.SetText(kDownloadButton, DownloadButtonCaption(language, programDir));
  controls.SetText(kUpgradeButton, text("B_Update"));
  controls.SetText(kBackupButton, text("B_Backup"));
  controls.SetText(kDeviceInfoButton, text("B_Connect"));
  controls.SetText(kFunctionGroup, text("S_Cmd"));
  controls.SetText(kBasicSettingsGroup, text("S_Basic"));
  controls.SetText(kInfoGroup, text("S_Info"));
  controls.SetText(kPortStatusLabel, text("S_Com") + "\r\n" + text("S_Status"));
  controls.SetText(kConnectionStatusLabel, text("S_Connect") + "\r\n" + text("S_Status"));
  controls.SetText(kPortNumberLabel, text("S_Num"));
  controls.SetText(kPortSwitchLabel, text("S_OnOff"));
}

}  // namespace tavro::app
