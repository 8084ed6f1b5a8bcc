// tests/host/host_process.h - the real nolt-host, run as a person's desktop session would run
// it, confined to a temporary HOME with a private session bus; the programs around it run with
// test_support::runProgram.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "wire/json_value.h"

namespace nolt::host_tests {

using test_support::Environment;
using test_support::Result;
using test_support::runProgram;

// A connection of our own to the host's port in `runtimeDirectory`, saying nothing yet; -1
// when it refuses.
int connectToPort(const std::string& runtimeDirectory);

// One exchange with the host serving the runtime folder `environment` names; expects it to
// answer without an error and gives its result (null when it cannot be reached).
wire::JSONValue askHost(const Environment& environment, const std::string& command,
                        wire::JSONObject arguments = {});

// nolt-host started in the background; stopped with SIGTERM (SIGKILL after 10 s) when it goes.
class HostProcess {
 public:
  HostProcess(const std::string& program, std::vector<std::string> arguments,
              const Environment& environment);
  ~HostProcess() { stop(); }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Waits until the instance record says "running" and the port takes connections.
  bool waitUntilRunning(const std::string& runtimeDirectory, double seconds = 30);
  pid_t pid() const { return process_.status() ? -1 : process_.pid(); }  // -1 once it is gone
  bool exited() { return process_.poll().has_value(); }
  void kill(int signal);  // sends it and reaps the process
  int stop();             // SIGTERM; the exit status, or -1

 private:
  test_support::Subprocess process_;
};

// Ends (SIGTERM) every nolt-host whose HOME is `home`: hosts that nolt started detached.
void stopHostsOf(const std::string& home);

}  // namespace nolt::host_tests
