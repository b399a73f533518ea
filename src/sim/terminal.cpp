#include "sim/terminal.hpp"

#include <algorithm>

#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::sim {

using namespace link;

Terminal::Terminal(Scheduler& scheduler, Device device, Behaviour behaviour, Faults faults)
    : scheduler_(scheduler),
      device_(std::move(device)),
      behaviour_(std::move(behaviour)),
      faults_(std::move(faults)) {
  device_.EnsureE2prom();
}

Terminal::~Terminal() = default;

void Terminal::PowerUp() {
  ++epoch_;
  powered_ = true;
  booting_ = false;
  silentUntil_ = 0;
  silentForGood_ = false;
  rx_.Reset();
  rxCheckArmed_ = false;
  runCheckArmed_ = false;
  received_.Reset();
  sent_.Reset();
  paraStartCount_ = paraBackupCount_ = 0;
  blockWrites_ = 0;
  bytesReceived_ = 0;
  refusalsDone_ = 0;
  awaiting_ = Awaiting::None;
  read_ = {};
  write_ = {};
  sessionWrites_ = false;
  busy_ = 0;
  paraSessionStarted_ = false;
  ram_.clear();
  newBootloader_.clear();
  blLoaderRunning_ = false;
  lastTrafficMs_ = scheduler_.NowMs();
  Note("power up");
  if (behaviour_.announceAtPowerUp)
    Announce();
}

void Terminal::PowerCut() {
  ++epoch_;
  if (powered_)
    Note("power cut");
  powered_ = false;
  booting_ = false;
  rx_.Reset();
}

void Terminal::Restart(std::uint32_t afterMs) {
  ++epoch_;  // whatever the old run had scheduled is gone
  booting_ = true;
  rx_.Reset();
  Note("restart");
  Later(afterMs, [this] { PowerUp(); });
}

bool Terminal::Silent() const {
  return silentForGood_ || scheduler_.NowMs() < silentUntil_;
}

void Terminal::StartSilence(std::uint32_t ms) {
  Note(ms == 0 ? "silent for good" : "silent for " + std::to_string(ms) + " ms");
  if (ms == 0) {
    silentForGood_ = true;
  } else {
    silentUntil_ = scheduler_.NowMs() + ms;
  }
  rx_.Reset();
}

void Terminal::Later(std::uint32_t ms, std::function<void()> fn) {
  std::weak_ptr<int> alive = alive_;
  const std::uint32_t epoch = epoch_;
  scheduler_.After(ms, [this, alive, epoch, fn = std::move(fn)] {
    if (alive.expired() || epoch != epoch_ || !powered_)
      return;
    fn();
  });
}

void Terminal::Note(std::string_view text) {
  if (trace_)
    trace_(scheduler_.NowMs(), '!', {}, text);
}

void Terminal::OnByte(std::uint8_t byte) {
  if (!powered_ || booting_ || adapterGone_ || Silent())
    return;
  lastByteMs_ = scheduler_.NowMs();
  ++bytesReceived_;
  if (faults_.powerCutAtByte != 0 && bytesReceived_ == faults_.powerCutAtByte) {
    Note("fault: power cut at byte " + std::to_string(bytesReceived_));
    faults_.powerCutAtByte = 0;  // one cut per run
    PowerCut();
    if (onPowerCut_)
      onPowerCut_();
    return;
  }
  Touch();
  ReceivedFrame frame;
  const FrameReceiver::Event event = rx_.OnByte(byte, frame);
  if (rx_.InFrame())
    ArmRxTimeout();
  switch (event) {
    case FrameReceiver::Event::None:
      break;
    case FrameReceiver::Event::Good:
      if (trace_)
        trace_(lastByteMs_, '<', frame.raw, {});
      HandleFrame(frame);
      break;
    case FrameReceiver::Event::BadCrc:
      if (trace_)
        trace_(lastByteMs_, '<', frame.raw, "CRC error");
      Send(MsgHello);  // asks the PC to send it again
      break;
    case FrameReceiver::Event::WrongAddress:
      if (trace_)
        trace_(lastByteMs_, '<', frame.raw, "wrong address words, dropped");
      break;
  }
}

