// host/demo_seed.h - a sample library to try every program on: images drawn in code, links,
// notes and rules, two spaces and their collections.
#pragma once

#include "host/command_handlers.h"

namespace nolt::host {

// Seeds the library once: does nothing when it already holds items. Returns whether it did.
bool seedDemoLibrary(HostServices services);

}  // namespace nolt::host
