#pragma once
// One simulated radio terminal: the device side of every exchange. It takes
// the PC's bytes one at a time, gets the time and its delayed work from a
// Scheduler and hands whole frames for the PC to a sink. It knows nothing
// about the transport (in-process wire or pseudo terminal).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/byte_order.hpp"
#include "sim/behaviour.hpp"
#include "sim/device_model.hpp"
#include "sim/faults.hpp"
#include "sim/frame_receiver.hpp"
#include "sim/scheduler.hpp"

namespace tavro::sim {

// The part of the device an accepted write changed (`index`: parameter area).
enum class DevicePart { Bootloader, App, BackupApp, Para, ParaCopy, Resource, E2Copy, Marker, E2 };
struct Changed {
  DevicePart part = DevicePart::Bootloader;
  std::size_t index = 0;
};

class Terminal {
 public:
  using FrameSink = std::function<void(const link::Bytes& frame)>;
  // Direction '<' frame from the PC, '>' frame to the PC, '!' a note.
  using TraceHook = std::function<void(std::uint64_t ms, char direction, link::ByteView frame,
                                       std::string_view note)>;
  using SaveHook = std::function<void(const Device& device, Changed changed)>;
  using EventHook = std::function<void()>;

  Terminal(Scheduler& scheduler, Device device, Behaviour behaviour = {}, Faults faults = {});
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void SetSink(FrameSink sink) { sink_ = std::move(sink); }
  void SetTrace(TraceHook trace) { trace_ = std::move(trace); }
  // Called after every accepted write, before it is acknowledged.
  void SetSaveHook(SaveHook save) { save_ = std::move(save); }
  // The terminal lost power through a fault (it is already off).
  void SetPowerCutHook(EventHook hook) { onPowerCut_ = std::move(hook); }
  // The serial adapter was pulled through a fault.
  void SetAdapterRemovedHook(EventHook hook) { onAdapterRemoved_ = std::move(hook); }
  // The adapter is plugged in again: frames flow once more.
  void AdapterBack() { adapterGone_ = false; }

  // Switches the terminal on: protocol state starts afresh and the bootloader
  // announces itself when the behaviour says so.
  void PowerUp();
  // Switches it off at once: pending replies and work are dropped; the device
  // keeps what has been written so far.
  void PowerCut();
  bool Powered() const { return powered_; }

  // One byte from the PC.
  void OnByte(std::uint8_t byte);
  // Sends a MsgText frame with `text` (what the terminal prints on its own).
  void SendText(std::string_view text);

  const Device& device() const { return device_; }
  Device& mutableDevice() { return device_; }
  Behaviour& behaviour() { return behaviour_; }
  Faults& faults() { return faults_; }
  // Number of frames with identifier `msgId` sent to the PC since power-up.
  std::uint32_t SentCount(std::uint16_t msgId) const { return sent_.CountOf(msgId); }
  // Frames sent and received, and bytes received, since power-up: what a
  // fault's "#N" and PowerCutAtByte count.
  std::uint32_t SentTotal() const { return sent_.Total(); }
  std::uint32_t ReceivedTotal() const { return received_.Total(); }
  std::uint32_t ReceivedCount(std::uint16_t msgId) const { return received_.CountOf(msgId); }
  std::uint32_t BytesReceived() const { return bytesReceived_; }

 private:
  struct ReadBack {
    bool active = false;
    std::uint16_t replyId = 0;    // message carrying the blocks
    std::uint16_t requestId = 0;  // identifier a resend request names
    bool longForm = true;
    std::uint32_t address = 0;
    link::Bytes data;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // offset, length per block
    std::uint16_t sent = 0;                                   // last block sent
  };
  struct WriteState {
    TransferKind kind = TransferKind::None;
    int area = -1;
    std::uint16_t count = 0;
    int last = -1;  // last block accepted
    bool open = false;
  };
  enum class Awaiting { None, BlHelloAck, RamHelloAck, RamContinueAck, E2ResultAck };
  enum class Verdict { Write, Repeat, Refuse, PowerLost };

  // terminal.cpp: receive path, output, timing, session end.
  void HandleFrame(const ReceivedFrame& frame);
  void Dispatch(const ReceivedFrame& frame);
  void Send(std::uint16_t msgId, link::Bytes payload = {}, std::uint32_t delayMs = 0);
  void SendStatus(std::uint16_t msgId, std::uint16_t status, std::uint32_t delayMs = 0);
  void Emit(std::uint16_t msgId, const link::Bytes& payload);
  void Later(std::uint32_t ms, std::function<void()> fn);
  void Note(std::string_view text);
  void ArmRxTimeout();
  void CheckRxTimeout();
  void Touch();
  void ArmRunCheck();
  void CheckRun();
  void Save(Changed changed);
  void Restart(std::uint32_t afterMs);
  void StartSilence(std::uint32_t ms);
  // Line noise of `count` bytes (fault GarbageAfter).
  link::Bytes Garbage(std::uint32_t count);
  bool Silent() const;
  // Sends `states` of `msgId`: the first `firstMs` from now, each further
  // one `stepMs` later; `onEach` runs just before each is sent.
  void SendStates(std::uint16_t msgId, std::vector<std::uint16_t> states, std::uint32_t firstMs,
                  std::uint32_t stepMs, std::function<void(std::uint16_t, bool last)> onEach);

