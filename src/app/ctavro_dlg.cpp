#include "app/ctavro_dlg.hpp"

#include "app/package_builder.hpp"
#include "app/startup_labels.hpp"
#include "engine/receive_path.hpp"
#include "engine/register.hpp"
#include "engine/stage_control.hpp"
#include "engine/timer_engine.hpp"
#include "operations/registry.hpp"
#include "platform/control_ids.hpp"

namespace tavro::app {
namespace {

constexpr const char* kNoLanguageSelectedText =
    "Language.ini: LanguageSet selects no language section after [LanguageStart] !";

// The transport's failures carry the system's own wording, not a language
// text, so their box has a fixed title.
constexpr const char* kTransportErrorTitle = "Application Error";

}  // namespace

CTAVRODlg::CTAVRODlg(platform::Loop& loop, platform::Screen& screen, link::SerialLink& serial,
                     std::string programDir, PortSource ports)
    : boxes_(language_, screen),
      ctx_(loop, screen, serial, boxes_, runLog_, std::move(programDir)),
      ports_(std::move(ports)) {
  ctx_.controls = platform::MakeMainWindowControls();
  engine::RegisterEngine(ctx_);
  operations::RegisterOperations(ctx_);
  for (const operations::OperationRow& row : operations::OperationRows()) {
    // The dialog has the four buttons; an operation's own button joins them.
    if (row.placement == operations::Placement::kButton && !ctx_.controls.Has(row.controlId)) {
      platform::ControlState button;
      button.kind = platform::ControlKind::kPushButton;
      ctx_.controls.Add(row.controlId, button);
    }
    ctx_.operationControls.push_back(row.controlId);
    SetButtonHandler(row.controlId, [this, start = row.start] { start(ctx_); });
  }
  loop.SetTickHandler([this](int id) { OnTimerTick(id); });
  serial.SetByteHandler([this](std::uint8_t byte) { OnRxByte(byte); });
  serial.SetErrorHandler([this](const std::string& text) { ShowTransportError(text); });
}

bool CTAVRODlg::SetUpWindow() {
  ctx_.port = engine::PortState{};
  ctx_.controls.SetSelected(platform::kPortList, 0);
  ctx_.controls.SetSelected(platform::kBaudList, 1);
  ctx_.frameTemplate = link::FrameTemplate{};

  switch (language_.Select(ctx_.programDir)) {
    case LanguageResult::kFileMissing:
      boxes_.ShowLanguageFileMissing();
      return false;
    case LanguageResult::kNoLanguage:
      // No section to read texts from: tell the technician why every text
      // would read "Null" and stop as if the file were missing.
      ctx_.screen.ShowMessageBox(
          {kFixedBoxTitle, kNoLanguageSelectedText, platform::kBoxError, true});
      return false;
    case LanguageResult::kOk:
      break;
  }
  ApplyStartupLabels(ctx_.controls, language_, ctx_.programDir);
  ctx_.controls.SetIcon(platform::kPortStatusIcon, platform::kIconOff);
  ctx_.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOff);
  ctx_.controls.SetText(platform::kPortButton, ctx_.Text("B_OpenCom"));
  return true;
}

void CTAVRODlg::FinishWindowSetUp() {
  ctx_.SetInfoText("Ready");
  for (int id : platform::kDisabledAtStartup)
    ctx_.controls.SetEnabled(id, false);
  ctx_.Refresh();
}

void CTAVRODlg::OnRxByte(std::uint8_t byte) {
  engine::OnRxByte(ctx_, byte);
}

void CTAVRODlg::ShowTransportError(const std::string& text) {
  ctx_.Refresh();
  ctx_.screen.ShowMessageBox({kTransportErrorTitle, text, platform::kBoxError, true});
}

void CTAVRODlg::OnTimerTick(int timerId) {
  engine::OnTimerTick(ctx_, timerId);
}

void CTAVRODlg::OnButton(int controlId) {
  switch (controlId) {
    case platform::kPortButton:
      OnPortButton(ctx_);
      break;
    case platform::kRestartCommandButton:
      engine::StartCommand(ctx_);
      break;
    case platform::kIniToBinButton:
      RunIniToBinWithChooser(boxes_, ctx_.screen);
      ctx_.Refresh();
      break;
    default:
      // The developer panel's other buttons do nothing; operation buttons
      // are routed here as their operations land.
      if (const auto it = buttons_.find(controlId); it != buttons_.end()) {
        operationButton_ = controlId;
        it->second();
      }
      break;
  }
}

void CTAVRODlg::OnSelect(int controlId, int index) {
  if (controlId == platform::kPortList)
    OnPortSelected(ctx_, index);
  if (controlId == platform::kBaudList)
    OnBaudSelected(ctx_, index);
}

void CTAVRODlg::OnDropDown(int controlId) {
  if (controlId == platform::kPortList)
    OnPortListDropDown(ctx_, ports_);
}

void CTAVRODlg::OnEditChanged(int controlId, const std::string& text) {
  if (controlId != platform::kFlashAddressEdit && controlId != platform::kFlashSizeEdit)
    return;
  ctx_.controls.SetText(controlId, text);
  ctx_.Refresh();
}

void CTAVRODlg::OnDeviceRemoved() {
  app::OnDeviceRemoved(ctx_, ports_);
}

std::string CTAVRODlg::CloseQuestion() {
  return StopConsequences() + "\r\n\r\n" + ctx_.Text("Ext_Close_Choice");
}

std::string CTAVRODlg::StopConsequences() {
  const operations::OperationRow* row = operations::FindOperationRow(operationButton_);
  const char* running = row ? row->runningKey : "Ext_Close_Running";
  // Reading operations leave the terminal as it was; the others write to it,
  // and only some keep a record to resume from.
  const operations::Interruption interruption =
      row ? row->interruption : operations::Interruption::kPartlyWritten;
  const bool writes = interruption != operations::Interruption::kNothingWritten;
  const bool resumes = interruption == operations::Interruption::kResumable;
  std::string text =
      ctx_.Text(running) + "\r\n" + ctx_.Text(writes ? "Ext_Close_Writing" : "Ext_Close_ReadOnly");
  if (resumes)
    text += "\r\n" + ctx_.Text("Ext_Close_Resume");
  return text;
}

bool CTAVRODlg::ConfirmClose() {
  if (!ctx_.operations.IsRunning())
    return true;
  // The box is modal: the transfer goes on while the technician decides.
  return ctx_.MessageBox(CloseQuestion(), platform::kBoxOkCancel) == platform::kButtonOk;
}

int CTAVRODlg::Close() {
  ctx_.link.buffers.ReleaseAll();
  runLog_.Close();
  return kCloseExitStatus;
}

}  // namespace tavro::app
