#include "tests/host/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace nolt::host_tests {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::string> environmentLines(const Environment& environment) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : environment) lines.push_back(name + "=" + value);
  return lines;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

pid_t spawn(const std::vector<std::string>& argv, const Environment& environment, int in, int out,
            int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<std::string> args = argv, env = environmentLines(environment);
  std::vector<char*> argp = pointers(args), envp = pointers(env);
  pid_t pid = -1;
  if (posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

Result runProgram(const std::vector<std::string>& argv, const Environment& environment,
                  std::string_view input, double timeout) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return {};
  pid_t pid = spawn(argv, environment, in[0], out[1], err[1]);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  Result result;
  // Input first: the programs here read all of it before they write much.
  std::string_view rest = input;
  while (pid > 0 && !rest.empty()) {
    ssize_t n = write(in[1], rest.data(), rest.size());
    if (n <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  close(in[1]);
  auto deadline = Clock::now() + std::chrono::duration<double>(timeout);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0 && Clock::now() < deadline) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      char buffer[65536];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(out[0]);
  close(err[0]);
  if (pid <= 0) return result;
  if (open > 0) ::kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = open > 0 ? -1 : exitStatus(status);
  return result;
}

HostProcess::HostProcess(const std::string& program, std::vector<std::string> arguments,
                         const Environment& environment) {
  arguments.insert(arguments.begin(), program);
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  pid_ = spawn(arguments, environment, null, null, 2);
  close(null);
}

HostProcess::~HostProcess() { stop(); }

bool HostProcess::waitUntilRunning(const std::string& runtime, double seconds) {
  auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline && pid_ > 0) {
    std::ifstream record(runtime + "/app.nolt.Nolt.instance");
    std::string word;
    record >> word;
    if (word == "running" && fs::exists(runtime + "/group.app.nolt.cli")) return true;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void HostProcess::kill(int signal) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

int HostProcess::stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  auto deadline = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  return exitStatus(status);
}

void stopHostsOf(const std::string& home) {
  std::string wanted = "HOME=" + home;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
    if (ec || exe.filename() != "nolt-host") continue;
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable != wanted) continue;
      ::kill(std::stoi(name), SIGTERM);
      break;
    }
  }
}

}  // namespace nolt::host_tests
