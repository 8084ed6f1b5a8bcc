#include "cli/commands/user_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/link/app_connection.h"
#include "tests/support/temp_dir.h"

namespace nolt::commands {
namespace {

TEST(UserDatabaseTest, FindsTheFirstEntryOfAUser) {
  const std::string passwd =
      "# local users\n"
      "root:x:0:0:root:/root:/bin/bash\n"
      "\n"
      "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
      "ann:x:1000:1000:Ann,,,:/home/ann:/bin/sh\n"
      "ann:x:1001:1001::/home/second:/bin/sh\n"
      "short:x:1002:1002\n"
      "noshell:x:1003:1003::/home/noshell\n"
      "relative:x:1004:1004::home/relative:/bin/sh\n"
      "empty:x:1005:1005:::/bin/sh\n"
      "bob:x:01006:1:x:/home/bob:/bin/sh:extra\n"
      "crlf:x:1007:1::/home/crlf:/bin/sh\r\n"
      "last:x:4294967295:1::/home/last:/bin/sh";
  struct Case {
    std::string name;
    std::optional<std::string> home;
  } byName[] = {
      {"root", "/root"},
      {"daemon", "/usr/sbin"},
      {"ann", "/home/ann"},
      {"an", std::nullopt},
      {"anne", std::nullopt},
      {"short", std::nullopt},
      {"noshell", "/home/noshell"},
      {"relative", std::nullopt},
      {"empty", std::nullopt},
      {"bob", "/home/bob"},
      {"crlf", "/home/crlf"},
      {"last", "/home/last"},
      {"", std::nullopt},
      {"# local users", std::nullopt},
      {"x", std::nullopt},
  };
  for (const Case& c : byName) EXPECT_EQ(homeInPasswd(passwd, c.name), c.home) << c.name;

  struct {
    uid_t uid;
    std::optional<std::string> home;
  } byID[] = {
      {0, "/root"},        {1000, "/home/ann"},         {1001, "/home/second"},
      {1006, "/home/bob"}, {4294967295u, "/home/last"}, {2000, std::nullopt},
  };
  for (const auto& c : byID) EXPECT_EQ(homeInPasswd(passwd, c.uid), c.home) << c.uid;
}

TEST(UserDatabaseTest, ReadsOnlyARegularFileOfBoundedSize) {
  test_support::TempDir folder;
  ASSERT_FALSE(folder.path().empty());
  const std::string entry = "ann:x:1000:1000::/home/ann:/bin/sh\n";
  folder.write("passwd", entry);
  folder.write("large", entry + std::string(UserDatabase::kMaxBytes, '#'));
  folder.write("limit", entry + std::string(UserDatabase::kMaxBytes - entry.size(), '#'));
  ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
  struct {
    std::string file;
    std::optional<std::string> home;
  } cases[] = {
      {"passwd", "/home/ann"},   {"limit", "/home/ann"},
      {"large", std::nullopt},   {"fifo", std::nullopt},  // and nobody ever writes to it
      {"missing", std::nullopt}, {"", std::nullopt},      // the folder itself
  };
  for (const auto& c : cases)
    EXPECT_EQ(UserDatabase(folder.file(c.file)).homeOf("ann"), c.home) << c.file;
}

// A HOME of the test's own for each case, restored afterwards.
class ExpandHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    if (const char* home = std::getenv("HOME")) oldHome_ = home;
  }
  void TearDown() override {
    if (oldHome_)
      setenv("HOME", oldHome_->c_str(), 1);
    else
      unsetenv("HOME");
  }
  // The password file of the test: ann, a user whose home is "/", and optionally ourselves.
  UserDatabase users(bool withUs) {
    std::string text =
        "ann:x:1000:1000::/home/ann:/bin/sh\n"
        "slash:x:1001:1001::/:/bin/sh\n";
    if (withUs) text += "me:x:" + std::to_string(getuid()) + ":1::/home/me:/bin/sh\n";
    folder_.write("passwd", text);
    return UserDatabase(folder_.file("passwd"));
  }
  static std::string expanded(const std::string& path, const UserDatabase& users) {
    try {
      return expandHome(path, users);
    } catch (const link::AppConnection::Failure& failure) {
      return "failed: " + failure.text();
    }
  }

  test_support::TempDir folder_;
  std::optional<std::string> oldHome_;
};

TEST_F(ExpandHomeTest, TildeGivesAHomeFolder) {
  struct {
    const char* home;  // null: unset
    bool withUs;
    std::string path, expanded;
  } cases[] = {
      {"/h", false, "~", "/h"},
      {"/h", false, "~/a.png", "/h/a.png"},
      {"/h", false, "~//a.png", "/h//a.png"},
      {"/", false, "~/a.png", "/a.png"},
      {"/h", false, "~ann", "/home/ann"},
      {"/h", false, "~ann/", "/home/ann/"},
      {"/h", false, "~ann/x/a.png", "/home/ann/x/a.png"},
      {"/h", false, "~slash/a.png", "/a.png"},
      {"/h", false, "~slash", "/"},
      {"/h", false, "~nobody/a.png", "~nobody/a.png"},
      {"/h", false, "~ann:x/a.png", "~ann:x/a.png"},
      {"/h", false, "a/~ann", "a/~ann"},
      {"/h", false, "/~/a.png", "/~/a.png"},
      // Without HOME our own entry stands in; without either, nothing does.
      {nullptr, true, "~/a.png", "/home/me/a.png"},
      {"relative", true, "~", "/home/me"},
      {nullptr, false, "~/a.png", "failed: HOME isn't set; give the full path of ~/a.png."},
      {"", false, "~", "failed: HOME isn't set; give the full path of ~."},
      {nullptr, false, "~ann/a.png", "/home/ann/a.png"},
  };
  for (const auto& c : cases) {
    if (c.home)
      setenv("HOME", c.home, 1);
    else
      unsetenv("HOME");
    EXPECT_EQ(expanded(c.path, users(c.withUs)), c.expanded) << c.path << " with HOME " << c.home;
  }
}

}  // namespace
}  // namespace nolt::commands
