#pragma once
// Faults the simulated terminal shows on request. Each has a profile key of
// the same name in section [Faults] and the same text form on the command
// line (--fault Key=Value).

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tavro::sim {

// Which frames a fault applies to: with `nth` 0 every frame whose identifier
// is `msgId` (0: any identifier), else the nth such frame (from 1), counted
// since power-up, and the `times` - 1 after it. Text form "ID", "ID#N",
// "ID#N*K" or "#N".
struct FrameMatch {
  bool enabled = false;
  std::uint16_t msgId = 0;
  std::uint32_t nth = 0;
  std::uint32_t times = 1;
};

// An error reply sent instead of the normal answer: text form "STATUS" or
// "STATUS#N" (only the nth request of its kind).
struct ErrorReply {
  bool enabled = false;
  std::uint16_t status = 0;
  std::uint32_t nth = 0;
};

// The transfers a power cut can interrupt.
enum class TransferKind { None, App, Para, E2, Resource, E2Copy, Marker, Bootloader, Ram };
const char* TransferName(TransferKind kind);
// Case does not matter.
bool ParseTransferName(const std::string& name, TransferKind& out);

// When, around the matching block, the power goes.
enum class PowerCutMoment {
  kOnArrival,   // the block is neither stored nor acknowledged
  kAfterStore,  // stored (and saved), but the acknowledgement never leaves
  kAfterAck,    // stored and acknowledged; the power goes once the ack is out
};
const char* PowerCutMomentName(PowerCutMoment moment);
bool ParsePowerCutMoment(const std::string& name, PowerCutMoment& out);

struct Faults {
  // After the matching frame from the PC the terminal hangs: it neither
  // handles nor answers anything for `silenceMs` (0: until power-down).
  FrameMatch silenceAfter;
  std::uint32_t silenceMs = 0;
  // The matching frame is taken as cut off: `rxTimeoutBurst` MsgRxTimeout
  // frames instead of its answer.
  FrameMatch rxTimeoutOn;
  std::uint32_t rxTimeoutBurst = 1;
  // The serial adapter disappears after the matching frame.
  FrameMatch adapterRemovalAfter;
  // Replies sent with a broken CRC, or not sent at all.
  FrameMatch crcErrorReply;
  FrameMatch dropReply;
  // The matching reply leaves twice, one right after the other.
  FrameMatch repeatReply;
  // `garbageBytes` bytes of line noise follow the matching reply.
  FrameMatch garbageAfter;
  std::uint32_t garbageBytes = 0;
  // The terminal restarts on its own after the matching frame from the PC,
  // as a loose battery contact or a watchdog would make it; once.
  FrameMatch restartAfter;
  // The power goes as the terminal receives its nth byte since power-up
  // (0: never), wherever that byte lies in a frame.
  std::uint32_t powerCutAtByte = 0;
  // Block `refuseBlock` of transfers carried by `refuseMsgId` (0: any) is
  // refused `refuseTimes` times.
  bool refuseEnabled = false;
  std::uint16_t refuseMsgId = 0;
  std::uint16_t refuseBlock = 0;
  std::uint32_t refuseTimes = 1;
  // Read-back block `repeatBlock` of `repeatMsgId` (0: any) is sent twice.
  bool repeatEnabled = false;
  std::uint16_t repeatMsgId = 0;
  std::uint16_t repeatBlock = 0;
  // Error replies.
  ErrorReply paraDownloadErr;  // MsgParaDownloadErr on MsgParaDownloadStart
  ErrorReply paraIntegErr;     // MsgParaIntegErr on a parameter backup start
  ErrorReply paraUploadErr;    // MsgParaUploadErr on a parameter backup start
  ErrorReply flashReadErr;     // MsgFlashReadErr on MsgFlashRead
  ErrorReply e2ReadErr;        // MsgE2ReadErr on MsgE2Read
  ErrorReply flashWriteErr;    // MsgFlashWriteAck with status 0 or 1 on a block
  // The terminal's own data backup before an App download fails (state 4).
  bool dataBackupFails = false;
  // Final roll-back status forced (-1: the terminal's own result).
  int goBackResult = -1;
  // Power is lost at block `powerCutBlock` of the named transfer (parameter
  // area `powerCutArea` only, -1: any), at `powerCutAt`; earlier blocks are
  // kept. With a moment after the store only a block the terminal takes
  // counts: a refused or repeated one leaves the cut armed.
  TransferKind powerCut = TransferKind::None;
  int powerCutArea = -1;
  std::uint16_t powerCutBlock = 0;
  PowerCutMoment powerCutAt = PowerCutMoment::kOnArrival;
};

// Sets one fault from its key and text; false with `error` set when either
// is not understood.
bool SetFault(Faults& faults, const std::string& key, const std::string& value, std::string& error);
// The faults that are set, as key/text pairs in a fixed order.
std::vector<std::pair<std::string, std::string>> FaultEntries(const Faults& faults);

// Counts frames by identifier and decides whether a match applies.
class FrameCounter {
 public:
  // Counts `msgId` and returns whether `match` applies to this frame.
  void Count(std::uint16_t msgId);
  bool Matches(const FrameMatch& match, std::uint16_t msgId) const;
  std::uint32_t CountOf(std::uint16_t msgId) const;
  std::uint32_t Total() const { return total_; }
  void Reset() {
    counts_.clear();
    total_ = 0;
  }

 private:
  std::map<std::uint16_t, std::uint32_t> counts_;
  std::uint32_t total_ = 0;
};

}  // namespace tavro::sim
