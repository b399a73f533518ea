#include "engine/download_stage.hpp"

#include "data/file_io.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {

void NextDownloadStage(Context& ctx, bool afterResources) {
  LinkState& s = ctx.link;
  if (!afterResources && FirstFileIn(ctx.Path("/Data/Res"), "*.rom")) {
    s.CmdID = link::CmdResource;
  } else if (s.DownloadApp == 1) {
    s.CmdID = link::MsgAppDownloadStart;
  } else if (s.DownloadData == 1) {
    s.CmdID = DataStageCommand(ctx);
  } else {
    s.CmdID = link::CmdComplete;
  }
  if (s.CmdID != link::CmdComplete)
    ctx.stages.downloaded = true;
  if (s.CmdID == link::MsgAppDownloadStart)
    ctx.stages.appAfter = s.FileVersion;
  StartCommand(ctx);
}

std::uint32_t DataStageCommand(const Context& ctx) {
  return ctx.device.BlVersion >= kBlE2prom ? link::MsgE2WriteBlock : link::MsgParaDownloadStart;
}

void EndTransfer(Context& ctx, const std::string& message) {
  ctx.loop.StopTimer(kTimerSilence);
  SetBusy(ctx, WindowState::kIdle);
  ctx.link.buffers.ReleaseAll();
  ctx.MessageBox(message, platform::kBoxError);
}

bool LoadSendImage(Context& ctx, const std::string& path, std::size_t leadingZeros,
                   std::size_t minimumSize) {
  // Far beyond any terminal area, and within what 16-bit block numbers count.
  constexpr std::uint64_t kMaxImage = 64u << 20;
  if (const auto size = data::FileSize(path); size && *size + leadingZeros > kMaxImage) {
    EndTransfer(ctx, path + ctx.Text("F_ReadInErr"));
    return false;
  }
  data::ReadError why = data::ReadError::kNone;
  auto bytes = data::ReadWholeFile(path, &why);
  if (!bytes) {
    EndTransfer(
        ctx, path + ctx.Text(why == data::ReadError::kCannotOpen ? "F_NotExist" : "F_ReadInErr"));
    return false;
  }
  // A file too short for its header cannot be stamped or sent as a whole image.
  if (bytes->empty() || bytes->size() < minimumSize) {
    EndTransfer(ctx, path + ctx.Text("F_ReadInErr"));
    return false;
  }
  link::Bytes& image = ctx.link.buffers.sendImage;
  image.assign(leadingZeros, 0);
  image.insert(image.end(), bytes->begin(), bytes->end());
  ctx.link.ImageLen = static_cast<std::uint32_t>(image.size());
  return true;
}

std::optional<std::string> FirstFileIn(const std::string& folder, const std::string& pattern) {
  const std::vector<std::string> names = data::ListFiles(folder, pattern);
  if (names.empty())
    return std::nullopt;
  return folder + "/" + names.front();
}

void RestartBlockTimer(Context& ctx) {
  ctx.loop.StopTimer(kTimerSilence);
  ctx.loop.StartTimer(kTimerSilence, 1000);
}

link::TimeStamp OperationTimeStamp(const Context& ctx) {
  return link::LocalTimeStamp(static_cast<std::time_t>(ctx.link.OperationTime));
}

}  // namespace tavro::engine
