#include "host/desktop_opener.h"

#include <cstdlib>

#include "platform/detached_process.h"

namespace nolt::host {

namespace {

class DesktopOpener final : public Opener {
 public:
  explicit DesktopOpener(std::string program) : program_(std::move(program)) {}

  std::optional<std::string> open(const std::string& target) override {
    const char* path = std::getenv("PATH");
    std::optional<std::string> program =
        platform::findProgram(program_, path ? std::optional<std::string>(path) : std::nullopt);
    if (!program) return program_ + " is not installed";
    return platform::startDetached({*program, {program_, target}, platform::currentEnvironment()});
  }

 private:
  std::string program_;
};

}  // namespace

std::unique_ptr<Opener> makeDesktopOpener(std::string program) {
  return std::make_unique<DesktopOpener>(std::move(program));
}

}  // namespace nolt::host
