#pragma once
// Starting commands, the busy/idle switch of the window and the common
// endings of an operation.

#include <cstdint>

#include "engine/context.hpp"

namespace tavro::engine {

inline constexpr std::uint32_t kProgressFull = 4096;

// Why an operation ran out of retries; the word that heads the message.
enum class RetryKind { kFlash, kTime, kCrc, kE2 };

// Starts the command in CmdID: resets, checks port, range and link, then
// sends its first frame and arms the answer time-out. A command registered
// as one that awaits no answer (the completion) runs its action instead.
void StartCommand(Context& ctx);

enum class WindowState { kIdle, kBusy };

// Busy disables the operation controls. Idle stops the operation timers,
// enables the controls again and ends the running operation.
void SetBusy(Context& ctx, WindowState state);

// Ends the operation after too many retries of one kind.
void ReportRetryOverflow(Context& ctx, RetryKind kind);

// The one rule of every block acknowledgement: a refusal sends the same block
// again, at most five sends in all; an acceptance resets the count. Returns
// true when the block was accepted (the caller moves on).
bool ApplyBlockAck(Context& ctx, bool accepted, RetryKind kind,
                   const std::function<void()>& resend);

// Reply handlers of this unit.
void OnRxTimeout(Context& ctx);
void OnLinkQueryReply(Context& ctx, link::ByteView payload);

// After the link query (answered or given up): the running operation's
// file-set check, then the App information.
void ContinueAfterLinkQuery(Context& ctx);

void StartHandshake(Context& ctx);

// Sends the current block again by CmdID through the registered block
// senders; false when the command has none.
bool ResendBlock(Context& ctx);

// Registers the rows of this unit in the handler tables.
void RegisterStageControl(Context& ctx);

}  // namespace tavro::engine
