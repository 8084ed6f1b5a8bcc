// host/desktop_opener.h - opening files and addresses with the desktop's opener (xdg-open),
// started detached so the host never waits for it and leaves no zombie.
#pragma once

#include <memory>
#include <string>

#include "host/opener.h"

namespace nolt::host {

// `program` is the opener to run with the target as its one argument.
std::unique_ptr<Opener> makeDesktopOpener(std::string program = "xdg-open");

}  // namespace nolt::host
