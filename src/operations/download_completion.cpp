#include "operations/download_completion.hpp"

#include "operations/download_setup.hpp"

#include "data/file_io.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

using engine::Context;

void CompleteDownload(Context& ctx) {
  // Taken before the return to idle drops the operation; nothing is left to
  // resume once the download finished.
  const std::shared_ptr<TransferState> t = RunningTransfer(ctx);
  t->recordResumable = false;
  ctx.operations.ExpectRunReport();
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.link.DownloadCompleted = 1;
  ctx.controls.SetPos(platform::kProgressBar, static_cast<int>(engine::kProgressFull));
  // Only the stages that ran are ticked.
  ctx.SetInfoText(engine::CompletedStagesText(ctx, "Dis_DevRestart", false));
  ctx.loop.Sleep(1);
  // The operation finished: its download record has nothing left to resume.
  if (t->record) {
    data::RemoveFile(t->record->record);
    data::RemoveFile(t->record->copy);
  }
  ctx.Refresh();
  ctx.MessageBox(ctx.Text("Dis_DevRestart"), platform::kBoxOk);
}

void RegisterDownloadStages(Context& ctx) {
  engine::HandlerTables& h = ctx.handlers;
  h.runAtOnce[link::CmdComplete] = [&ctx] { CompleteDownload(ctx); };
  using engine::SilenceResend;
  for (std::uint32_t cmd : {link::MsgAppDownloadStart, link::CmdAppSending,
                            link::MsgParaDownloadStart, link::CmdParaSending, link::CmdResource})
    h.silenceResend[cmd] = SilenceResend::kFirstGroup;
  for (std::uint32_t cmd :
       {link::MsgRamBlock, link::CmdBlUpgrade, link::MsgE2WriteBlock, link::CmdFlashCopy})
    h.silenceResend[cmd] = SilenceResend::kSecondGroup;
}

}  // namespace tavro::operations
