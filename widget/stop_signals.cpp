#include "widget/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace nolt::widget {

namespace {

// A handler may only do async-signal-safe things: it writes a byte, and the event loop
// reads it.
int wakeFDs[2] = {-1, -1};

void onStopSignal(int) {
  int saved = errno;
  char byte = 0;
  [[maybe_unused]] ssize_t written = ::write(wakeFDs[1], &byte, 1);
  errno = saved;
}

}  // namespace

void quitOnStopSignals(QCoreApplication& app) {
  if (wakeFDs[0] >= 0 || ::pipe2(wakeFDs, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(wakeFDs[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char bytes[16];
    while (::read(wakeFDs[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

}  // namespace nolt::widget
