#pragma once
// What Download software and Upgrade software share before and after the
// identification: the App image's version for the back-up question, the
// stage lines and progress of the window, and the read-back that leads to
// the data-version decision.

#include <memory>
#include <optional>
#include <string>

#include "data/download_record.hpp"
#include "engine/context.hpp"
#include "operations/identify.hpp"

namespace tavro::operations {

// What a terminal's next fresh identification means within a download: it
// restarted mid-operation and the operation goes on from where it was.
enum class AfterRestart {
  kShowDeviceInfo,  // nothing pending: the identification is shown
  kReadAppInfo,     // the E2PROM check ran: the App information is read next
  kNextStage,       // the RAM stage ran: the next download stage follows
};

// The back-up-App question within a download.
enum class AppBackupChoice { kNotAsked, kBackUpFirst, kDecided };

// What Download and Upgrade keep while they run. It lives in the running
// operation and goes with it when the window returns to idle.
struct TransferState {
  bool plainDownload = false;  // Download software: the package's initial data goes in
  AfterRestart afterRestart = AfterRestart::kShowDeviceInfo;
  AppBackupChoice appBackup = AppBackupChoice::kNotAsked;
  // The headers being read are for the resume check, not the identification.
  bool resumeCheck = false;
  // The record the resume checks look at.
  std::string foundRecord;
  // The record marked file by file, and whether an interruption now leaves
  // it for the next Upgrade to resume from.
  std::optional<data::DownloadRecordPaths> record;
  bool recordResumable = false;
  // The live stage lines last put in the information area; an ending that
  // leaves them there stopped part-way, so they go.
  std::string stagesOnScreen;
  // The terminal's data goes from its Flash areas to the E2PROM, as an
  // E2PROM image built from them.
  bool dataMovesToE2prom = false;
};

// The running download's state. With no download running (a step reached
// outside one) a fresh state stands in, so nothing is read from or written
// into another operation.
std::shared_ptr<TransferState> RunningTransfer(const engine::Context& ctx);

// Download and Upgrade as the engine sees them: a terminal that restarted
// mid-operation is shown and the display step goes on with the stages; an
// identification within the operation leads to the read-back; the read-back
// ends in the data-version decision.
class TransferOperation : public IdentifyingOperation {
 public:
  void OnIdentified(engine::Context& ctx, engine::Identification how) final;
  void OnProgressTick(engine::Context& ctx, int timerId) final;
  void OnReadBackDone(engine::Context& ctx) final;
  engine::RamProgram RamProgramToSend() const final;
  std::optional<data::DownloadRecordPaths> DownloadRecord() const final;
  std::optional<std::string> ResumableRecord() const final;
  void OnReturnToIdle(engine::Context& ctx) final;

  TransferState& state() { return *state_; }
  const std::shared_ptr<TransferState>& shared_state() const { return state_; }

 protected:
  explicit TransferOperation(bool plainDownload) { state_->plainDownload = plainDownload; }

  // After an identification within the operation; the read-back by default.
  virtual void ContinueIdentified(engine::Context& ctx);
  // Once the terminal is read back: the data-version decision by default.
  virtual void ContinueAfterReadBack(engine::Context& ctx);

 private:
  std::shared_ptr<TransferState> state_ = std::make_shared<TransferState>();
};

// How the two operations begin once their own checks have passed.
struct TransferStart {
  const char* bootloaderMarker;  // in the Data/Bl image's path: a new bootloader
  const char* banner;            // the run log's operation banner
  bool markerWriteNeedsConfig;   // bootloaders below 0x210 get the marker write only
                                 // when the package allows bootloader data updates
};

// The bootloader marker, the App's version, the stage lines, the operation
// time and banner, the Flash copy flag, the first command and the progress
// display. False (the window idle again) when the App image cannot be read.
bool SetUpTransfer(engine::Context& ctx, const TransferStart& start);

// The package's App image for this terminal: FileVersion from the first
// image of its folder ("%x.%x.%x.%x" of the four bytes at offset 64, most
// significant first). True also when the folder holds none; false with the
// path and F_NotExist or F_ReadInErr shown.
bool ReadPackageAppVersion(engine::Context& ctx);

// The stage lines in the information area and the warning line.
void ShowDownloadLines(engine::Context& ctx);

// The warning line, the percentage and the progress bar from 0, and timer 9
// counting the elapsed seconds from 0.
void ShowDownloadProgress(engine::Context& ctx);

// True when a 0x220..0x22F terminal takes the E2PROM layout with the new
// bootloader of the package.
bool MovesToE2prom(const engine::Context& ctx);

// The read-back of an identified terminal within a download: its App first
// when the technician wants it kept, then its parameter data when intact,
// then the data-version decision.
void ReadBackForDecision(engine::Context& ctx);

}  // namespace tavro::operations
