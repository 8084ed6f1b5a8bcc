#include "platform/directories.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/testing/test_environment.h"
#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

using testing::TestEnvironment;

using Vars = std::map<std::string, std::string>;

struct DirectoryCase {
  const char* name;
  Vars variables;
  bool runUserOwned;
  std::optional<std::string> container;
  std::optional<std::string> runtime;
};

TEST(DirectoriesTest, FollowTheVariablesInOrder) {
  const DirectoryCase cases[] = {
      {"data home wins",
       {{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}},
       false,
       "/d/group.app.nolt",
       "/d/group.app.nolt"},
      {"trailing slash",
       {{"XDG_DATA_HOME", "/d/"}},
       false,
       "/d/group.app.nolt",
       "/d/group.app.nolt"},
      {"relative data home",
       {{"XDG_DATA_HOME", "d"}, {"HOME", "/h"}},
       false,
       "/h/.local/share/group.app.nolt",
       "/h/.local/share/group.app.nolt"},
      {"empty data home",
       {{"XDG_DATA_HOME", ""}, {"HOME", "/h"}},
       false,
       "/h/.local/share/group.app.nolt",
       "/h/.local/share/group.app.nolt"},
      {"relative home", {{"HOME", "h"}}, false, std::nullopt, std::nullopt},
      {"nothing set", {}, false, std::nullopt, std::nullopt},
      {"runtime variable",
       {{"XDG_RUNTIME_DIR", "/r"}, {"HOME", "/h"}},
       true,
       "/h/.local/share/group.app.nolt",
       "/r"},
      {"relative runtime, own /run/user",
       {{"XDG_RUNTIME_DIR", "r"}, {"HOME", "/h"}},
       true,
       "/h/.local/share/group.app.nolt",
       "/run/user/1234"},
      {"only PATH and own /run/user", {{"PATH", "/bin"}}, true, std::nullopt, "/run/user/1234"},
      {"/run/user not ours",
       {{"HOME", "/h"}},
       false,
       "/h/.local/share/group.app.nolt",
       "/h/.local/share/group.app.nolt"},
  };
  for (const DirectoryCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestEnvironment env;
    env.variables = c.variables;
    env.uid = 1234;
    if (c.runUserOwned) env.ownedDirectories.insert("/run/user/1234");
    EXPECT_EQ(groupContainerPath(env), c.container);
    EXPECT_EQ(runtimeDirectory(env), c.runtime);
  }
}

TEST(ProcessEnvironmentTest, OwnsOnlyRealDirectoriesOfItsUser) {
  test_support::TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  ASSERT_TRUE(temp.write("file", "x"));
  ASSERT_EQ(symlink(temp.path().c_str(), temp.file("link").c_str()), 0);
  auto env = makeProcessEnvironment();
  EXPECT_TRUE(env->isOwnedDirectory(temp.path()));
  EXPECT_FALSE(env->isOwnedDirectory(temp.file("link")));
  EXPECT_FALSE(env->isOwnedDirectory(temp.file("file")));
  EXPECT_FALSE(env->isOwnedDirectory(temp.file("missing")));
  if (getuid() != 0) {
    EXPECT_FALSE(env->isOwnedDirectory("/"));
  }
  EXPECT_EQ(env->userID(), getuid());
}

}  // namespace
}  // namespace nolt::platform
