#include "tests/agent/mcp_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace nolt::agent_tests {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double secondsLeft(Clock::time_point deadline) {
  return std::chrono::duration<double>(deadline - Clock::now()).count();
}

}  // namespace

MCPProcess::MCPProcess(const std::string& program,
                       const std::map<std::string, std::string>& environment) {
  // The test writes to a server that may have gone; that must fail, not end the test.
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

  std::vector<std::string> argvText{program, "mcp"};
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText;
  for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  input_ = in[1];
  output_fd_ = out[0];
  error_fd_ = err[0];
}

MCPProcess::~MCPProcess() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {input_, output_fd_, error_fd_})
    if (fd >= 0) close(fd);
}

bool MCPProcess::send(std::string_view bytes) {
  // The server answers while it reads, so keep draining its output as we write.
  while (!bytes.empty()) {
    pollfd fds[3] = {{input_, POLLOUT, 0}, {output_fd_, POLLIN, 0}, {error_fd_, POLLIN, 0}};
    if (poll(fds, 3, 30000) <= 0) return false;
    if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    if (fds[0].revents & POLLOUT) {
      ssize_t n = write(input_, bytes.data(), std::min<std::size_t>(bytes.size(), 1 << 16));
      if (n < 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if ((fds[1].revents | fds[2].revents) & (POLLIN | POLLHUP)) pump(0);
  }
  return true;
}

void MCPProcess::pump(double seconds) {
  pollfd fds[2] = {{output_fd_, POLLIN, 0}, {error_fd_, POLLIN, 0}};
  int waited = poll(fds, 2, static_cast<int>(seconds * 1000));
  if (waited <= 0) return;
  char buffer[1 << 16];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) (i == 0 ? output_ : error_).append(buffer, static_cast<std::size_t>(n));
    if (n == 0) {
      close(fds[i].fd);
      (i == 0 ? output_fd_ : error_fd_) = -1;
    }
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
    if (output_fd_ < 0 || secondsLeft(deadline) <= 0) return std::nullopt;
    pump(std::max(0.0, secondsLeft(deadline)));
  }
}

void MCPProcess::closeOutput() {
  if (output_fd_ >= 0) close(output_fd_);
  output_fd_ = -1;
}

void MCPProcess::finish(double seconds) {
  if (input_ >= 0) close(input_);
  input_ = -1;
  auto deadline = after(seconds);
  while ((output_fd_ >= 0 || error_fd_ >= 0) && secondsLeft(deadline) > 0)
    pump(std::max(0.0, secondsLeft(deadline)));
  if (pid_ <= 0 || status_) return;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (secondsLeft(deadline) <= 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    usleep(10000);
  }
  status_ = status;
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
