#include "platform/workspace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "platform/desktop_entry.h"
#include "platform/detached_process.h"
#include "platform/environment.h"

namespace nolt::platform {

namespace {

// Desktop entries are a few hundred bytes; this only keeps a runaway file out of memory.
constexpr off_t kMaxDesktopEntryBytes = 1 << 20;
constexpr std::string_view kDefaultDataDirs = "/usr/local/share:/usr/share";

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
      std::optional<std::string> program =
          findProgram(launch.arguments.front(), env_.variable("PATH"));
      if (!program) return failure(launch.arguments.front() + " is not an executable in PATH");
      launch.program = *program;
    } else {
      return failure("neither an .app folder nor a .desktop file");
    }
    if (!isExecutableFile(launch.program))
      return failure(launch.program + " is not an executable file");
    launch.environment = currentEnvironment();
    return launch;
  }

  Environment& env_;
};

}  // namespace

std::unique_ptr<Workspace> makeDesktopWorkspace(Environment& env) {
  return std::make_unique<DesktopWorkspace>(env);
}

}  // namespace nolt::platform
