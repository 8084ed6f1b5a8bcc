// platform/environment.h - what the process inherits: variables and who it runs as.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

namespace nolt::platform {

class Environment {
 public:
  virtual ~Environment() = default;
  virtual std::optional<std::string> variable(const std::string& name) = 0;
  virtual uid_t userID() = 0;
  // A directory (not a link to one) owned by this user.
  virtual bool isOwnedDirectory(const std::string& path) = 0;
};

std::unique_ptr<Environment> makeProcessEnvironment();

}  // namespace nolt::platform
