#include "operations/identify.hpp"

#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "operations/device_info_decode.hpp"
#include "operations/file_set_check.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

void LogShortReply(Context& ctx, const char* name) {
  ctx.Log(1, std::string("\r\nShortReply_") + name);
}

void HideProgress(Context& ctx) {
  ctx.controls.SetVisible(platform::kProgressBar, false);
  ctx.controls.SetVisible(platform::kWarningText, false);
  ctx.controls.SetVisible(platform::kProgressNote, false);
}

// Fields of parameter header record `index` of the header table.
std::uint16_t RecordIntegrity(const Context& ctx, std::size_t index) {
  return link::GetU16(ctx.device.ParaHeaderTable.data() + index * engine::kParaHeaderSize);
}

void SetParaVersion(Context& ctx, std::uint32_t version, link::ByteView model) {
  engine::DeviceInfo& d = ctx.device;
  d.ParaVersionNum = version;
  d.ParaVersion = VersionText(version);
  d.ParaVersionBcd = IsBcdVersion(version);
  d.ParaModel = NonZeroChars(model);
}

void FinishIdentification(Context& ctx) {
  ctx.link.DevIdentified = 1;
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
  ShowDeviceInfo(ctx);
}

}  // namespace

void OnViewInfo(Context& ctx) {
  if (!ctx.serial.IsOpen()) {
    ctx.MessageBox(ctx.Text("C_ComClose"), platform::kBoxError);
    return;
  }
  ctx.link.CheckDownloadFiles = 0;
  if (!FileSetCheck(ctx)) {
    engine::SetBusy(ctx, true);
    return;
  }
  ctx.SetInfoText(ctx.Text("Dis_GetInfo"));
  HideProgress(ctx);
  ctx.Refresh();
  ctx.link.CmdID = link::MsgConnect;
  ctx.link.BackupMode = 0;
  ctx.link.PlainDownload = 0;
  engine::StartCommand(ctx);
  ctx.Refresh();
}

void OnBlHello(Context& ctx, link::ByteView payload) {
  const auto hello = link::DecodeBlHello(payload);
  if (!hello)
    return LogShortReply(ctx, "BlHello");
  ctx.link.DevIdentified = 0;
  ctx.link.LinkUp = 0;
  ctx.RxTextEcho = 0;
  engine::DeviceInfo& d = ctx.device;
  d.ChipNum = "QZ" + NonZeroChars(payload.subspan(0, 4));
  d.CompanyNum = NonZeroChars(payload.subspan(4, 4));
  d.BlVersion = hello->blVersion;
  d.BlVersionText = BlVersionText(hello->blVersion);
  d.SizeCode = hello->sizeCode == 0xFF ? 16 : hello->sizeCode;
  ctx.Log(1, "\r\n\r\nBL-" + d.CompanyNum + "-" + d.BlVersionText);
  ctx.Send(link::MsgBlHelloAck);
  // The terminal's hello follows; keep the connect guarded until it comes.
  engine::ArmAnswerTimeout(ctx);
}

void OnAppInfo(Context& ctx, link::ByteView payload) {
  const auto info = link::DecodeAppInfo(payload);
  if (!info)
    return LogShortReply(ctx, "AppInfo");
  engine::DeviceInfo& d = ctx.device;
  ctx.link.ParaAltAddr = 0;
  d.CurAppIntact = info->current.present != 0;
  d.CurAppVersion = VersionText(info->current.version);
  d.CurAppVersionBcd = IsBcdVersion(info->current.version);
  d.CurAppModel = NonZeroChars(payload.subspan(6, 8));
  d.BakAppIntact = info->backup.present != 0;
  d.BakAppVersion = VersionText(info->backup.version);
  d.BakAppVersionBcd = IsBcdVersion(info->backup.version);
  d.BakAppModel = NonZeroChars(payload.subspan(20, 8));
  ctx.link.ResumeCheck = 0;
  if (d.BlVersion < engine::kBlE2prom) {
    engine::StartHandshake(ctx);
  } else {
    // Started as a command so that a silent terminal still times out.
    ctx.link.CmdID = link::MsgE2Read;
    engine::StartCommand(ctx);
  }
}

void HandshakeStep(Context& ctx) {
  engine::LinkState& s = ctx.link;
  const std::uint8_t wanted = ctx.package.paraFileRequisiteNum;
  if (s.StepIndex < wanted && s.StepIndex < engine::kParaHeaderSlots) {
    const data::AreaEntry& area = ctx.areas[s.StepIndex];
    engine::SendFlashRead(ctx, s.ParaAltAddr == 1 ? area.areaLen : area.areaAddr,
                          engine::kHeaderReadLength);
    engine::ArmAnswerTimeout(ctx);
    return;
  }
  if (wanted > engine::kParaHeaderSlots) {
    ctx.Log(1, "\r\nParaHeaderNumOver6");
  }
  if (s.ResumeCheck == 0) {
    CheckParaHeaders(ctx);
  } else if (ctx.handlers.resumeFlashCheck) {
    ctx.handlers.resumeFlashCheck();
  }
}

void CheckParaHeaders(Context& ctx) {
  const std::uint8_t wanted = ctx.package.paraFileRequisiteNum;
  // Only six headers can be held; a package that wants more cannot be
  // confirmed intact.
  bool bad = wanted == 0 || wanted > engine::kParaHeaderSlots;
  for (std::size_t i = 0; !bad && i < wanted; ++i)
    bad = RecordIntegrity(ctx, i) != 1;
  engine::DeviceInfo& d = ctx.device;
  if (bad) {
    if (ctx.link.ParaAltAddr == 0) {
      ctx.Log(1, "\r\nCurParaIntgErr");
      ctx.link.ParaAltAddr = 1;
      ctx.link.ResumeCheck = 0;
      engine::StartHandshake(ctx);
      return;
    }
    d.ParaIntact = false;
    d.ParaVersion = "E.R.R";
  } else {
    d.ParaIntact = true;
    const std::uint8_t* record = d.ParaHeaderTable.data();
    SetParaVersion(ctx, link::GetU32(record + 6), link::ByteView(record + 10, 8));
  }
  HandOverAfterParaInfo(ctx);
}

