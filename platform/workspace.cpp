#include "platform/workspace.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "platform/desktop_entry.h"
#include "platform/environment.h"

extern char** environ;

namespace nolt::platform {

namespace {

// Desktop entries are a few hundred bytes; this only keeps a runaway file out of memory.
constexpr off_t kMaxDesktopEntryBytes = 1 << 20;
constexpr std::string_view kDefaultDataDirs = "/usr/local/share:/usr/share";
constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

using Completion = std::function<void(std::optional<std::string>)>;

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool isAbsolute(const std::optional<std::string>& path) {
  return path && !path->empty() && (*path)[0] == '/';
}

std::string errnoText(int err) { return std::generic_category().message(err); }

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isExecutableFile(const std::string& path) {
  return isRegularFile(path) && access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> splitPathList(std::string_view list) {
  std::vector<std::string> parts;
  while (true) {
    std::size_t colon = list.find(':');
    std::string_view part = list.substr(0, colon);
    // Relative entries would depend on the working directory; the XDG rules ignore them.
    if (!part.empty() && part[0] == '/') parts.emplace_back(part);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return parts;
}

// The whole file, or the reason it cannot be read.
std::variant<std::string, std::string> readSmallFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return std::variant<std::string, std::string>(std::in_place_index<1>, errnoText(errno));
  struct stat st {};
  std::string text;
  int err = 0;
  if (fstat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode) || st.st_size > kMaxDesktopEntryBytes) {
    err = EINVAL;
  } else {
    char buffer[4096];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) err = errno;
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
      if (text.size() > static_cast<std::size_t>(kMaxDesktopEntryBytes)) {
        err = EFBIG;
        break;
      }
    }
  }
  close(fd);
  if (err) return std::variant<std::string, std::string>(std::in_place_index<1>, errnoText(err));
  return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(text));
}

// What to execute, fully resolved before any fork.
struct Launch {
  std::string program;
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
};

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

class DesktopWorkspace final : public Workspace {
 public:
  explicit DesktopWorkspace(Environment& env) : env_(env) {}

  std::optional<std::string> ownExecutablePath() override {
    std::string buffer(256, '\0');
    while (buffer.size() <= 65536) {
      ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (n < 0) return std::nullopt;
      if (static_cast<std::size_t>(n) < buffer.size()) {
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
      }
      buffer.resize(buffer.size() * 2);
    }
    return std::nullopt;
  }

  std::optional<Application> applicationFor(std::string_view bundleID) override {
    if (bundleID.empty() || bundleID.find('/') != std::string_view::npos) return std::nullopt;
    std::vector<std::string> folders;
    std::optional<std::string> dataHome = env_.variable("XDG_DATA_HOME");
    std::optional<std::string> home = env_.variable("HOME");
    if (isAbsolute(dataHome))
      folders.push_back(*dataHome);
    else if (isAbsolute(home))
      folders.push_back(*home + "/.local/share");
    std::optional<std::string> dataDirs = env_.variable("XDG_DATA_DIRS");
    for (std::string& dir :
         splitPathList(dataDirs && !dataDirs->empty() ? *dataDirs : kDefaultDataDirs))
      folders.push_back(std::move(dir));
    for (const std::string& folder : folders) {
      std::string candidate = folder + "/applications/" + std::string(bundleID) + ".desktop";
      if (isRegularFile(candidate)) return Application{candidate};
    }
    return std::nullopt;
  }

  void openQuietly(const Application& app, Completion completion) override {
    std::variant<Launch, std::string> prepared = prepare(app);
    auto run = [prepared = std::move(prepared), completion = std::move(completion)]() {
      if (const std::string* error = std::get_if<std::string>(&prepared))
        completion(*error);
      else
        completion(startDetached(std::get<Launch>(prepared)));
    };
    try {
      std::thread(run).detach();
    } catch (const std::exception&) {
      // Without a thread the caller would wait for a completion that never comes; running it
      // here, before the caller waits, still delivers it exactly once.
      run();
    }
  }

 private:
  std::variant<Launch, std::string> prepare(const Application& app) {
    std::string path = app.path;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto failure = [&](const std::string& why) {
      return std::variant<Launch, std::string>(std::in_place_index<1>,
                                               "cannot start " + path + ": " + why);
    };
    struct stat st {};
    if (path.empty()) return failure(errnoText(ENOENT));
    if (stat(path.c_str(), &st) != 0) return failure(errnoText(errno));

    Launch launch;
    if (S_ISDIR(st.st_mode) && endsWith(path, ".app")) {
      std::string name = path.substr(path.rfind('/') + 1);
      launch.program = path + "/Contents/MacOS/" + name.substr(0, name.size() - 4);
      launch.arguments = {launch.program};
    } else if (S_ISREG(st.st_mode) && endsWith(path, ".desktop")) {
      auto text = readSmallFile(path);
      if (text.index() == 1) return failure(std::get<1>(text));
      std::optional<std::string> exec = desktopEntryValue(std::get<0>(text), "Exec");
      if (!exec) return failure("the desktop entry has no Exec line");
      ExecCommand command = parseExecLine(*exec);
      if (command.error) return failure(*command.error);
      launch.arguments = std::move(command.arguments);
      std::optional<std::string> program = findProgram(launch.arguments.front());
      if (!program) return failure(launch.arguments.front() + " is not an executable in PATH");
      launch.program = *program;
    } else {
      return failure("neither an .app folder nor a .desktop file");
    }
    if (!isExecutableFile(launch.program))
      return failure(launch.program + " is not an executable file");
    for (char** e = environ; e && *e; ++e) launch.environment.emplace_back(*e);
    return launch;
  }

  std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::optional<std::string> path = env_.variable("PATH");
    for (const std::string& dir : splitPathList(path ? *path : kDefaultPath)) {
      std::string candidate = dir + "/" + name;
      if (isExecutableFile(candidate)) return candidate;
    }
    return std::nullopt;
  }

  Environment& env_;
};

}  // namespace

std::unique_ptr<Workspace> makeDesktopWorkspace(Environment& env) {
  return std::make_unique<DesktopWorkspace>(env);
}

}  // namespace nolt::platform
