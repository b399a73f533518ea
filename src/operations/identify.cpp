#include "operations/identify.hpp"

#include "operations/download_setup.hpp"

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

}  // namespace

bool IdentifyingOperation::CheckFileSet(Context& ctx) {
  // Once the link query has answered, the download folders are checked for
  // every operation, as the terminal's folders are now known.
  return FileSetCheck(ctx, AreaCheck::kConnectedTerminal, FileScope::kWithDownloadFiles);
}

void OnBlHello(Context& ctx, link::ByteView payload) {
  const auto hello = link::DecodeBlHello(payload);
  if (!hello)
    return LogShortReply(ctx, "BlHello");
  ctx.link.DevIdentified = 0;
  ctx.link.LinkUp = 0;
  ctx.link.ConnectRepeats = 0;
  ctx.RxTextEcho = 0;
  // A new exchange: nothing of an earlier terminal may survive into it.
  ctx.device = engine::DeviceInfo{};
  engine::DeviceInfo& d = ctx.device;
  d.BlAnnounced = true;
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
  RunningTransfer(ctx)->resumeCheck = false;
  d.CurAppIntact = info->current.present != 0;
  d.CurAppVersion = VersionText(info->current.version);
  d.CurAppVersionBcd = IsBcdVersion(info->current.version);
  d.CurAppModel = NonZeroChars(payload.subspan(6, 8));
  d.BakAppIntact = info->backup.present != 0;
  d.BakAppVersion = VersionText(info->backup.version);
  d.BakAppVersionBcd = IsBcdVersion(info->backup.version);
  d.BakAppModel = NonZeroChars(payload.subspan(20, 8));
  if (d.BlVersion < engine::kBlE2prom) {
    engine::StartHandshake(ctx);
  } else {
    // Started as a command so that a silent terminal still times out.
    engine::StartE2Read(ctx, {0, engine::kE2HeaderLength, [&ctx] {
                                if (ctx.device.BlVersion >= engine::kBlE2prom)
                                  OnParaHeaderE2(ctx);
                              }});
  }
}

void HandshakeStep(Context& ctx) {
  engine::LinkState& s = ctx.link;
  const std::uint8_t wanted = ctx.package.paraFileRequisiteNum;
  if (s.StepIndex < wanted && s.StepIndex < engine::kParaHeaderSlots) {
    const data::AreaEntry& area = ctx.areas[s.StepIndex];
    engine::SendFlashRead(ctx, {s.ParaAltAddr == 1 ? area.areaLen : area.areaAddr,
                                engine::kHeaderReadLength, [&ctx] { HandshakeStep(ctx); }});
    engine::ArmAnswerTimeout(ctx);
    return;
  }
  if (wanted > engine::kParaHeaderSlots) {
    ctx.Log(1, "\r\nParaHeaderNumOver6");
  }
  if (RunningTransfer(ctx)->resumeCheck) {
    // The headers as the interrupted download left them, not the second
    // copies: the resume check compares them with its record.
    if (const std::shared_ptr<engine::Operation> operation = ctx.operations.Current())
      operation->OnResumeHeadersRead(ctx);
    return;
  }
  CheckParaHeaders(ctx);
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
      RunningTransfer(ctx)->resumeCheck = false;
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
  TakeE2Header(ctx);
  HandOverAfterParaInfo(ctx);
}

void TakeE2Header(Context& ctx) {
  engine::DeviceInfo& d = ctx.device;
  const link::Bytes& image = ctx.link.buffers.backupImage2;
  // Fewer than 32 bytes received read as zeros: not intact, version 0.
  std::array<std::uint8_t, engine::kE2HeaderLength> header{};
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), header.size()), header.begin());
  SetParaVersion(ctx, link::GetU32(header.data() + 6), link::ByteView(header.data() + 10, 8));
  d.ParaTimestamp = TimestampText(link::GetU16(header.data() + 18), header[20], header[21],
                                  header[22], header[23], header[24]);
  d.ParaIntact = link::GetU16(header.data()) == 0x55AA;
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
  const engine::Identification how = ctx.link.DevIdentified == 0
                                         ? engine::Identification::kFresh
                                         : engine::Identification::kWithinOperation;
  if (ctx.link.DevIdentified == 0) {
    ctx.link.DevIdentified = 1;
    ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
  }
  if (const std::shared_ptr<engine::Operation> operation = ctx.operations.Current()) {
    operation->OnIdentified(ctx, how);
  } else {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
  }
}

void RegisterIdentification(Context& ctx) {
  engine::HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgBlHello] = [&ctx](link::ByteView p) { OnBlHello(ctx, p); };
  h.onMessage[link::MsgAppInfo] = [&ctx](link::ByteView p) { OnAppInfo(ctx, p); };
  h.onMessage[link::MsgDataInfo] = [&ctx](link::ByteView p) { OnDataInfo(ctx, p); };
  h.onMessage[link::MsgNoDataInfo] = [&ctx](link::ByteView) { OnNoDataInfo(ctx); };
  h.sendFirst[link::CmdHandshake] = [&ctx] { HandshakeStep(ctx); };
  h.resendAfterCrc[link::CmdHandshake] = [&ctx] { HandshakeStep(ctx); };
}

}  // namespace tavro::operations
