#pragma once
// Writing the Flash parameter files 1.dat ... N.dat one after the other:
// the start of each, the terminal's report on securing its own data, the
// stamped 512-byte header block, the data blocks, and the download record
// marked once a file's last block is accepted.

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Command 12070, and the start of each further file.
void SendParaStart(Context& ctx);
// Block gFrameNum of file StepIndex (the file is loaded on the first call);
// also the resend of 12070 and 12076.
void SendParaBlock(Context& ctx);
void OnParaDownloadState(Context& ctx, link::ByteView payload);
void OnParaBlockAck(Context& ctx, link::ByteView payload);
void OnParaDownloadErr(Context& ctx, link::ByteView payload);

void RegisterParaDownload(Context& ctx);

}  // namespace tavro::engine
