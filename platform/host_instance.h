// platform/host_instance.h - whether the host runs, read from the lock on its instance record.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

namespace nolt::platform {

class Environment;

struct RunningInstance {
  bool finishedLaunching = false;
};

class HostInstances {
 public:
  virtual ~HostInstances() = default;
  // Running instances of the application, at most one here.
  virtual std::vector<RunningInstance> running(std::string_view bundleID) = 0;
};

// <runtime directory>/<bundle id>.instance, held under an exclusive flock by a live host.
std::unique_ptr<HostInstances> makeLockedInstanceProbe(Environment& env);

}  // namespace nolt::platform
