#pragma once
// The received byte stream as the window sees it: one call per byte, frames
// checked and counted, CRC errors answered, good frames dispatched; while no
// operation runs the bytes are also shown as text.

#include <cstdint>

#include "engine/context.hpp"

namespace tavro::engine {

inline constexpr std::size_t kEchoLimit = 160;  // characters of InfoText before it is cut

void OnRxByte(Context& ctx, std::uint8_t byte);

// Appends one received byte to `text` as the information area shows it.
std::string EchoByte(const std::string& text, std::uint8_t byte);
// Echoes one received byte into the information area. It appends the byte's
// character and counts the text only when someone else changed it, so an
// echo costs the same however long the text is; the result is EchoByte's.
void EchoReceivedByte(Context& ctx, std::uint8_t byte);

// Reply handlers of this unit.
void OnHello(Context& ctx);
void OnText(Context& ctx, link::ByteView payload);

// Sends MsgLinkQuery and (re)starts the link-query poll.
void SendLinkQuery(Context& ctx);

// Registers the rows of this unit: the hello and text handlers and the
// senders of the connect phase (12022, 12023, 12025).
void RegisterReceivePath(Context& ctx);

}  // namespace tavro::engine
