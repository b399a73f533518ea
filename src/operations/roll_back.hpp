#pragma once
// Roll back: the terminal returns to the App it keeps as its backup. Asked
// for from the window's menu or the console, after a confirmation, on a
// connected terminal.

#include <string>

#include "engine/context.hpp"

namespace tavro::operations {

// The confirmation text: the language file's when it has one.
std::string RollBackQuestion(engine::Context& ctx);

// Menu action "Roll back to the backup App".
void StartRollBack(engine::Context& ctx);

}  // namespace tavro::operations
