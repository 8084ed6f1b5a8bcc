// platform/detached_process.h - starting a program detached: its own session, standard streams
// on /dev/null, default signals, never waited for and never left a zombie. Shared by the
// programs that start the host and the host that starts the desktop's opener.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::platform {

// What to execute, fully resolved before any fork: a threaded process may call only
// async-signal-safe functions in the child, so nothing is looked up or allocated there.
struct Launch {
  std::string program;                   // a path, as execve takes it
  std::vector<std::string> arguments;    // argv; the first is replaced by `program`
  std::vector<std::string> environment;  // "NAME=value"
};

// Starts the program and returns once it is running (its exec succeeded) or could not be;
// none on success, else "cannot start <program>: <why>".
std::optional<std::string> startDetached(const Launch& launch);

// `name` as execvp would find it: itself when it holds a "/", else the first executable file
// of that name in the absolute folders of `path` (the default search path when none).
std::optional<std::string> findProgram(std::string_view name,
                                       const std::optional<std::string>& path);

// This process's environment, as Launch::environment takes it.
std::vector<std::string> currentEnvironment();

}  // namespace nolt::platform
