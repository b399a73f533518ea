#pragma once
// The order of a download's stages (resources, App, parameter data,
// completion) and what every transfer stage shares: loading the image it
// sends, and ending the operation when a file or the terminal fails it.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/context.hpp"
#include "link/time_stamp.hpp"

namespace tavro::engine {

// Starts the next stage: resources (unless they are done), the App when
// DownloadApp is set, the parameter data when DownloadData is set (E2PROM or
// Flash by generation), else the completion.
void NextDownloadStage(Context& ctx, bool afterResources = false);

// The data stage of this terminal: 12130 (E2PROM) or 12070 (Flash files).
std::uint32_t DataStageCommand(const Context& ctx);

// Ends the running transfer: the window idle, the buffers released and the
// message in an error box.
void EndTransfer(Context& ctx, const std::string& message);

// Reads `path` whole into sendImage, behind `leadingZeros` zero bytes. A file
// that cannot be opened, cannot be read, is empty or is shorter than
// `minimumSize` ends the transfer with the path and F_NotExist or
// F_ReadInErr; false then.
bool LoadSendImage(Context& ctx, const std::string& path, std::size_t leadingZeros = 0,
                   std::size_t minimumSize = 1);

// The first file of `folder` matching `pattern`, as a path; nullopt for none.
std::optional<std::string> FirstFileIn(const std::string& folder, const std::string& pattern);

// The silence watch's timer, restarted when a transfer's first block goes out.
void RestartBlockTimer(Context& ctx);

// The local time of the running operation's start, for the header stamps.
link::TimeStamp OperationTimeStamp(const Context& ctx);

}  // namespace tavro::engine
