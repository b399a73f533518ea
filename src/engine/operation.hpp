#pragma once
// One user operation as the engine sees it. The engine keeps what every
// operation shares (receive path, timers, commands, the block rules) and
// asks the running operation at the points where operations differ.
//
// A button handler installs its operation; the window's return to idle
// removes it. While none runs, the fallback answers: a terminal that
// announces itself unasked is identified and shown.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "data/backup_tree.hpp"
#include "data/download_record.hpp"

namespace tavro::engine {

struct Context;

// Whether an identification began afresh (the terminal announced itself:
// after a connect or a restart) or was asked for within the running
// operation, which then goes on from it.
enum class Identification { kFresh, kWithinOperation };

// The program the RAM-loader command sends: the bootloader-upgrade loader, or
// the E2PROM check from Data/Bl/CheckE2.
enum class RamProgram { kBootloaderUpgrade, kE2Check };

class Operation {
 public:
  virtual ~Operation() = default;

  // The package and folder check between the link query and the App
  // information; true = the identification goes on.
  virtual bool CheckFileSet(Context& ctx) = 0;
  // The identification has the parameter information: show it, or go on
  // with the operation (also after the terminal restarted mid-operation).
  virtual void OnIdentified(Context& ctx, Identification how) = 0;
  // Timer 9 or 10 ticked and the elapsed-time line has moved on.
  virtual void OnProgressTick(Context& /*ctx*/, int /*timerId*/) {}
  // The terminal's App and parameter data have been read back as far as the
  // terminal allowed (the flags in DeviceInfo say what was): the operation
  // shows what was saved or decides which data to send. An operation that
  // reads nothing back returns the window to idle.
  virtual void OnReadBackDone(Context& ctx);
  // The terminal's Flash parameter headers were read for a resume check
  // (the operation asked for them): it compares them with its record. An
  // operation that does not resume returns the window to idle.
  virtual void OnResumeHeadersRead(Context& ctx);

  // How the area read-back names its data folder: an operation that only
  // backs up keeps every run; a read-back before a download reuses the
  // operation's stamp.
  virtual data::DataFolderNaming AreaFolderNaming() const {
    return data::DataFolderNaming::kReuseSameStamp;
  }
  // The command that stands once the last area is read back, until the
  // operation takes the result (the stage display reads it); none keeps the
  // read's own command.
  virtual std::optional<std::uint32_t> CommandAfterAreaReadBack() const;
  // Which program the RAM-loader command sends.
  virtual RamProgram RamProgramToSend() const { return RamProgram::kBootloaderUpgrade; }
  // The download record the data transfer marks file by file; none when the
  // operation keeps no record.
  virtual std::optional<data::DownloadRecordPaths> DownloadRecord() const { return std::nullopt; }
  // The download record an interruption now would leave to resume from;
  // none when nothing could be resumed.
  virtual std::optional<std::string> ResumableRecord() const { return std::nullopt; }
  // The window returns to idle with this operation, after its end or its
  // failure: what it leaves on screen is its own business.
  virtual void OnReturnToIdle(Context& /*ctx*/) {}
};

class OperationSlot {
 public:
  void SetFallback(std::shared_ptr<Operation> fallback) { fallback_ = std::move(fallback); }
  void Install(std::shared_ptr<Operation> operation) {
    running_ = std::move(operation);
    leftRecord_.reset();
    runReportDue_ = false;
  }
  // A download's completion makes the terminal restart and report its run;
  // only that report speaks for the operation.
  void ExpectRunReport() { runReportDue_ = true; }
  // Whether the run report now arriving follows a completion; each
  // completion is answered by one report.
  bool TakeRunReportDue() { return std::exchange(runReportDue_, false); }
  // What the dropped operation would leave to resume is kept for the boxes
  // that follow its end.
  void Remove() {
    if (running_)
      leftRecord_ = running_->ResumableRecord();
    running_.reset();
  }
  bool IsRunning() const { return running_ != nullptr; }
  // The running operation, else the fallback (null when neither is set).
  // Callers hold the returned pointer while they call it, so an operation
  // that ends itself stays alive until its call returns.
  std::shared_ptr<Operation> Current() const { return running_ ? running_ : fallback_; }
  // The record the running operation, or the one that ended last, leaves
  // to resume from.
  std::optional<std::string> ResumableRecord() const {
    return running_ ? running_->ResumableRecord() : leftRecord_;
  }

 private:
  std::shared_ptr<Operation> running_;
  std::shared_ptr<Operation> fallback_;
  std::optional<std::string> leftRecord_;
  bool runReportDue_ = false;
};

}  // namespace tavro::engine
