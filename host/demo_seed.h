// host/demo_seed.h - a sample library to try every program on: images drawn in code, links,
// notes and rules, two spaces and their collections.
#pragma once

#include <functional>
#include <string>

#include "host/command_handlers.h"

namespace nolt::host {

// The PNG of a sample picture; `index` chooses which.
using DemoArtwork = std::function<std::string(int index, int width, int height)>;

// Seeds the library once: does nothing when it already holds items. Returns whether it did.
bool seedDemoLibrary(HostServices services, const DemoArtwork& artwork);

}  // namespace nolt::host
