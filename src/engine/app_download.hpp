#pragma once
// Writing a new App into the terminal: the start, the terminal's report on
// securing its own data, the header block with the App length and the
// download time, the data blocks, and the wait while the terminal writes.

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Folder of the App image for this terminal's generation.
std::string AppDownloadFolder(const Context& ctx);

// Command 12055.
void SendAppStart(Context& ctx);
// Block gFrameNum of the App (the image is loaded on the first call); also
// the resend of 12055 and 12060.
void SendAppBlock(Context& ctx);
void OnAppBlockAck(Context& ctx, link::ByteView payload);
void OnDataBackupState(Context& ctx, link::ByteView payload);

void RegisterAppDownload(Context& ctx);

}  // namespace tavro::engine
