// platform/testing/test_environment.h - an Environment set field by field: variables, the user,
// and the folders that count as the user's own.
#pragma once

#include <unistd.h>

#include <map>
#include <set>
#include <string>

#include "platform/environment.h"

namespace nolt::platform::testing {

class TestEnvironment final : public Environment {
 public:
  std::map<std::string, std::string> variables;
  uid_t uid = getuid();
  std::set<std::string> ownedDirectories;  // none unless a test names them

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

}  // namespace nolt::platform::testing
