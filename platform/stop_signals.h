// platform/stop_signals.h - SIGTERM and SIGINT as a descriptor, for servers that stop cleanly.
#pragma once

namespace nolt::platform {

// Blocks both signals in the calling thread, so every thread started later has them blocked
// too, and returns a descriptor that becomes readable when one arrives; -1 when it cannot.
// Call it before starting any thread.
int watchStopSignals();

}  // namespace nolt::platform