void Terminal::ArmRxTimeout() {
  if (rxCheckArmed_)
    return;
  rxCheckArmed_ = true;
  Later(behaviour_.rxTimeoutMs, [this] { CheckRxTimeout(); });
}

void Terminal::CheckRxTimeout() {
  rxCheckArmed_ = false;
  if (!rx_.InFrame())
    return;
  const std::uint64_t quiet = scheduler_.NowMs() - lastByteMs_;
  if (quiet < behaviour_.rxTimeoutMs) {
    rxCheckArmed_ = true;
    Later(static_cast<std::uint32_t>(behaviour_.rxTimeoutMs - quiet), [this] { CheckRxTimeout(); });
    return;
  }
  rx_.Reset();
  Note("frame cut off");
  Send(MsgRxTimeout);
}

void Terminal::HandleFrame(const ReceivedFrame& frame) {
  received_.Count(frame.msgId);
  if (received_.Matches(faults_.rxTimeoutOn, frame.msgId)) {
    Note("fault: frame taken as cut off");
    for (std::uint32_t i = 0; i < faults_.rxTimeoutBurst; ++i)
      Send(MsgRxTimeout);
    return;
  }
  if (received_.Matches(faults_.silenceAfter, frame.msgId)) {
    StartSilence(faults_.silenceMs);
    return;
  }
  Dispatch(frame);
  if (received_.Matches(faults_.adapterRemovalAfter, frame.msgId)) {
    Note("fault: adapter removed");
    adapterGone_ = true;
    rx_.Reset();
    if (onAdapterRemoved_)
      onAdapterRemoved_();
  }
  if (powered_ && received_.Matches(faults_.restartAfter, frame.msgId)) {
    Note("fault: restart unasked");
    // Once: the frame counts start again at power-up and would match anew.
    faults_.restartAfter.enabled = false;
    Restart(behaviour_.restartMs);
  }
}

void Terminal::Dispatch(const ReceivedFrame& frame) {
  const ByteView p = frame.payload;
  switch (frame.msgId) {
    case MsgConnect:
      OnConnect();
      break;
    case MsgBlHelloAck:
      OnBlHelloAck();
      break;
    case MsgLinkQuery:
      OnLinkQuery();
      break;
    case MsgReadAppInfo:
      OnReadAppInfo();
      break;
    case MsgFlashRead:
      OnFlashRead(p);
      break;
    case MsgE2Read:
      OnE2Read(p);
      break;
    case MsgFlashReadAck:
    case MsgE2ReadAck:
    case MsgAppBackupAck:
    case MsgParaBackupAck:
      OnReadBackAck(frame.msgId, p);
      break;
    case MsgAppBackupStart:
      OnAppBackupStart(p);
      break;
    case MsgParaBackupStart:
    case MsgParaBackupStartEx:
      OnParaBackupStart(frame.msgId, p);
      break;
    case MsgResendRequest:
      OnResendRequest(p);
      break;
    case MsgAppDownloadStart:
      OnAppDownloadStart(p);
      break;
    case MsgAppBlock:
      OnAppBlock(p);
      break;
    case MsgParaDownloadStart:
      OnParaDownloadStart();
      break;
    case MsgParaBlock:
      OnParaBlock(p);
      break;
    case MsgE2WriteBlock:
      OnE2WriteBlock(p);
      break;
    case MsgFlashWriteBlock:
      OnFlashWriteBlock(p);
      break;
    case MsgRamBlock:
      OnRamBlock(p);
      break;
    case MsgBlImageBlock:
      OnBlImageBlock(p);
      break;
    case MsgRamHelloAck:
      OnLoaderAck(Awaiting::RamHelloAck);
      break;
    case MsgRamContinueAck:
      OnLoaderAck(Awaiting::RamContinueAck);
      break;
    case MsgE2CheckResultAck:
      OnLoaderAck(Awaiting::E2ResultAck);
      break;
    case MsgGoBack:
      OnGoBack();
      break;
    default:
      Note("not a command, ignored");
      break;
  }
}

