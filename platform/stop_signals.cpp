#include "platform/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>

namespace nolt::platform {

int watchStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return -1;
  return signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

}  // namespace nolt::platform