void OnParaHeaderE2(Context& ctx) {
  engine::DeviceInfo& d = ctx.device;
  const link::Bytes& image = ctx.link.buffers.backupImage2;
  // Fewer than 32 bytes received read as zeros: not intact, version 0.
  std::array<std::uint8_t, engine::kE2HeaderLength> header{};
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), header.size()), header.begin());
  SetParaVersion(ctx, link::GetU32(header.data() + 6), link::ByteView(header.data() + 10, 8));
  d.ParaTimestamp = TimestampText(link::GetU16(header.data() + 18), header[20], header[21],
                                  header[22], header[23], header[24]);
  d.ParaIntact = link::GetU16(header.data()) == 0x55AA;
  HandOverAfterParaInfo(ctx);
}

void OnDataInfo(Context& ctx, link::ByteView payload) {
  const auto info = link::DecodeDataInfo(payload);
  if (!info)
    return LogShortReply(ctx, "DataInfo");
  SetParaVersion(ctx, info->version, payload.subspan(4, 8));
  ctx.device.ParaIntact = true;
  HandOverAfterParaInfo(ctx);
}

void OnNoDataInfo(Context& ctx) {
  ctx.device.ParaIntact = false;
  HandOverAfterParaInfo(ctx);
}

void HandOverAfterParaInfo(Context& ctx) {
  if (ctx.link.DevIdentified == 0) {
    FinishIdentification(ctx);
  } else if (ctx.handlers.continueIdentified) {
    ctx.handlers.continueIdentified();
  } else {
    // No operation continues from here: the identification simply ends.
    ShowDeviceInfo(ctx);
  }
}

void ShowDeviceInfo(Context& ctx) {
  engine::LinkState& s = ctx.link;
  if (s.ContinueDownload == 1) {
    s.ContinueDownload = 0;
    engine::NextDownloadStage(ctx);
    return;
  }
  if (s.AfterInfoAction == 1) {
    s.AfterInfoAction = 0;
    s.CmdID = link::MsgReadAppInfo;
    engine::StartCommand(ctx);
    return;
  }
  if (s.AfterInfoAction == 2) {
    s.AfterInfoAction = 0;
    engine::SetBusy(ctx, true);
    ctx.SetInfoText("\r\nE2PROM" + ctx.Text("Run_StatusErr"));
    return;
  }
  const engine::DeviceInfo& d = ctx.device;
  HideProgress(ctx);
  std::string text = ctx.Text("Dis_Bl_Ver") + ": " + d.BlVersionText;
  text += "\r\n" + ctx.Text("Dis_ChipNum") + ": " + d.ChipNum;
  text += "\r\n" + ctx.Text("Dis_CompanyNum") + ": " + d.CompanyNum;
  text += "\r\n" + (d.CurAppIntact ? ctx.Text("Dis_Ver_CurApp") + ": " + d.CurAppVersion
                                   : ctx.Text("Dis_Intg_ERR_CurApp"));
  text += "\r\n" + (d.BakAppIntact ? ctx.Text("Dis_Ver_BakApp") + ": " + d.BakAppVersion
                                   : ctx.Text("Dis_Intg_ERR_BakApp"));
  text += "\r\n" + (d.ParaIntact ? ctx.Text("Dis_Ver_Para") + ": " + d.ParaVersion
                                 : ctx.Text("Dis_Intg_ERR_Para"));
  ctx.SetInfoText(std::move(text));

  struct PartCheck {
    bool intact;
    bool bcd;
    const char* name;
  };
  for (const PartCheck& part : {PartCheck{d.CurAppIntact, d.CurAppVersionBcd, "CurApp"},
                                PartCheck{d.BakAppIntact, d.BakAppVersionBcd, "BakApp"},
                                PartCheck{d.ParaIntact, d.ParaVersionBcd, "Para"}}) {
    if (!part.intact) {
      ctx.Log(1, std::string("\r\n\r\n") + part.name + "IntgErr");
    } else if (!part.bcd) {
      ctx.Log(1, std::string("\r\n\r\n") + part.name + "VerNumErr");
    }
  }
  engine::SetBusy(ctx, true);
}

void RegisterIdentification(Context& ctx) {
  engine::HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgBlHello] = [&ctx](link::ByteView p) { OnBlHello(ctx, p); };
  h.onMessage[link::MsgAppInfo] = [&ctx](link::ByteView p) { OnAppInfo(ctx, p); };
  h.onMessage[link::MsgDataInfo] = [&ctx](link::ByteView p) { OnDataInfo(ctx, p); };
  h.onMessage[link::MsgNoDataInfo] = [&ctx](link::ByteView) { OnNoDataInfo(ctx); };
  h.sendFirst[link::CmdHandshake] = [&ctx] { HandshakeStep(ctx); };
  h.resendAfterCrc[link::CmdHandshake] = [&ctx] { HandshakeStep(ctx); };
  h.handshakeStep = [&ctx] { HandshakeStep(ctx); };
  h.e2HeaderStep = [&ctx] {
    if (ctx.device.BlVersion >= engine::kBlE2prom)
      OnParaHeaderE2(ctx);
  };
  h.fileSetCheck = [&ctx] { return FileSetCheck(ctx); };
}

}  // namespace tavro::operations
