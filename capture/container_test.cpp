#include "capture/container.h"

#include <gtest/gtest.h>

#include "platform/testing/test_environment.h"

namespace nolt::capture {
namespace {

TEST(ContainerTest, LocatorsFollowTheContainer) {
  struct Case {
    std::map<std::string, std::string> variables;
    std::optional<std::string> container;
  } cases[] = {
      {{{"XDG_DATA_HOME", "/data"}, {"HOME", "/home/u"}}, "/data/group.app.nolt"},
      {{{"XDG_DATA_HOME", "relative"}, {"HOME", "/home/u"}}, "/home/u/.local/share/group.app.nolt"},
      {{{"HOME", "/home/u"}}, "/home/u/.local/share/group.app.nolt"},
      {{{"HOME", ""}}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const Case& c : cases) {
    platform::testing::TestEnvironment env;
    env.variables = c.variables;
    if (!c.container) {
      EXPECT_FALSE(groupContainerURL(env));
      EXPECT_FALSE(inboxURL(env));
      EXPECT_FALSE(destinationsURL(env));
      continue;
    }
    EXPECT_EQ(groupContainerURL(env), std::filesystem::path(*c.container));
    EXPECT_EQ(inboxURL(env), std::filesystem::path(*c.container + "/Incoming"));
    EXPECT_EQ(destinationsURL(env), std::filesystem::path(*c.container + "/destinations.json"));
  }
}

}  // namespace
}  // namespace nolt::capture
