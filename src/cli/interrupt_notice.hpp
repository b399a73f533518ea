#pragma once
// Ctrl+C (and SIGTERM; on Windows also Ctrl+Break and closing the console)
// while an operation runs: the console says what stopping it leaves, as the
// window's close question does, then ends at once with 128 + 2.

#include <string>

namespace tavro::cli {

// Installs the handler once; later calls only replace the text. An empty
// text ends the process silently, as without a handler.
void SayOnInterrupt(const std::string& text);

}  // namespace tavro::cli
