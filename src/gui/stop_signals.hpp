#pragma once
// Ctrl+C and SIGTERM (on Windows the console's Ctrl+C, Ctrl+Break and
// close) end the Qt event loop normally, so that everything the
// run made (the demo's temporary folder, the open run log) is cleaned up.

namespace tavro::gui {

// Call once, after the QApplication exists. A run ended by signal n exits
// with 128 + n. False when the handlers cannot be installed (the signals then
// end the process at once, as without this call).
bool EndEventLoopOnStopSignals();

}  // namespace tavro::gui
