#include "engine/stage_summary.hpp"

#include "engine/context.hpp"

namespace tavro::engine {

std::string FinishedStageLine(Context& ctx, const char* key, bool ran) {
  if (ran)
    return "√" + ctx.Text(key) + "(100%)";
  return "–" + ctx.Text(key) + "(" + ctx.Text("Ext_StageSkipped") + ")";
}

std::string StageNotesText(const StageSummary& summary) {
  std::string text;
  for (const std::string& note : summary.notes)
    text += "\r\n\r\n" + note;
  return text;
}

namespace {

std::string VersionLine(Context& ctx, const char* key, const std::string& before,
                        const std::string& after) {
  const std::string was = before.empty() ? "?" : before;
  if (after.empty())
    return ctx.Text(key) + ": " + was + " (" + ctx.Text("Ext_Unchanged") + ")";
  return ctx.Text(key) + ": " + was + " → " + after;
}

}  // namespace

std::string VersionSummaryText(Context& ctx) {
  const StageSummary& s = ctx.stages;
  return VersionLine(ctx, "Ext_SummaryApp", s.appBefore, s.appAfter) + "\r\n" +
         VersionLine(ctx, "Ext_SummaryData", s.dataBefore, s.dataAfter);
}

std::string CompletedStagesText(Context& ctx, const char* lastKey, bool lastWithPercent) {
  const StageSummary& s = ctx.stages;
  std::string text = FinishedStageLine(ctx, "Dis_GetInfo", true);
  text += "\r\n\r\n" + FinishedStageLine(ctx, "Dis_Backup2PC", s.backedUp);
  text += "\r\n\r\n" + FinishedStageLine(ctx, "Dis_DataConv", s.converted);
  text += "\r\n\r\n" + FinishedStageLine(ctx, "Dis_Download", s.downloaded);
  text += "\r\n\r\n√" + ctx.Text(lastKey) + (lastWithPercent ? "(100%)" : "");
  return text + StageNotesText(s) + "\r\n\r\n" + VersionSummaryText(ctx);
}

}  // namespace tavro::engine
