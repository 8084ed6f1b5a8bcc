#include "platform/host_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/testing/test_environment.h"
#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

using testing::TestEnvironment;

constexpr const char* kRecord = "app.nolt.Nolt.instance";

class HostInstancesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    env_.variables["XDG_RUNTIME_DIR"] = temp_.path();
  }
  std::vector<RunningInstance> probe() {
    return makeLockedInstanceProbe(env_)->running("app.nolt.Nolt");
  }
  // Another open file description holds the exclusive lock, as a host would.
  int holdRecord() {
    int fd = open(temp_.file(kRecord).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
  }

  test_support::TempDir temp_;
  TestEnvironment env_;
};

TEST_F(HostInstancesTest, NoRecordIsNotRunning) { EXPECT_TRUE(probe().empty()); }

TEST_F(HostInstancesTest, NoRuntimeDirectoryIsNotRunning) {
  env_.variables.clear();
  EXPECT_TRUE(probe().empty());
}

TEST_F(HostInstancesTest, HeldRecordReportsItsWord) {
  struct Case {
    const char* word;
    bool finished;
  };
  const Case cases[] = {{"launching\n", false}, {"running", true},   {"running\n", true},
                        {"running\n\n", false}, {"runningx", false}, {"", false},
                        {"Running\n", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    ASSERT_TRUE(temp_.write(kRecord, c.word));
    int fd = holdRecord();
    auto instances = probe();
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_EQ(instances[0].finishedLaunching, c.finished);
    close(fd);
  }
}

TEST_F(HostInstancesTest, StaleRecordIsNotRunningAndStaysUnlocked) {
  ASSERT_TRUE(temp_.write(kRecord, "running\n"));
  EXPECT_TRUE(probe().empty());
  // The probe let go of its shared lock: a host starting now can take the record.
  int fd = open(temp_.file(kRecord).c_str(), O_RDWR | O_CLOEXEC);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

TEST_F(HostInstancesTest, RecordHeldByAnotherProcess) {
  ASSERT_TRUE(temp_.write(kRecord, "running\n"));
  std::string path = temp_.file(kRecord);
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Async-signal-safe calls only: the test process may have threads.
    close(toChild[1]);
    int fd = open(path.c_str(), O_RDWR);
    char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
    ssize_t ignored = write(toParent[1], &ok, 1);
    ignored = read(toChild[0], &ok, 1);  // until the parent closes its end
    (void)ignored;
    _exit(0);
  }
  close(toParent[1]);
  close(toChild[0]);
  char locked = 0;
  ASSERT_EQ(read(toParent[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  auto instances = probe();
  ASSERT_EQ(instances.size(), 1u);
  EXPECT_TRUE(instances[0].finishedLaunching);

  close(toChild[1]);
  int status = 0;
  waitpid(child, &status, 0);
  close(toParent[0]);
  EXPECT_TRUE(probe().empty());  // the host died and its lock with it
}

}  // namespace
}  // namespace nolt::platform
