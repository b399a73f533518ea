#include "operations/upgrade.hpp"

#include <filesystem>

#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/number_parse.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"
#include "data/restore_point.hpp"
#include "engine/download_stage.hpp"
#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/time_stamp.hpp"
#include "operations/device_info_decode.hpp"
#include "operations/download_setup.hpp"
#include "operations/file_set_check.hpp"
#include "operations/identify.hpp"
#include "operations/operation_checks.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

class Upgrade final : public TransferOperation {
 public:
  Upgrade() : TransferOperation(false) {}
  void OnResumeHeadersRead(Context& ctx) override { CheckResumeFlash(ctx); }

 protected:
  // For an E2PROM terminal the record is looked at first.
  void ContinueIdentified(Context& ctx) override {
    if (ctx.device.BlVersion >= engine::kBlE2prom) {
      CheckResumeE2(ctx);
    } else {
      ReadBackForDecision(ctx);
    }
  }
};

std::string ResumeFolder(const Context& ctx) {
  return data::PortBackupFolder(ctx.programDir, ctx.port.number);
}

std::string RecordValue(const std::string& path, const char* key) {
  return data::CIni(path).GetString(data::kRecordSection, key, "0");
}

// The data set a record names; none when the record names none (its key
// missing, or "0" as the record files write it).
std::optional<std::string> RecordDataSet(const std::string& recordPath) {
  std::string path = RecordValue(recordPath, data::kRecordParaPathKey);
  if (path == "0")
    return std::nullopt;
  return path;
}

// A record names its data set by absolute path; anything else would be
// looked for wherever the process happens to be.
bool IsDataSetPath(const std::string& path) {
  return !path.empty() && std::filesystem::path(path).is_absolute();
}

bool IsSavedSetComplete(const Context& ctx, const data::RecordShape& shape) {
  if (!IsDataSetPath(shape.paraPath))
    return false;
  // The terminal's generation says which set was saved, as for the record's
  // form: a one-image Flash record has no more keys than an E2PROM record.
  if (ctx.device.BlVersion >= engine::kBlE2prom)
    return data::IsE2ImageComplete(shape.paraPath);
  return data::IsFlashSetComplete(shape.paraPath, ctx.package.paraFileRequisiteNum);
}

void DeleteRecordAndCopy(Context& ctx, const std::string& recordPath) {
  const data::DownloadRecordPaths paths =
      data::RecordPathsOf(ctx.programDir, ctx.port.number, recordPath);
  data::RemoveFile(paths.record);
  data::RemoveFile(paths.copy);
  RunningTransfer(ctx)->recordResumable = false;
}

// The Run_Log_Warn question; true for OK.
bool AskGiveUpRecord(Context& ctx) {
  const std::string text = ctx.Text("Run_Log_Warn_L0") + "\r\n" + ctx.Text("Run_Log_Warn_L1") +
                           "\r\n" + ctx.Text("Run_Log_Warn_L2") + "\r\n" +
                           ctx.Text("Run_Log_Warn_L3");
  return ctx.MessageBox(text, platform::kBoxOkCancel) == platform::kButtonOk;
}

