// tests/agent/mcp_process.h - `nolt mcp` started as an agent client starts it: its standard
// input and output on pipes, its environment given whole.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/subprocess.h"

namespace nolt::agent_tests {

class MCPProcess {
 public:
  // Starts `program` with the arguments "mcp"; nothing of the test's environment is inherited.
  MCPProcess(const std::string& program, const std::map<std::string, std::string>& environment);
  MCPProcess(const MCPProcess&) = delete;
  MCPProcess& operator=(const MCPProcess&) = delete;

  bool started() const { return process_.started(); }
  // Writes bytes to the server's input; false when it cannot take them.
  bool send(std::string_view bytes);
  // The next line of output without its line feed; none at its end or after `seconds`.
  std::optional<std::string> readLine(double seconds = 30);
  // Stops reading the server's output, as a client that has gone away.
  void closeOutput();
  // Ends the server's input, reads what is left of its output and waits for it to exit.
  void finish(double seconds = 30);

  // Output not yet taken by readLine(), and everything written to standard error.
  const std::string& remainingOutput() const { return output_; }
  const std::string& errorOutput() const { return error_; }
  // The wait status once finish() has reaped the process.
  std::optional<int> status() const { return status_; }

 private:
  // Moves what both pipes hold into the buffers, waiting up to `seconds` for something.
  void pump(double seconds);

  int input() const { return process_.pipe(0); }
  int output() const { return process_.pipe(1); }
  int error() const { return process_.pipe(2); }

  test_support::Subprocess process_;
  std::string output_, error_;
  std::optional<int> status_;
};

// HOME, PATH, SHELL, TERM, USER and LOGNAME only: what agent clients give the servers they
// start. PATH is the test's own.
std::map<std::string, std::string> agentClientEnvironment(const std::string& home);

}  // namespace nolt::agent_tests
