#include "platform/detached_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

TEST(DetachedProcessTest, FindsProgramsAsExecvpWould) {
  test_support::TempDir dir;
  ASSERT_TRUE(dir.write("bin/tool", "#!/bin/sh\n"));
  ASSERT_TRUE(dir.write("plain/tool", "not executable"));
  chmod(dir.file("bin/tool").c_str(), 0755);
  EXPECT_EQ(findProgram("tool", dir.file("plain") + ":relative:" + dir.file("bin")),
            dir.file("bin/tool"));
  EXPECT_EQ(findProgram("tool", dir.file("plain")), std::nullopt);
  EXPECT_EQ(findProgram("./tool", std::nullopt), "./tool");
  EXPECT_EQ(findProgram("sh", std::nullopt), "/usr/bin/sh");
  EXPECT_EQ(findProgram("", std::nullopt), std::nullopt);
}

TEST(DetachedProcessTest, StartsTheProgramInASessionOfItsOwnWithItsArguments) {
  test_support::TempDir dir;
  std::string fifo = dir.file("said");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(
      dir.write("tell", "#!/bin/sh\necho \"$1 $NOLT_WORD $(ps -o sid= -p $$)\" > \"$2\"\n"));
  chmod(dir.file("tell").c_str(), 0755);
  EXPECT_EQ(startDetached({dir.file("tell"), {"tell", "hello", fifo}, {"NOLT_WORD=there"}}),
            std::nullopt);
  std::ifstream in(fifo);  // blocks until the program writes
  std::string word, environment;
  pid_t session = 0;
  in >> word >> environment >> session;
  EXPECT_EQ(word, "hello");
  EXPECT_EQ(environment, "there");
  EXPECT_NE(session, getsid(0));
}

TEST(DetachedProcessTest, SaysWhyAProgramCouldNotStart) {
  test_support::TempDir dir;
  ASSERT_TRUE(dir.write("not-executable", "#!/bin/sh\n"));
  for (const std::string& program : {dir.file("missing"), dir.file("not-executable")}) {
    std::optional<std::string> error = startDetached({program, {program}, {}});
    ASSERT_TRUE(error) << program;
    EXPECT_EQ(error->rfind("cannot start " + program + ": ", 0), 0u) << *error;
  }
}

}  // namespace
}  // namespace nolt::platform
