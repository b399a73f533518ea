#include "gui/stop_signals.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace tavro::gui {
namespace {

int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: the signal number goes through the pipe.
void OnStopSignal(int signal) {
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &number, 1);
}

}  // namespace

bool EndEventLoopOnStopSignals() {
  if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    return false;
  auto* notifier =
      new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    unsigned char number = 0;
    if (::read(wakeFds[0], &number, 1) == 1)
      QCoreApplication::exit(128 + number);
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace tavro::gui
