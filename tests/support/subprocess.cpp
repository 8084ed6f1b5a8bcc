#include "tests/support/subprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "tests/support/deadline.h"

extern char** environ;

namespace nolt::test_support {

namespace {

// The descriptors, file actions and attributes of one spawn, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    closeChildEnds();
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  void closeChildEnds() {
    for (int fd : childEnds) ::close(fd);
    childEnds.clear();
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  std::vector<int> childEnds;  // the pipe ends that only the child keeps
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

Subprocess::Subprocess(Options options) : ownProcessGroup_(options.ownProcessGroup) {
  if (options.argv.empty()) {
    failure_ = "no program";
    return;
  }
  std::string program = options.argv[0];
  if (program.find('/') == std::string::npos) {
    std::optional<std::string> found = findOnPath(program);
    if (!found) {
      failure_ = program + " is not on PATH";
      return;
    }
    program = *found;
  }

  SpawnSetup setup;
  std::map<int, Stream> streams = std::move(options.extra);
  streams[0] = std::move(options.input);
  streams[1] = std::move(options.output);
  streams[2] = std::move(options.error);
  for (const auto& [target, stream] : streams) {
    int status = 0;
    switch (stream.kind) {
      case Stream::Kind::inherit:
        break;
      case Stream::Kind::null:
        status = posix_spawn_file_actions_addopen(&setup.actions, target, "/dev/null",
                                                  target == 0 ? O_RDONLY : O_WRONLY, 0);
        break;
      case Stream::Kind::file:
        status = posix_spawn_file_actions_addopen(&setup.actions, target, stream.path.c_str(),
                                                  O_WRONLY | O_CREAT | O_TRUNC, 0600);
        break;
      case Stream::Kind::descriptor:
        status = posix_spawn_file_actions_adddup2(&setup.actions, stream.fd, target);
        break;
      case Stream::Kind::pipe: {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
          status = errno;
          break;
        }
        bool childReads = target == 0;
        pipes_[target] = ends[childReads ? 1 : 0];
        setup.childEnds.push_back(ends[childReads ? 0 : 1]);
        status = posix_spawn_file_actions_adddup2(&setup.actions, setup.childEnds.back(), target);
        break;
      }
    }
    if (status != 0) {
      failure_ = std::string("cannot set up descriptor ") + std::to_string(target) + ": " +
                 std::strerror(status);
      return;  // the pipes made so far close with this object
    }
  }
  if (!options.workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingDirectory.c_str());
  // The child starts as from a shell: a SIGPIPE the test ignores is not ignored there.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGDEF;
  if (ownProcessGroup_) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&setup.attributes, 0);
  }
  posix_spawnattr_setflags(&setup.attributes, flags);

  std::vector<std::string> argvText = options.argv, envText;
  for (const auto& [name, value] : options.environment) envText.push_back(name + "=" + value);
  std::vector<char*> argv = pointers(argvText), envp = pointers(envText);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(),
                            envp.data());
  if (spawned != 0) {
    failure_ = "cannot start " + program + ": " + std::strerror(spawned);
    return;
  }
  pid_ = pid;
}

Subprocess::~Subprocess() {
  if (started() && !status_) kill();
  for (const auto& [target, fd] : pipes_) ::close(fd);
}

int Subprocess::pipe(int childFD) const {
  auto it = pipes_.find(childFD);
  return it == pipes_.end() ? -1 : it->second;
}

void Subprocess::closePipe(int childFD) {
  auto it = pipes_.find(childFD);
  if (it == pipes_.end()) return;
  ::close(it->second);
  pipes_.erase(it);
}

