#include "tests/agent/mcp_process.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "tests/support/deadline.h"

namespace nolt::agent_tests {

using test_support::after;
using test_support::secondsLeft;

namespace {

test_support::Subprocess::Options serverOptions(
    const std::string& program, const std::map<std::string, std::string>& environment) {
  // The test writes to a server that may have gone; that must fail, not end the test.
  signal(SIGPIPE, SIG_IGN);
  test_support::Subprocess::Options options;
  options.argv = {program, "mcp"};
  options.environment = environment;
  options.input = options.output = options.error = test_support::Stream::pipe();
  return options;
}

}  // namespace

MCPProcess::MCPProcess(const std::string& program,
                       const std::map<std::string, std::string>& environment)
    : process_(serverOptions(program, environment)) {}

bool MCPProcess::send(std::string_view bytes) {
  // The server answers while it reads, so keep draining its output as we write.
  while (!bytes.empty()) {
    pollfd fds[3] = {{input(), POLLOUT, 0}, {output(), POLLIN, 0}, {error(), POLLIN, 0}};
    if (fds[0].fd < 0 || poll(fds, 3, 30000) <= 0) return false;
    if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    if (fds[0].revents & POLLOUT) {
      // No more than the pipe is sure to take: a longer write could block while the server
      // waits for us to read its output.
      ssize_t n = write(input(), bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
      if (n < 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if ((fds[1].revents | fds[2].revents) & (POLLIN | POLLHUP)) pump(0);
  }
  return true;
}

void MCPProcess::pump(double seconds) {
  pollfd fds[2] = {{output(), POLLIN, 0}, {error(), POLLIN, 0}};
  int waited = poll(fds, 2, static_cast<int>(seconds * 1000));
  if (waited <= 0) return;
  char buffer[1 << 16];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) (i == 0 ? output_ : error_).append(buffer, static_cast<std::size_t>(n));
    if (n == 0) process_.closePipe(i == 0 ? STDOUT_FILENO : STDERR_FILENO);
  }
}

std::optional<std::string> MCPProcess::readLine(double seconds) {
  auto deadline = after(seconds);
  for (;;) {
    if (auto feed = output_.find('\n'); feed != std::string::npos) {
      std::string line = output_.substr(0, feed);
      output_.erase(0, feed + 1);
      return line;
    }
    if (output() < 0 || secondsLeft(deadline) <= 0) return std::nullopt;
    pump(secondsLeft(deadline));
  }
}

void MCPProcess::closeOutput() { process_.closePipe(STDOUT_FILENO); }

void MCPProcess::finish(double seconds) {
  process_.closePipe(STDIN_FILENO);
  auto deadline = after(seconds);
  while ((output() >= 0 || error() >= 0) && secondsLeft(deadline) > 0) pump(secondsLeft(deadline));
  if (!process_.started()) return;
  if (!process_.wait(secondsLeft(deadline))) process_.kill();
  status_ = process_.status();
}

std::map<std::string, std::string> agentClientEnvironment(const std::string& home) {
  std::map<std::string, std::string> env{{"HOME", home},
                                         {"SHELL", "/bin/sh"},
                                         {"TERM", "dumb"},
                                         {"USER", "agent"},
                                         {"LOGNAME", "agent"}};
  const char* path = std::getenv("PATH");
  env["PATH"] = path ? path : "/usr/bin:/bin";
  return env;
}

}  // namespace nolt::agent_tests
