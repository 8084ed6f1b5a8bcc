#include "host/desktop_opener.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nolt::host {

namespace {

class DesktopOpener final : public Opener {
 public:
  explicit DesktopOpener(std::string program) : program_(std::move(program)) {}

  std::optional<std::string> open(const std::string& target) override {
    // Everything the child needs is made before fork: a threaded process may only call
    // async-signal-safe functions in the child.
    const char* argv[] = {program_.c_str(), target.c_str(), nullptr};
    int report[2];  // the grandchild writes errno here when exec fails
    if (pipe2(report, O_CLOEXEC) != 0) return std::string(std::strerror(errno));
    pid_t child = fork();
    if (child < 0) {
      int error = errno;
      close(report[0]);
      close(report[1]);
      return std::string(std::strerror(error));
    }
    if (child == 0) {
      setsid();
      // The grandchild is adopted by init, so nobody has to wait for it.
      if (fork() != 0) _exit(0);
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
      }
      execvp(argv[0], const_cast<char* const*>(argv));
      int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n == sizeof error) return program_ + ": " + std::strerror(error);
    return std::nullopt;
  }

 private:
  std::string program_;
};

}  // namespace

std::unique_ptr<Opener> makeDesktopOpener(std::string program) {
  return std::make_unique<DesktopOpener>(std::move(program));
}

}  // namespace nolt::host
