// platform/directories.h - where the shared container and the host's runtime files live.
// Resolving a folder creates nothing and does not check that it exists.
#pragma once

#include <optional>
#include <string>

#include "platform/environment.h"

namespace nolt::platform {

// $XDG_DATA_HOME/group.app.nolt, else $HOME/.local/share/group.app.nolt; each variable counts
// only when it holds an absolute path.
std::optional<std::string> groupContainerPath(Environment& env);

// $XDG_RUNTIME_DIR, else /run/user/<uid> when this user owns it, else the group container.
// Agent clients often start programs with only HOME and PATH set, and must still find a host
// started in the desktop session, hence the /run/user fallback.
std::optional<std::string> runtimeDirectory(Environment& env);

// None when `path` is a folder this user owns and nobody else can write; else why it can't
// hold the host's port and instance record (others could put links or files at their names).
std::optional<std::string> unsafeRuntimeFolder(const std::string& path);

}  // namespace nolt::platform
