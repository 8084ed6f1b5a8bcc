// platform/test_environment.h - an Environment for this folder's tests, set field by field.
#pragma once

#include <unistd.h>

#include <map>
#include <set>

#include "platform/environment.h"

namespace nolt::platform {

class TestEnvironment final : public Environment {
 public:
  std::map<std::string, std::string> variables;
  uid_t uid = getuid();
  std::set<std::string> ownedDirectories;

  std::optional<std::string> variable(const std::string& name) override {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  uid_t userID() override { return uid; }
  bool isOwnedDirectory(const std::string& path) override {
    return ownedDirectories.count(path) != 0;
  }
};

}  // namespace nolt::platform
