#pragma once
// Writing one resource image (the first *.rom of Data/Res) into the
// terminal's Flash before the App and data stages.

#include <cstdint>

#include "engine/context.hpp"

namespace tavro::engine {

// Command 12112 and its block sender: loads the image on the first call,
// then sends block gFrameNum.
void SendResource(Context& ctx);
// Block `number` of the loaded image.
void SendResourceBlock(Context& ctx, std::uint16_t number);
// The last block was accepted: the App or data stage (or the completion).
void OnResourceDone(Context& ctx);

void RegisterResourceDownload(Context& ctx);

}  // namespace tavro::engine
