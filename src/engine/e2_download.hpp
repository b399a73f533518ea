#pragma once
// Writing the E2PROM image E2.dat: first, when asked, its copy into Flash
// (marked as a valid copy), then the E2PROM itself; and the short marker
// write in Flash that a download makes before it reads the App information.
// The Flash writes share their acknowledgement with the resource download.

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Command 12130: the E2PROM write (or the completion, or the Flash copy
// first); also its block sender.
void SendE2Data(Context& ctx);
void OnE2WriteAck(Context& ctx, link::ByteView payload);
// Command 12500: E2.dat into the Flash copy area.
void SendFlashCopy(Context& ctx);
// Command 12110: the 44-byte marker.
void SendFlashMarker(Context& ctx);
// Acknowledgement of every Flash write block (12110, 12112, 12500).
void OnFlashWriteAck(Context& ctx, link::ByteView payload);

// E2.dat as it is sent: mark, file length and the operation's time in its
// header, bytes 25..31 zero. The image must hold the 32-byte header.
void StampE2Header(link::Bytes& image, std::uint16_t mark, const link::TimeStamp& when);

void RegisterE2Download(Context& ctx);

}  // namespace tavro::engine
