#include "platform/environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace nolt::platform {

namespace {

class ProcessEnvironment final : public Environment {
 public:
  std::optional<std::string> variable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  }
  uid_t userID() override { return getuid(); }
  bool isOwnedDirectory(const std::string& path) override {
    // lstat: a link to somebody's directory is not ours, whoever owns the link.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid();
  }
};

}  // namespace

std::unique_ptr<Environment> makeProcessEnvironment() {
  return std::make_unique<ProcessEnvironment>();
}

}  // namespace nolt::platform
