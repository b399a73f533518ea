#include "win32ui/demo_terminal.hpp"

#include <windows.h>

#include "data/file_io.hpp"
#include "sim/sample_program_dir.hpp"
#include "win32ui/wide_text.hpp"

namespace tavro::win32ui {
namespace {

// A new folder "tavro-demo-<n>" under `parent`.
std::string MakeFolder(const std::string& parent) {
  std::string base = parent;
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
      return {};
    base = Utf8(std::wstring_view(temp, length));
  }
  while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
    base.pop_back();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = base + "\\tavro-demo-" + std::to_string(::GetCurrentProcessId()) +
                               "-" + std::to_string(attempt);
    if (::CreateDirectoryW(Wide(folder).c_str(), nullptr))
      return folder;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      return {};
  }
  return {};
}

}  // namespace

std::unique_ptr<DemoTerminal> DemoTerminal::Make(const std::string& packageDir, std::string& error,
                                                 const std::string& parent, std::uint32_t baud) {
  std::unique_ptr<DemoTerminal> demo(new DemoTerminal);
  demo->baud_ = baud;
  demo->folder_ = MakeFolder(parent);
  if (demo->folder_.empty()) {
    error = "cannot create a temporary folder";
    return nullptr;
  }
  demo->programDir_ = demo->folder_ + "\\program";
  demo->terminalDir_ = demo->folder_ + "\\terminal";
  if (!sim::MakeDemoSetUp(packageDir, demo->programDir_, demo->terminalDir_, error))
    return nullptr;
  return demo;
}

sim::LiveWire* DemoTerminal::Start(platform::Loop& pcLoop, std::string& error) {
  wire_ = sim::LiveWire::FromProfile(pcLoop, terminalDir_, kDemoCom, error, baud_);
  return wire_.get();
}

void DemoTerminal::Stop() {
  if (wire_)
    wire_->Stop();
}

DemoTerminal::~DemoTerminal() {
  wire_.reset();
  if (!folder_.empty())
    data::DeleteTree(folder_);
}

}  // namespace tavro::win32ui
