#pragma once
// Every user operation, one row each: the window, the console and the close
// question read the rows, so adding an operation is its unit, one row here
// and its language keys.

#include <cstdint>
#include <span>

#include "engine/context.hpp"

namespace tavro::operations {

// Where the window offers an operation.
enum class Placement { kButton, kToolsMenu };

// What stopping the operation midway leaves on the terminal.
enum class Interruption {
  kNothingWritten,  // it only reads
  kPartlyWritten,   // the terminal may be left half written
  kResumable,       // half written, and the next Upgrade resumes it
};

struct OperationRow {
  int controlId = 0;
  const char* captionKey = "";      // language key of its button or menu entry
  const char* defaultCaption = "";  // shown until the language file's texts arrive
  Placement placement = Placement::kButton;
  const char* command = "";  // the console's command
  const char* commandHelp = "";
  bool needsConnection = true;       // the console connects (View device information) first
  std::uint32_t consoleLimitMs = 0;  // the console gives up after this; the terminal's
                                     // own time-outs end a stalled transfer long before
  const char* runningKey = "";       // the close question's "what runs" text
  Interruption interruption = Interruption::kNothingWritten;
  void (*start)(engine::Context&) = nullptr;
};

// The rows, in the order the window shows them.
std::span<const OperationRow> OperationRows();
// The row of the operation `controlId` starts; null for any other control.
const OperationRow* FindOperationRow(int controlId);
// The row whose console command is `command`; null for none.
const OperationRow* FindOperationCommand(std::string_view command);

// Registers the reply handlers and commands every operation shares and the
// fallback operation.
void RegisterOperations(engine::Context& ctx);

}  // namespace tavro::operations