Subprocess::Run Subprocess::communicate(std::string_view input, double timeout) {
  Run run;
  if (!started()) return run;
  auto deadline = after(timeout);
  if (pipe(0) >= 0) {
    if (input.empty()) {
      closePipe(0);
    } else {
      // A child that ends before it has read everything must not end the test too.
      ::signal(SIGPIPE, SIG_IGN);
      fcntl(pipe(0), F_SETFL, fcntl(pipe(0), F_GETFL) | O_NONBLOCK);
    }
  }
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<int> targets;
    for (int target : {0, 1, 2}) {
      if (pipe(target) < 0) continue;
      fds.push_back({pipe(target), static_cast<short>(target == 0 ? POLLOUT : POLLIN), 0});
      targets.push_back(target);
    }
    if (fds.empty()) break;
    int left = millisecondsLeft(deadline);
    if (left == 0) {
      run.timedOut = true;
      break;
    }
    int ready = ::poll(fds.data(), fds.size(), left);
    if (ready < 0 && errno != EINTR) break;
    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      if (targets[i] == 0) {
        ssize_t n =
            (fds[i].revents & POLLOUT) ? ::write(fds[i].fd, input.data(), input.size()) : -1;
        if (n > 0) input.remove_prefix(static_cast<std::size_t>(n));
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || input.empty()) closePipe(0);
        continue;
      }
      char buffer[65536];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0)
        (targets[i] == 1 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        closePipe(targets[i]);
    }
  }
  if (!run.timedOut && !wait(millisecondsLeft(deadline) / 1000.0)) run.timedOut = true;
  if (run.timedOut) kill();
  run.status = status_;
  return run;
}

std::optional<int> Subprocess::poll() {
  if (!started() || status_) return status_;
  int status = 0;
  pid_t done;
  do done = waitpid(pid_, &status, WNOHANG);
  while (done < 0 && errno == EINTR);
  if (done == pid_) status_ = status;
  if (done < 0) status_ = -1;  // reaped elsewhere: nothing left to wait for
  return status_;
}

std::optional<int> Subprocess::wait(double timeout) {
  if (!waitUntil(
          timeout, [&] { return !started() || poll(); }, 0.005))
    return std::nullopt;
  return status_;
}

void Subprocess::signal(int signal) {
  if (started() && !status_) ::kill(pid_, signal);
}

std::optional<int> Subprocess::stop(double grace) {
  signal(SIGTERM);
  if (wait(grace)) return status_;
  return kill();
}

std::optional<int> Subprocess::kill() {
  if (!started() || status_) return status_;
  ::kill(ownProcessGroup_ ? -pid_ : pid_, SIGKILL);
  int status = 0;
  pid_t done;
  do done = waitpid(pid_, &status, 0);
  while (done < 0 && errno == EINTR);
  status_ = done == pid_ ? status : -1;
  return status_;
}

Result runToEnd(Subprocess::Options options, std::string_view input, double timeout) {
  Subprocess program(std::move(options));
  Subprocess::Run run = program.communicate(input, timeout);
  return {run.timedOut ? -1 : exitCode(run.status), std::move(run.out), std::move(run.err)};
}

Result runProgram(const std::vector<std::string>& argv, const Environment& environment,
                  std::string_view input, double timeout) {
  Subprocess::Options options;
  options.argv = argv;
  options.environment = environment;
  options.input = options.output = options.error = Stream::pipe();
  return runToEnd(std::move(options), input, timeout);
}

int exitCode(std::optional<int> waitStatus) {
  if (!waitStatus || !WIFEXITED(*waitStatus)) return -1;
  return WEXITSTATUS(*waitStatus);
}

int shellStatus(std::optional<int> waitStatus) {
  if (waitStatus && WIFSIGNALED(*waitStatus)) return 128 + WTERMSIG(*waitStatus);
  return exitCode(waitStatus);
}

std::optional<std::string> findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

Environment currentEnvironment() {
  Environment variables;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text = *entry;
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return variables;
}

void passSanitizerSettings(Environment& environment) {
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"})
    if (const char* value = std::getenv(name)) environment[name] = value;
}

}  // namespace nolt::test_support
