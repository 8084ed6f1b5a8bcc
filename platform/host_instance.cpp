#include "platform/host_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/directories.h"
#include "platform/environment.h"

namespace nolt::platform {

namespace {

// The record holds one short word; anything longer is not "running".
constexpr std::size_t kMaxRecordBytes = 64;

class LockedInstanceProbe final : public HostInstances {
 public:
  explicit LockedInstanceProbe(Environment& env) : env_(env) {}

  std::vector<RunningInstance> running(std::string_view bundleID) override {
    std::optional<std::string> folder = runtimeDirectory(env_);
    if (!folder || bundleID.empty()) return {};
    std::string path = *folder + "/" + std::string(bundleID) + ".instance";
    // O_NONBLOCK so a FIFO planted under that name cannot hang the probe.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    std::vector<RunningInstance> instances;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && isHeldByHost(fd))
      instances.push_back({.finishedLaunching = readsRunning(fd)});
    close(fd);  // also releases a shared lock taken on a stale record
    return instances;
  }

 private:
  static bool isHeldByHost(int fd) {
    int rc;
    do {
      rc = flock(fd, LOCK_SH | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc != 0 && errno == EWOULDBLOCK;
  }

  static bool readsRunning(int fd) {
    char text[kMaxRecordBytes + 1];
    std::size_t have = 0;
    while (have < sizeof text) {
      ssize_t n = pread(fd, text + have, sizeof text - have, static_cast<off_t>(have));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    std::string_view word(text, have);
    return word == "running" || word == "running\n";
  }

  Environment& env_;
};

}  // namespace

std::unique_ptr<HostInstances> makeLockedInstanceProbe(Environment& env) {
  return std::make_unique<LockedInstanceProbe>(env);
}

}  // namespace nolt::platform
