#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "gui/stop_signals.hpp"

namespace tavro::gui {
namespace {

// Runs on a thread of its own that the system starts: the exit is queued to
// the event loop's thread. Ctrl+C exits as SIGINT would, with 128 + 2.
BOOL WINAPI OnConsoleStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] { QCoreApplication::exit(128 + 2); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

bool EndEventLoopOnStopSignals() {
  return ::SetConsoleCtrlHandler(OnConsoleStop, TRUE) != 0;
}

}  // namespace tavro::gui
