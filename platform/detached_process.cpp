#include "platform/detached_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

extern char** environ;

namespace nolt::platform {

namespace {

constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

std::string errnoText(int err) { return std::generic_category().message(err); }

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Why a started child could not become the program; written to the parent through a pipe.
struct ChildFailure {
  int stage;  // 0 fork, 1 /dev/null, 2 exec
  int error;
};

// Runs in the children of a threaded process: async-signal-safe calls only.
[[noreturn]] void reportAndExit(int pipeOut, int stage) {
  ChildFailure failure{stage, errno};
  ssize_t ignored = write(pipeOut, &failure, sizeof failure);
  (void)ignored;
  _exit(127);
}

[[noreturn]] void becomeProgram(char* const* argv, char* const* envp, int pipeOut) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // Ignored signals would stay ignored across exec; the host starts with the defaults.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &defaults, nullptr);
  int null = ::open("/dev/null", O_RDWR);
  if (null < 0) reportAndExit(pipeOut, 1);
  for (int fd = 0; fd <= 2; ++fd)
    if (null != fd && dup2(null, fd) < 0) reportAndExit(pipeOut, 1);
  if (null > 2) close(null);
  // Descriptors the caller left inheritable (a terminal's, a test runner's) stay with it.
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  execve(argv[0], argv, envp);
  reportAndExit(pipeOut, 2);
}

}  // namespace

std::optional<std::string> startDetached(const Launch& launch) {
  std::vector<char*> argv;
  for (const std::string& a : launch.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv[0] = const_cast<char*>(launch.program.c_str());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : launch.environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return "cannot start " + launch.program + ": " + errnoText(errno);
  pid_t child = fork();
  if (child == 0) {
    // The intermediate child leaves at once, so the program is adopted by init (or the
    // session's subreaper) and never becomes our zombie; its own session keeps it from
    // the terminal and from signals aimed at our process group.
    close(pipeFds[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild < 0) reportAndExit(pipeFds[1], 0);
    if (grandchild > 0) _exit(0);
    becomeProgram(argv.data(), envp.data(), pipeFds[1]);
  }
  int forkError = errno;
  close(pipeFds[1]);
  if (child < 0) {
    close(pipeFds[0]);
    return "cannot start " + launch.program + ": " + errnoText(forkError);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The write end closes on a successful exec; otherwise a failure report arrives first.
  ChildFailure failure{};
  std::size_t have = 0;
  while (have < sizeof failure) {
    ssize_t n = read(pipeFds[0], reinterpret_cast<char*>(&failure) + have, sizeof failure - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    have += static_cast<std::size_t>(n);
  }
  close(pipeFds[0]);
  if (have == sizeof failure)
    return "cannot start " + launch.program + ": " + errnoText(failure.error);
  if (have != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "cannot start " + launch.program;
  return std::nullopt;
}

std::optional<std::string> findProgram(std::string_view name,
                                       const std::optional<std::string>& path) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) return std::string(name);
  std::string_view list = path ? std::string_view(*path) : kDefaultPath;
  for (;;) {
    std::size_t colon = list.find(':');
    std::string_view dir = list.substr(0, colon);
    // Relative entries would depend on the working directory.
    if (!dir.empty() && dir[0] == '/') {
      std::string candidate = std::string(dir) + "/" + std::string(name);
      if (isExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) return std::nullopt;
    list.remove_prefix(colon + 1);
  }
}

std::vector<std::string> currentEnvironment() {
  std::vector<std::string> environment;
  for (char** e = environ; e && *e; ++e) environment.emplace_back(*e);
  return environment;
}

}  // namespace nolt::platform
