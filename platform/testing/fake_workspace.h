// platform/testing/fake_workspace.h - running instances and application opening, in process.
#pragma once

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_instance.h"
#include "platform/workspace.h"

namespace nolt::platform::testing {

class FakeHostInstances : public HostInstances {
 public:
  std::vector<RunningInstance> running(std::string_view bundleID) override {
    ++queries;
    queriedIDs.emplace_back(bundleID);
    return instances;
  }

  std::vector<RunningInstance> instances;
  int queries = 0;
  std::vector<std::string> queriedIDs;
};

class FakeWorkspace : public Workspace {
 public:
  ~FakeWorkspace() override {
    for (std::thread& t : completions_) t.join();
  }

  std::optional<std::string> ownExecutablePath() override { return ownPath; }
  std::optional<Application> applicationFor(std::string_view bundleID) override {
    lookedUpIDs.emplace_back(bundleID);
    return registered;
  }
  // Completes on a thread of its own, as the desktop does.
  void openQuietly(const Application& app,
                   std::function<void(std::optional<std::string>)> completion) override {
    opened.push_back(app.path);
    if (onOpen) onOpen(app);
    completions_.emplace_back(
        [completion = std::move(completion), error = openError] { completion(error); });
  }

  std::optional<std::string> ownPath = "/usr/bin/nolt";
  std::optional<Application> registered;
  std::optional<std::string> openError;
  std::function<void(const Application&)> onOpen;
  std::vector<std::string> lookedUpIDs;
  std::vector<std::string> opened;

 private:
  std::vector<std::thread> completions_;
};

}  // namespace nolt::platform::testing
