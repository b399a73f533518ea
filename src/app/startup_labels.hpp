#pragma once
// Captions the main window takes from the language once it is selected.

#include <map>
#include <string>

#include "app/language.hpp"
#include "platform/control_table.hpp"

namespace tavro::app {

// The download button reads "download" only when this marker file is in the
// program directory; otherwise it offers to run the terminal's App.
inline constexpr const char* kDownloadMarkerFile = "QZDownload.bin";

// Text("B_Download") when <programDir>/QZDownload.bin exists, else Text("B_Run").
std::string DownloadButtonCaption(const Language& language, const std::string& programDir);

// Window title, the operation buttons, the three group boxes and the port
// labels. The port button is captioned by the port handling.
void ApplyStartupLabels(platform::ControlTable& controls, const Language& language,
                        const std::string& programDir);

// The window's menu, beside the dialog's controls: captions with their
// access keys ("&Tools").
struct MenuCaptions {
  std::string tools;
  std::string buildPackage;
  std::map<int, std::string> operations;  // the operations' menu entries by control id
};
MenuCaptions MenuCaptionsOf(const Language& language);

}  // namespace tavro::app