// The terminal and the record disagree: OK gives the record up and upgrades
// afresh, Cancel keeps it for the next attempt.
void OnRecordMismatch(Context& ctx) {
  if (!AskGiveUpRecord(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.Log(1, "\r\nCheckErr-End");
    return;
  }
  ctx.Log(1, "\r\nCheckErr-del-Up");
  DeleteRecordAndCopy(ctx, RunningTransfer(ctx)->foundRecord);
  StartUpgrade(ctx);
}

// The data version of a saved set, as its first image's header tells.
std::string SavedSetVersion(const Context& ctx, const std::string& paraPath) {
  if (ctx.device.BlVersion >= engine::kBlE2prom) {
    const auto bytes = data::ReadWholeFile(paraPath + "/" + data::kE2ImageName);
    const auto header = bytes ? data::DecodeE2Header(*bytes) : std::nullopt;
    return header ? VersionText(header->dataVersion) : std::string();
  }
  const data::FlashImageHeader first = data::ReadFlashImageHeaderIn(paraPath, 0);
  return first.result.ok() ? VersionText(first.header.dataVersion) : std::string();
}

// The line that says a resume is under way, from which saved set and how
// far the interrupted download had come.
void NoteResume(Context& ctx, const std::string& recordPath, const std::string& paraPath) {
  std::size_t total = 1;
  std::size_t written = 0;
  if (ctx.device.BlVersion < engine::kBlE2prom) {
    total = ctx.package.paraFileRequisiteNum;
    for (std::size_t k = 1; k <= total; ++k)
      written += data::ParseAutoBase(RecordValue(recordPath, data::FlashImageName(k).c_str())) != 0;
  }
  const std::string note = ctx.Text("Ext_ResumeSavedAt") + " " +
                           ReadableStamp(RecordValue(recordPath, data::kRecordTimeKey)) + ", " +
                           std::to_string(written) + "/" + std::to_string(total) + " " +
                           ctx.Text("Ext_ResumeFilesWritten");
  ctx.stages.notes.push_back(note);
  ctx.stages.dataAfter = SavedSetVersion(ctx, paraPath);
  ctx.Log(1, "\r\n" + note);
}

// The record fits the terminal: the data download goes on from the saved
// set, under the record's own time, so that the areas written now carry the
// same stamp as those written before the interruption.
void ResumeDataDownload(Context& ctx, const std::string& paraPath) {
  engine::LinkState& s = ctx.link;
  TransferState& t = *RunningTransfer(ctx);
  ctx.Log(1, "\r\nCheck-Resume\r\n" + paraPath);
  const data::DownloadRecordPaths paths =
      data::RecordPathsOf(ctx.programDir, ctx.port.number, t.foundRecord);
  // A record found only as its copy gets its main file back, so that both
  // keep being marked.
  if (!data::FileExists(paths.record) && data::FileExists(paths.copy))
    data::CopyFileOverwrite(paths.copy, paths.record);
  NoteResume(ctx, paths.record, paraPath);
  t.record = paths;
  t.recordResumable = true;
  // The keys count again what this attempt writes: an area rewritten now is
  // not intact until its last block, and a key left at "1" would make a
  // second interruption look like a terminal that disagrees with its record.
  if (ctx.device.BlVersion < engine::kBlE2prom) {
    for (std::size_t k = 1; k <= ctx.package.paraFileRequisiteNum; ++k)
      data::WriteDownloadRecordKey(paths, data::FlashImageName(k), "0");
  }
  if (const auto recordTime =
          link::ParseTimeStampText(RecordValue(paths.record, data::kRecordTimeKey)))
    s.OperationTime = *recordTime;
  s.ParaPath = paraPath;
  s.DownloadData = 1;
  // A data backup being put back (a restore) had its App, if any, written
  // before the data began, as every download does: the package's App and
  // resources must not go under it now. The resume got this far only
  // because the data download had begun. A move to the E2PROM is the
  // exception: its record resumes from a cut in the App as well, and the
  // App it sends is the package's.
  if (!data::RecordMovesToE2prom(paths.record) &&
      data::ResolveRestorePoint(ctx.programDir, paraPath).check == data::RestoreFolderCheck::kOk) {
    s.DownloadApp = 0;
    s.AppBackupToSend.reset();
    engine::NextDownloadStage(ctx, true);
    return;
  }
  engine::NextDownloadStage(ctx);
}

void RecordWithoutDataSet(Context& ctx) {
  RunningTransfer(ctx)->recordResumable = false;
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.MessageBox(ctx.Text("Log_StatusErr"), platform::kBoxError);
}

// Whether the E2PROM terminal holds this record's data set: its header
// carries the record's time (the download stored its first block), or its
// intact mark is cleared over the data it held before the download (the
// rewrite began, nothing of the new set was stored yet). Either way the set
// saved on the PC is what it must receive.
bool CarriesRecordsData(Context& ctx, const std::string& recordPath) {
  const engine::DeviceInfo& d = ctx.device;
  if (RecordValue(recordPath, data::kRecordTimeKey) == d.ParaTimestamp)
    return true;
  if (d.ParaIntact)
    return false;
  if (data::RecordMovesToE2prom(recordPath)) {
    // The upgrade that moves the data to the E2PROM was cut after the new
    // bootloader went in and before any of the image was stored: the
    // terminal's own data lives on only in the image saved on the PC.
    ctx.Log(1, "\r\nCheck-MovedToE2prom");
    return true;
  }
  const std::optional<std::string> before = data::RecordDataTimeBefore(recordPath);
  if (!before || *before != d.ParaTimestamp)
    return false;
  ctx.Log(1, "\r\nCheck-RewriteBegun");
  return true;
}

// Terminal header `index` of the header table.
data::ParaHeader TerminalHeader(const Context& ctx, std::size_t index) {
  const std::uint8_t* record = ctx.device.ParaHeaderTable.data() + index * engine::kParaHeaderSize;
  return *data::DecodeParaHeader(link::ByteView(record, engine::kParaHeaderSize));
}

// What the record says about the upgrade: nothing to resume (the caller
// starts afresh), a resume under way, or the operation ended.
enum class RecordOutcome { kFresh, kResuming, kEnded };

RecordOutcome CheckRecords(Context& ctx) {
  engine::LinkState& s = ctx.link;
  TransferState& t = *RunningTransfer(ctx);
  const std::string folder = ResumeFolder(ctx);
  const std::vector<std::string> records = data::ListFiles(folder, "*.log");
  if (records.empty())
    return RecordOutcome::kFresh;
  t.foundRecord = folder + "/" + records.front();
  for (std::size_t i = 1; i < records.size(); ++i)
    data::RemoveFile(folder + "/" + records[i]);
  const std::size_t requisite = ctx.package.paraFileRequisiteNum;
  const data::RecordShape shape = data::ReadRecordShape(t.foundRecord, requisite);
  ctx.Log(1, "\r\n\r\nTavrLog\r\nParaPath=" + shape.paraPath);
  if (shape.keyCount > 3 && !shape.keyLines.empty())
    ctx.Log(1, shape.keyLines);

  const bool e2 = ctx.device.BlVersion >= engine::kBlE2prom;
  // A move to the E2PROM cut after the new bootloader went in: the keys are
  // those of Flash data, the saved set is an E2PROM image.
  const bool moved = e2 && data::RecordMovesToE2prom(t.foundRecord);
  if (!moved && !shape.Usable(e2 ? data::ParaForm::kE2prom : data::ParaForm::kFlash, requisite)) {
    if (!AskGiveUpRecord(ctx)) {
      engine::SetBusy(ctx, engine::WindowState::kIdle);
      ctx.Log(1, "\r\nLogErr-End");
      return RecordOutcome::kEnded;
    }
    ctx.Log(1, "\r\nLogErr-del-Up");
    DeleteRecordAndCopy(ctx, t.foundRecord);
    return RecordOutcome::kFresh;
  }
  if (shape.paraPath == "0") {
    // Kept: without its data folder the record cannot be resumed, and a
    // fresh upgrade would read the half-written data back.
    RecordWithoutDataSet(ctx);
    return RecordOutcome::kEnded;
  }
  if (!IsSavedSetComplete(ctx, shape)) {
    for (const std::string& name : records)
      data::RemoveFile(folder + "/" + name);
    ctx.Log(1, "\r\nLenErrDele-Up");
    return RecordOutcome::kFresh;
  }
  if (!e2 && shape.doneCount < requisite) {
    t.resumeCheck = true;
    // The headers as the download left them, at the areas' own addresses.
    s.ParaAltAddr = 0;
    engine::StartHandshake(ctx);
    return RecordOutcome::kResuming;
  }
  if (e2 && shape.doneCount == 0) {
    engine::StartE2Read(ctx, {0, engine::kE2HeaderLength, [&ctx] {
                                TakeE2Header(ctx);
                                CheckResumeE2(ctx);
                              }});
    return RecordOutcome::kResuming;
  }
  // Every data file already went in: nothing to resume.
  for (const std::string& name : records)
    data::RemoveFile(folder + "/" + name);
  return RecordOutcome::kFresh;
}

}  // namespace