  // terminal_identify.cpp
  void OnConnect();
  void OnBlHelloAck();
  void SayHello();
  // Sends the bootloader's announcement and waits for its acknowledgement.
  void Announce();
  link::Bytes BlHelloPayload() const;
  void OnLinkQuery();
  void OnReadAppInfo();
  void OnFlashRead(link::ByteView payload);
  void OnE2Read(link::ByteView payload);

  // terminal_readback.cpp
  void OnAppBackupStart(link::ByteView payload);
  void OnParaBackupStart(std::uint16_t msgId, link::ByteView payload);
  void OnReadBackAck(std::uint16_t msgId, link::ByteView payload);
  void OnResendRequest(link::ByteView payload);
  using Pieces = std::vector<std::pair<std::size_t, std::size_t>>;
  static Pieces UniformPieces(std::size_t size);
  void StartReadBack(ReadBack read);
  void SendReadBlock(std::uint16_t number);

  // terminal_download.cpp
  // Behaviour clearMarkOnArrival: the first block of a rewrite clears the
  // data's intact mark before anything else happens to it.
  void ClearMarkOnArrival(TransferKind kind, int area, std::uint16_t number);
  Verdict CheckBlock(TransferKind kind, int area, std::uint16_t blockMsgId, std::uint16_t count,
                     std::uint16_t number);
  void Accepted(TransferKind kind, std::uint16_t number);
  bool PowerCutDue(TransferKind kind, int area, std::uint16_t number, PowerCutMoment moment) const;
  void CutPower(TransferKind kind, std::uint16_t number, std::string_view when);
  bool AckStored(std::uint16_t ackId, std::uint16_t status, std::uint32_t delayMs = 0);
  void OnAppDownloadStart(link::ByteView payload);
  void OnAppBlock(link::ByteView payload);
  void FinishApp();
  void OnParaDownloadStart();
  void OnParaBlock(link::ByteView payload);
  void OnE2WriteBlock(link::ByteView payload);
  void OnFlashWriteBlock(link::ByteView payload);
  void BackUpOwnData();

  // terminal_loader.cpp
  void OnRamBlock(link::ByteView payload);
  void StartLoader();
  void OnBlImageBlock(link::ByteView payload);
  void AwaitAck(Awaiting what, std::uint16_t msgId, link::Bytes payload, std::uint32_t tries);
  void OnLoaderAck(Awaiting what);
  void OnGoBack();
  void SendRunResult();

  Scheduler& scheduler_;
  Device device_;
  Behaviour behaviour_;
  Faults faults_;
  FrameSink sink_;
  TraceHook trace_;
  SaveHook save_;
  EventHook onPowerCut_;
  EventHook onAdapterRemoved_;

  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::uint32_t epoch_ = 0;  // work scheduled before a power change is dropped
  bool powered_ = false;
  bool adapterGone_ = false;
  std::uint64_t silentUntil_ = 0;
  bool silentForGood_ = false;
  bool booting_ = false;  // between a restart and the next power-up

  FrameReceiver rx_;
  std::uint64_t lastByteMs_ = 0;
  bool rxCheckArmed_ = false;
  FrameCounter received_;
  FrameCounter sent_;
  std::uint32_t paraStartCount_ = 0;
  std::uint32_t paraBackupCount_ = 0;
  std::uint32_t blockWrites_ = 0;
  std::uint32_t bytesReceived_ = 0;  // since power-up, for PowerCutAtByte
  std::uint32_t noiseState_ = 1;

  Awaiting awaiting_ = Awaiting::None;
  std::uint32_t announcements_ = 0;  // the latest announcement's number
  ReadBack read_;
  WriteState write_;
  std::uint32_t refusalsDone_ = 0;

  // Download session: ended by quiet time, then the run report.
  bool sessionWrites_ = false;
  int busy_ = 0;  // internal work in progress (own backup, App write, loader)
  bool paraSessionStarted_ = false;
  std::uint64_t lastTrafficMs_ = 0;
  bool runCheckArmed_ = false;

  // RAM loader and bootloader upgrade.
  link::Bytes ram_;
  link::Bytes newBootloader_;
  bool blLoaderRunning_ = false;
  std::uint32_t awaitSeq_ = 0;
  std::uint16_t copyMark_ = 0xFFFF;  // mark of an E2PROM copy, set once it is complete
};

}  // namespace tavro::sim