void Terminal::Send(std::uint16_t msgId, Bytes payload, std::uint32_t delayMs) {
  Later(behaviour_.replyDelayMs + delayMs,
        [this, msgId, payload = std::move(payload)] { Emit(msgId, payload); });
}

void Terminal::SendStatus(std::uint16_t msgId, std::uint16_t status, std::uint32_t delayMs) {
  Send(msgId, StatusPayload(status), delayMs);
}

void Terminal::Emit(std::uint16_t msgId, const Bytes& payload) {
  if (adapterGone_ || Silent())
    return;
  sent_.Count(msgId);
  if (sent_.Matches(faults_.dropReply, msgId)) {
    Note("fault: reply " + std::to_string(msgId) + " dropped");
    return;
  }
  Bytes frame = BuildTerminalFrame(msgId, payload);
  std::string_view note;
  if (sent_.Matches(faults_.crcErrorReply, msgId)) {
    frame[kPayloadOffset + payload.size()] ^= 0x5A;
    note = "fault: CRC broken";
  }
  if (trace_)
    trace_(scheduler_.NowMs(), '>', frame, note);
  Touch();
  if (!sink_)
    return;
  sink_(frame);
  if (sent_.Matches(faults_.repeatReply, msgId)) {
    Note("fault: reply " + std::to_string(msgId) + " repeated");
    sink_(frame);
  }
  if (sent_.Matches(faults_.garbageAfter, msgId))
    sink_(Garbage(faults_.garbageBytes));
}

Bytes Terminal::Garbage(std::uint32_t count) {
  Note("fault: " + std::to_string(count) + " bytes of line noise");
  Bytes noise(count);
  for (std::uint8_t& b : noise) {
    noiseState_ = noiseState_ * 1103515245u + 12345u;
    // Now and then the frame start, so the PC hunts through false starts.
    b = (noiseState_ >> 28) == 0 ? 0x5F : static_cast<std::uint8_t>(noiseState_ >> 16);
  }
  return noise;
}

void Terminal::SendStates(std::uint16_t msgId, std::vector<std::uint16_t> states,
                          std::uint32_t firstMs, std::uint32_t stepMs,
                          std::function<void(std::uint16_t, bool)> onEach) {
  if (states.empty())
    return;
  ++busy_;
  std::uint32_t at = firstMs;
  for (std::size_t i = 0; i < states.size(); ++i) {
    const bool last = i + 1 == states.size();
    Later(at, [this, msgId, state = states[i], last, onEach] {
      if (onEach)
        onEach(state, last);
      Emit(msgId, StatusPayload(state));
      if (last)
        --busy_;
    });
    at += stepMs;
  }
}

void Terminal::Touch() {
  lastTrafficMs_ = scheduler_.NowMs();
  ArmRunCheck();
}

void Terminal::ArmRunCheck() {
  if (runCheckArmed_ || !sessionWrites_)
    return;
  runCheckArmed_ = true;
  Later(behaviour_.runDelayMs, [this] { CheckRun(); });
}

void Terminal::CheckRun() {
  runCheckArmed_ = false;
  if (!sessionWrites_)
    return;
  const std::uint64_t quiet = scheduler_.NowMs() - lastTrafficMs_;
  if (quiet < behaviour_.runDelayMs) {
    runCheckArmed_ = true;
    Later(static_cast<std::uint32_t>(behaviour_.runDelayMs - quiet), [this] { CheckRun(); });
    return;
  }
  // A transfer left half-way keeps the terminal in its bootloader.
  if (busy_ > 0 || write_.open || blLoaderRunning_)
    return;
  SendRunResult();
}

void Terminal::Save(Changed changed) {
  if (save_)
    save_(device_, changed);
}

}  // namespace tavro::sim
