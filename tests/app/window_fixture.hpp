#pragma once
// The window model in virtual time: a program directory with the packaged
// Language.ini, a CTAVRODlg on a VirtualLoop, a fake serial link the test
// plays the terminal on, and a screen that records what the window shows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "link/port_list.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/control_ids.hpp"
#include "support/fake_serial_link.hpp"
#include "support/recording_screen.hpp"
#include "support/source_tree.hpp"
#include "support/temp_dir.hpp"

namespace tavro::test {

inline std::string SourceLanguageFile() {
  return SourcePath("package/Language.ini");
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// An operation in progress, as far as the engine's shared parts care.
class RunningOperation final : public engine::Operation {
 public:
  bool CheckFileSet(engine::Context&) override { return true; }
  void OnIdentified(engine::Context&, engine::Identification) override {}
};

class WindowFixture : public ::testing::Test {
 protected:
  // Marks an operation as running, as a button handler installs its own.
  void MarkOperationRunning() {
    dlg->context().operations.Install(std::make_shared<RunningOperation>());
  }

  void SetUp() override {
    ASSERT_FALSE(dir.Path().empty());
    if (copyLanguage_) {
      const std::string language = ReadText(SourceLanguageFile());
      ASSERT_FALSE(language.empty()) << "TAVRO_SOURCE_DIR is not set (run the tests through ctest)";
      ASSERT_TRUE(dir.Write("Language.ini", language));
    }
    dlg = std::make_unique<app::CTAVRODlg>(loop, screen, serial, dir.Path(),
                                           [this] { return ports; });
    setUpResult = dlg->SetUpWindow();
    if (!setUpResult)
      return;
    dlg->FinishWindowSetUp();
    if (openPort_) {
      dlg->OnButton(platform::kPortButton);
      ASSERT_TRUE(ctx().port.open);
    }
    serial.ClearWritten();
    screen.Clear();
  }

  engine::Context& ctx() { return dlg->context(); }
  engine::LinkState& link() { return dlg->context().link; }
  std::string Text(const char* key) { return dlg->language().Text(key); }
  const platform::ControlState& Control(int id) { return dlg->controls().Get(id); }
  std::string Info() { return ctx().InfoText(); }

  // The terminal sends a frame.
  void Deliver(const link::Bytes& bytes) { serial.Deliver(bytes); }
  void DeliverFrame(std::uint16_t msgId, const link::Bytes& payload = {}) {
    serial.Deliver(link::BuildTerminalFrame(msgId, payload));
  }
  // A frame addressed to the PC whose CRC does not match.
  static link::Bytes BadCrcFrame(std::uint16_t msgId, const link::Bytes& payload = {}) {
    link::Bytes f = link::BuildTerminalFrame(msgId, payload);
    f[link::kPayloadOffset + payload.size()] ^= 0x01;
    return f;
  }

  // The texts of the boxes shown since the last Clear, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const platform::MessageBoxRequest& b : screen.boxes())
      out.push_back(b.text);
    return out;
  }

  // Opens the run log in the program directory at `level`.
  void OpenRunLog(std::uint32_t level) {
    ctx().package.debugLevel = level;
    ASSERT_TRUE(dlg->runLog().Open(dir.Path(), loop.WallTime(), 1));
  }
  std::string RunLogText() { return ReadText(dlg->runLog().Path()); }

  // Options a derived fixture sets in its constructor.
  bool copyLanguage_ = true;
  bool openPort_ = true;

  TempDir dir;
  loop::VirtualLoop loop;
  FakeSerialLink serial;
  RecordingScreen screen;
  std::vector<link::PortEntry> ports;
  std::unique_ptr<app::CTAVRODlg> dlg;
  bool setUpResult = false;
};

}  // namespace tavro::test
