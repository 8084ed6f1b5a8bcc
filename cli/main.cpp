// cli/main.cpp - nolt: runs the command its arguments name, or the agent server for `nolt mcp`.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/agent/rpc_loop.h"
#include "cli/commands/dispatch.h"
#include "cli/commands/rendering.h"
#include "cli/link/app_connection.h"
#include "platform/clock.h"
#include "platform/command_port.h"
#include "platform/environment.h"
#include "platform/host_instance.h"
#include "platform/workspace.h"

namespace {

using namespace nolt;

void printError(std::string_view text, bool terminal) {
  std::string line = "nolt: " + (terminal ? commands::terminalSafe(text) : std::string(text));
  line += '\n';
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
  // `nolt search x | head -1` ends quietly once head has gone, like any other tool, even
  // when the parent left SIGPIPE ignored. The host's socket is written without the signal.
  std::signal(SIGPIPE, SIG_DFL);

  std::unique_ptr<platform::Environment> environment = platform::makeProcessEnvironment();
  std::unique_ptr<platform::CommandPort> port = platform::makeUnixCommandPort(*environment);
  std::unique_ptr<platform::HostInstances> instances =
      platform::makeLockedInstanceProbe(*environment);
  std::unique_ptr<platform::Workspace> workspace = platform::makeDesktopWorkspace(*environment);
  std::unique_ptr<platform::Clock> clock = platform::makeSystemClock();
  link::AppConnection connection({*port, *instances, *workspace, *clock});

  bool errIsTerminal = isatty(STDERR_FILENO) == 1;
  commands::Services services{
      .send =
          [&](std::string_view command, const wire::JSONObject& arguments) {
            return connection.send(command, arguments);
          },
      .sendStreamed =
          [&](std::uint32_t length, const link::AppConnection::StreamedRequest& produce) {
            return connection.sendStreamed(length, produce);
          },
      // C's streams: nolt starts for every command, and C++'s would set up locales first.
      .out =
          [](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
          },
      .err = [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); },
      .outIsTerminal = isatty(STDOUT_FILENO) == 1,
      .errIsTerminal = errIsTerminal,
      // The agent server answers until its input ends; nolt then exits with status 0.
      .serveAgents =
          [&] {
            agent::serve(
                STDIN_FILENO, STDOUT_FILENO,
                [&](std::string_view command, const wire::JSONObject& arguments) {
                  return connection.send(command, arguments);
                },
                [&](std::uint32_t length, const link::AppConnection::StreamedRequest& produce) {
                  return connection.sendStreamed(length, produce);
                });
            std::exit(0);
          },
  };

  // Answered before the command words are read, so it needs no host and no other word.
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::fputs("nolt " NOLT_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  try {
    commands::runCommand(std::vector<std::string>(argv + 1, argv + argc), services);
  } catch (const std::exception& error) {
    printError(link::errorText(error), errIsTerminal);
    return 1;
  }
  // Output that could not be written (a full disk) is a failure, not a success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    printError(std::strerror(errno ? errno : EIO), errIsTerminal);
    return 1;
  }
  return 0;
}
