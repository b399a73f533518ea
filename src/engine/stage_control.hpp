#pragma once
// Starting commands, the busy/idle switch of the window, the common endings
// of an operation and the choice of the next download stage.

#include <cstdint>

#include "engine/context.hpp"

namespace tavro::engine {

inline constexpr std::uint32_t kProgressFull = 4096;

// Why an operation ran out of retries; the word that heads the message.
enum RetryKind : int { kRetryFlash = 0, kRetryTime = 1, kRetryCrc = 2, kRetryE2 = 3 };

// Starts the command in CmdID: resets, checks port, range and link, then
// sends its first frame and arms the answer time-out (12090 completes).
void StartCommand(Context& ctx);

// Busy (idle = false) disables the operation controls; idle (true) stops the
// operation timers and enables them again.
void SetBusy(Context& ctx, bool idle);

// Ends the operation after too many retries of one kind.
void ReportRetryOverflow(Context& ctx, int kind);

// The one rule of every block acknowledgement: a refusal sends the same block
// again, at most five sends in all; an acceptance resets the count. Returns
// true when the block was accepted (the caller moves on).
bool ApplyBlockAck(Context& ctx, bool accepted, int kind, const std::function<void()>& resend);

// Reply handlers of this unit.
void OnRxTimeout(Context& ctx);
void OnLinkQueryReply(Context& ctx, link::ByteView payload);

// After the link query (answered or given up): the file-set check, then the
// App information.
void ContinueAfterLinkQuery(Context& ctx);

void StartHandshake(Context& ctx);
void NextDownloadStage(Context& ctx, bool afterResources = false);

// Sends the current block again by CmdID through the registered block
// senders; false when the command has none.
bool ResendBlock(Context& ctx);

// Registers the rows of this unit in the handler tables.
void RegisterStageControl(Context& ctx);

}  // namespace tavro::engine
