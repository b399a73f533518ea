#pragma once
// One user operation as the engine sees it. The engine keeps what every
// operation shares (receive path, timers, commands, the block rules) and
// asks the running operation at the points where operations differ.
//
// A button handler installs its operation; the window's return to idle
// removes it. While none runs, the fallback answers: a terminal that
// announces itself unasked is identified and shown, as View device
// information shows it.

#include <memory>

namespace tavro::engine {

struct Context;

// Whether an identification began afresh (the terminal announced itself:
// after a connect or a restart) or was asked for within the running
// operation, which then goes on from it.
enum class Identification { kFresh, kWithinOperation };

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
  // terminal allowed (the flags in DeviceInfo say what was): Backup shows
  // its summary, Download and Upgrade decide which data to send. An
  // operation that reads nothing back returns the window to idle.
  virtual void OnReadBackDone(Context& ctx);
  // The terminal's Flash parameter headers were read for a resume check
  // (ResumeCheck set): the operation compares them with its record. An
  // operation that does not resume returns the window to idle.
  virtual void OnResumeHeadersRead(Context& ctx);
};

class OperationSlot {
 public:
  void SetFallback(std::shared_ptr<Operation> fallback) { fallback_ = std::move(fallback); }
  void Install(std::shared_ptr<Operation> operation) { running_ = std::move(operation); }
  void Remove() { running_.reset(); }
  bool IsRunning() const { return running_ != nullptr; }
  // The running operation, else the fallback (null when neither is set).
  // Callers hold the returned pointer while they call it, so an operation
  // that ends itself stays alive until its call returns.
  std::shared_ptr<Operation> Current() const { return running_ ? running_ : fallback_; }

 private:
  std::shared_ptr<Operation> running_;
  std::shared_ptr<Operation> fallback_;
};

}  // namespace tavro::engine
