#include "app/ctavro_dlg.hpp"

#include "app/control_ids.hpp"
#include "app/startup_labels.hpp"
#include "engine/read_back.hpp"
#include "engine/receive_path.hpp"
#include "engine/stage_control.hpp"
#include "engine/timer_engine.hpp"
#include "operations/identify.hpp"

namespace tavro::app {
namespace {

constexpr const char* kNoLanguageSelectedText =
    "Language.ini: LanguageSet selects no language section after [LanguageStart] !";

}  // namespace

CTAVRODlg::CTAVRODlg(Loop& loop, Screen& screen, link::SerialLink& serial, std::string programDir,
                     PortSource ports)
    : boxes_(language_, screen),
      ctx_(loop, screen, serial, boxes_, runLog_, std::move(programDir)),
      ports_(std::move(ports)) {
  ctx_.controls = MakeMainWindowControls();
  engine::RegisterReceivePath(ctx_);
  engine::RegisterStageControl(ctx_);
  engine::RegisterHeaderReads(ctx_);
  operations::RegisterIdentification(ctx_);
  SetButtonHandler(kDeviceInfoButton, [this] { operations::OnViewInfo(ctx_); });
  loop.SetTickHandler([this](int id) { OnTimerTick(id); });
  serial.SetByteHandler([this](std::uint8_t byte) { OnRxByte(byte); });
}

bool CTAVRODlg::SetUpWindow() {
  ctx_.port = engine::PortState{};
  ctx_.controls.SetSelected(kPortList, 0);
  ctx_.controls.SetSelected(kBaudList, 1);
  ctx_.frameTemplate = link::FrameTemplate{};

  switch (language_.Select(ctx_.programDir)) {
    case LanguageResult::kFileMissing:
      boxes_.ShowLanguageFileMissing();
      return false;
    case LanguageResult::kNoLanguage:
      // No section to read texts from: tell the technician why every text
      // would read "Null" and stop as if the file were missing.
      ctx_.screen.ShowMessageBox({kFixedBoxTitle, kNoLanguageSelectedText, kBoxError, true});
      return false;
    case LanguageResult::kOk:
      break;
  }
  ApplyStartupLabels(ctx_.controls, language_, ctx_.programDir);
  ctx_.controls.SetIcon(kPortStatusIcon, kIconOff);
  ctx_.controls.SetIcon(kConnectionStatusIcon, kIconOff);
  ctx_.controls.SetText(kPortButton, ctx_.Text("B_OpenCom"));
  return true;
}

void CTAVRODlg::FinishWindowSetUp() {
  ctx_.SetInfoText("Ready");
  for (int id : kDisabledAtStartup)
    ctx_.controls.SetEnabled(id, false);
  ctx_.Refresh();
}

void CTAVRODlg::OnRxByte(std::uint8_t byte) {
  engine::OnRxByte(ctx_, byte);
}

void CTAVRODlg::OnTimerTick(int timerId) {
  engine::OnTimerTick(ctx_, timerId);
}

void CTAVRODlg::OnButton(int controlId) {
  switch (controlId) {
    case kPortButton:
      OnPortButton(ctx_);
      break;
    case kRestartCommandButton:
      engine::StartCommand(ctx_);
      break;
    default:
      // The developer panel's other buttons do nothing; operation buttons
      // are routed here as their operations land.
      if (const auto it = buttons_.find(controlId); it != buttons_.end())
        it->second();
      break;
  }
}

void CTAVRODlg::OnSelect(int controlId, int index) {
  if (controlId == kPortList)
    OnPortSelected(ctx_, index);
  if (controlId == kBaudList)
    OnBaudSelected(ctx_, index);
}

void CTAVRODlg::OnDropDown(int controlId) {
  if (controlId == kPortList)
    OnPortListDropDown(ctx_, ports_);
}

void CTAVRODlg::OnEditChanged(int controlId, const std::string& text) {
  if (controlId != kFlashAddressEdit && controlId != kFlashSizeEdit)
    return;
  ctx_.controls.SetText(controlId, text);
  ctx_.Refresh();
}

void CTAVRODlg::OnDeviceRemoved() {
  app::OnDeviceRemoved(ctx_, ports_);
}

int CTAVRODlg::Close() {
  ctx_.link.buffers.ReleaseAll();
  runLog_.Close();
  return kCloseExitStatus;
}

}  // namespace tavro::app
