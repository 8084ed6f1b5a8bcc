// platform/workspace.h - finding the host application and starting it in the background.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform {

class Environment;

// An application to open: a `.app` folder or a desktop entry file.
struct Application {
  std::string path;
};

class Workspace {
 public:
  virtual ~Workspace() = default;
  // The running program's own resolved path; none when it cannot be read.
  virtual std::optional<std::string> ownExecutablePath() = 0;
  // The desktop entry `<bundleID>.desktop` from the XDG data folders, first found wins.
  virtual std::optional<Application> applicationFor(std::string_view bundleID) = 0;
  // Starts the application detached, without waiting for it. `completion` runs exactly
  // once, on another thread, with an error text when the program could not be started.
  virtual void openQuietly(const Application& app,
                           std::function<void(std::optional<std::string> error)> completion) = 0;
};

std::unique_ptr<Workspace> makeDesktopWorkspace(Environment& env);

}  // namespace nolt::platform
