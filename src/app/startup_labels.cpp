#include "app/startup_labels.hpp"

#include "data/file_io.hpp"
#include "operations/registry.hpp"
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
  for (const operations::OperationRow& row : operations::OperationRows()) {
    if (row.placement != operations::Placement::kButton)
      continue;
    controls.SetText(row.controlId, row.controlId == platform::kDownloadButton
                                        ? DownloadButtonCaption(language, programDir)
                                        : text(row.captionKey));
  }
  controls.SetText(platform::kFunctionGroup, text("S_Cmd"));
  controls.SetText(platform::kBasicSettingsGroup, text("S_Basic"));
  controls.SetText(platform::kInfoGroup, text("S_Info"));
  controls.SetText(platform::kPortStatusLabel, text("S_Com") + "\r\n" + text("S_Status"));
  controls.SetText(platform::kConnectionStatusLabel, text("S_Connect") + "\r\n" + text("S_Status"));
  controls.SetText(platform::kPortNumberLabel, text("S_Num"));
  controls.SetText(platform::kPortSwitchLabel, text("S_OnOff"));
}

MenuCaptions MenuCaptionsOf(const Language& language) {
  MenuCaptions captions{
      language.Text("Ext_Menu_Tools"), language.Text("Ext_Menu_BuildPackage"), {}};
  for (const operations::OperationRow& row : operations::OperationRows()) {
    if (row.placement == operations::Placement::kToolsMenu)
      captions.operations[row.controlId] = language.Text(row.captionKey);
  }
  return captions;
}

}  // namespace tavro::app