std::shared_ptr<engine::Operation> MakeUpgrade() {
  return std::make_shared<Upgrade>();
}

void StartUpgrade(Context& ctx) {
  if (!RequireConnection(ctx)) {
    // Started afresh from within a running upgrade (the record given up), a
    // terminal that restarted meanwhile is no longer connected: that upgrade
    // ends here, or the window would stay busy with nothing to wait for.
    if (ctx.operations.IsRunning())
      engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  ctx.operations.Install(MakeUpgrade());
  if (!FileSetCheck(ctx, AreaCheck::kConnectedTerminal, FileScope::kWithDownloadFiles)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  if (!SetUpTransfer(ctx, {"_BL_", "UpSW-", true}))
    return;

  switch (CheckRecords(ctx)) {
    case RecordOutcome::kFresh:
      engine::StartCommand(ctx);
      break;
    case RecordOutcome::kResuming:
    case RecordOutcome::kEnded:
      break;
  }
  ctx.Refresh();
}

void CheckResumeFlash(Context& ctx) {
  TransferState& t = *RunningTransfer(ctx);
  t.resumeCheck = false;
  t.foundRecord = data::FindDownloadRecord(ctx.programDir, ctx.port.number, t.foundRecord,
                                           TerminalHeader(ctx, 0));
  const std::optional<std::string> paraPath = RecordDataSet(t.foundRecord);
  // The terminal's areas are compared with the set the download sends.
  const std::string savedSet =
      paraPath && IsDataSetPath(*paraPath) ? *paraPath : ctx.programDir + data::kInitFlashFolder;
  const std::size_t requisite = ctx.package.paraFileRequisiteNum;
  for (std::size_t i = 0; i < requisite; ++i) {
    data::ResumeAreaVerdict result = data::ResumeAreaVerdict::kMismatch;
    const data::FlashImageHeader file = data::ReadFlashImageHeaderIn(savedSet, i);
    if (!file.result.ok()) {
      // An image that cannot be read proves nothing: the question decides.
      ctx.Refresh();
      const bool missing = file.result.error == data::FileError::kNotExist;
      ctx.MessageBox(file.result.path + ctx.Text(missing ? "F_NotExist" : "F_ReadInErr"),
                     platform::kBoxError);
    } else if (i < engine::kParaHeaderSlots) {
      // Only six headers are read; a larger set cannot be proven.
      const data::ResumeAreaCheck check =
          data::CheckResumeArea(file.header, TerminalHeader(ctx, i), i, t.foundRecord, requisite);
      ctx.Log(1, check.logLine);
      result = check.result;
    }
    if (result == data::ResumeAreaVerdict::kFits)
      continue;
    if (result == data::ResumeAreaVerdict::kAlreadyComplete) {
      ctx.Log(1, "\r\nCheckOK-del-Up");
      DeleteRecordAndCopy(ctx, t.foundRecord);
      StartUpgrade(ctx);
      return;
    }
    OnRecordMismatch(ctx);
    return;
  }
  if (!paraPath) {
    RecordWithoutDataSet(ctx);
    return;
  }
  ResumeDataDownload(ctx, *paraPath);
}

void CheckResumeE2(Context& ctx) {
  TransferState& t = *RunningTransfer(ctx);
  const std::string folder = ResumeFolder(ctx);
  const std::vector<std::string> records = data::ListFiles(folder, "*.log");
  if (records.empty()) {
    ReadBackForDecision(ctx);
    return;
  }
  t.foundRecord = folder + "/" + records.front();
  if (!CarriesRecordsData(ctx, t.foundRecord)) {
    OnRecordMismatch(ctx);
    return;
  }
  const std::optional<std::string> paraPath = RecordDataSet(t.foundRecord);
  if (!paraPath || !IsDataSetPath(*paraPath)) {
    RecordWithoutDataSet(ctx);
    return;
  }
  ResumeDataDownload(ctx, *paraPath);
}

}  // namespace tavro::operations
