#include "operations/read_back_flow.hpp"

#include "engine/backup_read.hpp"
#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/identify.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

// The whole E2PROM is in: it goes to E2.dat in a new data backup folder,
// and its header tells again whether the data is intact.
void FinishWholeE2Read(Context& ctx) {
  engine::LinkState& s = ctx.link;
  if (!engine::MakeDataBackupFolder(ctx))
    return;
  if (!engine::WriteBackupFile(ctx, s.BackupFolder + "/E2.dat", s.buffers.backupImage2,
                               s.ReadOffset))
    return;
  TakeE2Header(ctx);
  EndReadBack(ctx);
}

// A refusal counts only while the terminal is asked for that read; a stray
// one must not start or end anything.
bool Expected(Context& ctx, std::uint32_t cmdId, std::string_view name) {
  if (ctx.operations.IsRunning() && ctx.link.CmdID == cmdId)
    return true;
  ctx.Log(1, "\r\nUnaskedReply_" + std::string(name));
  return false;
}

// The terminal's parameter data cannot be read: what was read is kept and
// the operation ends as it would after the read.
void EndWithDamagedData(Context& ctx, std::string_view tag) {
  ctx.device.ParaIntact = false;
  ctx.LogCommandState(1, tag);
  EndReadBack(ctx);
}

}  // namespace

void ReadBackParameterData(Context& ctx) {
  if (ctx.device.BlVersion < engine::kBlE2prom) {
    engine::StartAreaReadBack(ctx, [&ctx] { EndReadBack(ctx); });
  } else {
    engine::StartE2Read(ctx, {0, engine::kE2ImageLength, [&ctx] { FinishWholeE2Read(ctx); }});
  }
}

void ContinueAfterAppReadBack(Context& ctx) {
  if (ctx.device.ParaIntact) {
    ReadBackParameterData(ctx);
  } else {
    EndReadBack(ctx);
  }
}

void EndReadBack(Context& ctx) {
  if (const std::shared_ptr<engine::Operation> operation = ctx.operations.Current()) {
    operation->OnReadBackDone(ctx);
  } else {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
  }
}

void OnAppBackupNone(Context& ctx) {
  if (!Expected(ctx, link::MsgAppBackupStart, "AppBackupNone"))
    return;
  ctx.controls.SetVisible(platform::kProgressNote, true);
  ctx.device.CurAppIntact = false;
  ContinueAfterAppReadBack(ctx);
}

void OnParaIntegErr(Context& ctx) {
  if (!Expected(ctx, link::MsgParaBackupStart, "ParaIntegErr"))
    return;
  EndWithDamagedData(ctx, "ParaIntegErr");
}

void OnParaUploadErr(Context& ctx, link::ByteView payload) {
  if (!Expected(ctx, link::MsgParaBackupStart, "ParaUploadErr"))
    return;
  const bool addressError = link::DecodeStatusWord(payload).value_or(1) == 0;
  EndWithDamagedData(ctx, addressError ? "UpParaAddrErr" : "UpParaLenErr");
}

void RegisterReadBackFlow(Context& ctx) {
  engine::HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgAppBackupNone] = [&ctx](link::ByteView) { OnAppBackupNone(ctx); };
  h.onMessage[link::MsgParaIntegErr] = [&ctx](link::ByteView) { OnParaIntegErr(ctx); };
  h.onMessage[link::MsgParaUploadErr] = [&ctx](link::ByteView p) { OnParaUploadErr(ctx, p); };
}

}  // namespace tavro::operations
