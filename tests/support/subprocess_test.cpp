#include "tests/support/subprocess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host_process.h"

namespace nolt::test_support {
namespace {

Subprocess::Options shell(const std::string& script) {
  Subprocess::Options options;
  options.argv = {"/bin/sh", "-c", script};
  options.environment = {{"PATH", "/usr/bin:/bin"}};
  return options;
}

// Whether a process of `group` still runs; killed ones the test cannot reap do not count.
bool groupAlive(pid_t group) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::string stat = readFile(entry.path() / "stat").value_or("");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long long parent = 0, processGroup = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %lld %lld", &state, &parent, &processGroup) ==
            3 &&
        processGroup == group && state != 'Z')
      return true;
  }
  return false;
}

TEST(SubprocessTest, CommunicateFeedsAndDrainsWithoutDeadlock) {
  // Both directions far larger than a pipe holds: written all first, it would hang.
  std::string input(1 << 20, 'x');
  for (std::size_t i = 0; i < input.size(); i += 97) input[i] = '\n';
  auto options = shell("cat; echo done >&2");
  options.input = options.output = options.error = Stream::pipe();
  Subprocess cat(std::move(options));
  Subprocess::Run run = cat.communicate(input, 60);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(exitCode(run.status), 0);
  EXPECT_EQ(run.out, input);
  EXPECT_EQ(run.err, "done\n");
}

TEST(SubprocessTest, ChildThatLeavesItsInputUnreadIsNoFailure) {
  auto options = shell("exit 4");
  options.input = options.output = Stream::pipe();
  Subprocess child(std::move(options));
  Subprocess::Run run = child.communicate(std::string(1 << 20, 'x'), 60);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(exitCode(run.status), 4);
}

TEST(SubprocessTest, LateChildIsKilledWithWhatItStarted) {
  auto options = shell("echo started; sleep 30 & wait");
  options.output = Stream::pipe();
  options.ownProcessGroup = true;
  Subprocess child(std::move(options));
  ASSERT_TRUE(child.started());
  // Long enough for a loaded machine to start the shell and let it print; far shorter than
  // the sleep, so the run still ends by its time-out.
  Subprocess::Run run = child.communicate({}, 2);
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.out, "started\n");
  ASSERT_TRUE(run.status);
  EXPECT_TRUE(WIFSIGNALED(*run.status) && WTERMSIG(*run.status) == SIGKILL);
  EXPECT_EQ(exitCode(run.status), -1);
  EXPECT_EQ(shellStatus(run.status), 128 + SIGKILL);
  // SIGKILL reaches the background sleep at once, but a loaded machine may take a moment to
  // end it.
  EXPECT_TRUE(waitUntil(5, [&] { return !groupAlive(child.pid()); }))
      << "the background sleep outlived its group";
}

TEST(SubprocessTest, DestructionEndsTheProcessAndItsGroup) {
  pid_t group = -1;
  {
    auto options = shell("sleep 30 & wait");
    options.ownProcessGroup = true;
    Subprocess child(std::move(options));
    ASSERT_TRUE(child.started());
    group = child.pid();
    EXPECT_FALSE(child.poll());
  }
  EXPECT_TRUE(waitUntil(5, [&] { return !groupAlive(group); }));
  EXPECT_EQ(waitpid(group, nullptr, WNOHANG), -1) << "not reaped";
}

TEST(SubprocessTest, StopAsksFirstThenKills) {
  auto polite = shell("trap 'exit 3' TERM; echo ready; while :; do sleep 0.05; done");
  polite.output = Stream::pipe();
  Subprocess asked(std::move(polite));
  char c;
  ASSERT_EQ(read(asked.pipe(1), &c, 1), 1);  // its trap is set
  EXPECT_EQ(exitCode(asked.stop(10)), 3);

  auto deaf = shell("trap '' TERM; echo ready; sleep 30 & wait");
  deaf.output = Stream::pipe();
  deaf.ownProcessGroup = true;
  Subprocess ignoring(std::move(deaf));
  ASSERT_EQ(read(ignoring.pipe(1), &c, 1), 1);
  std::optional<int> status = ignoring.stop(0.2);
  ASSERT_TRUE(status);
  EXPECT_EQ(shellStatus(status), 128 + SIGKILL);
  EXPECT_EQ(ignoring.stop(1), status) << "a second stop reports the same end";
}

TEST(SubprocessTest, ChildGetsExactlyItsEnvironmentAndFolder) {
  TempDir folder;
  ASSERT_FALSE(folder.path().empty());
  Subprocess::Options options;
  options.argv = {"env"};  // looked up on the test's PATH
  options.environment = {{"A", "1"}, {"B", "two words"}};
  options.output = Stream::pipe();
  EXPECT_EQ(Subprocess(std::move(options)).communicate().out, "A=1\nB=two words\n");

  auto where = shell("pwd");
  where.workingDirectory = folder.path();
  where.output = Stream::pipe();
  EXPECT_EQ(Subprocess(std::move(where)).communicate().out,
            std::filesystem::canonical(folder.path()).string() + "\n");
}

TEST(SubprocessTest, StreamsLeadWhereAsked) {
  TempDir folder;
  auto options = shell("read line; echo \"out $line\"; echo err >&2; echo nine >&9");
  options.input = Stream::null();
  options.output = Stream::file(folder.file("out"));
  options.error = Stream::null();
  options.extra[9] = Stream::pipe();
  Subprocess child(std::move(options));
  std::string nine(5, '\0');
  ASSERT_EQ(read(child.pipe(9), nine.data(), nine.size()), 5);
  EXPECT_EQ(nine, "nine\n");
  EXPECT_EQ(exitCode(child.wait(30)), 0);
  EXPECT_EQ(readFile(folder.file("out")), "out \n");

  // A descriptor of the test's own, shared with the child.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  auto writer = shell("printf shared");
  writer.output = Stream::descriptor(ends[1]);
  EXPECT_EQ(exitCode(Subprocess(std::move(writer)).wait(30)), 0);
  close(ends[1]);
  char text[16] = {};
  EXPECT_EQ(read(ends[0], text, sizeof text), 6);
  EXPECT_STREQ(text, "shared");
  close(ends[0]);
}

TEST(SubprocessTest, ChildDoesNotInheritAnIgnoredSIGPIPE) {
  auto previous = signal(SIGPIPE, SIG_IGN);
  Subprocess::Options options;
  options.argv = {"grep", "^SigIgn", "/proc/self/status"};
  options.output = Stream::pipe();
  std::string line = Subprocess(std::move(options)).communicate().out;
  signal(SIGPIPE, previous);
  ASSERT_TRUE(line.starts_with("SigIgn:")) << line;
  unsigned long long ignored = std::strtoull(line.c_str() + 7, nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << line;
}

TEST(SubprocessTest, ProgramThatCannotStartSaysWhy) {
  for (std::vector<std::string> argv :
       {std::vector<std::string>{}, {"no-such-program-of-nolt"}, {"/nonexistent/program"}}) {
    Subprocess::Options options;
    options.argv = argv;
    options.input = options.output = Stream::pipe();
    Subprocess missing(std::move(options));
    EXPECT_FALSE(missing.started());
    EXPECT_FALSE(missing.failure().empty());
    Subprocess::Run run = missing.communicate("input", 1);
    EXPECT_FALSE(run.status);
    EXPECT_EQ(exitCode(missing.stop(1)), -1);
  }
}

TEST(TempDirTest, GoesWithEverythingInIt) {
  std::string path;
  {
    TempDir folder;
    path = folder.path();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(folder.write("a/b/c.txt", "text"));
    EXPECT_EQ(readFile(folder.file("a/b/c.txt")), "text");
    std::filesystem::create_symlink("/", folder.file("root"));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::exists("/bin")) << "followed the link";
}

}  // namespace
}  // namespace nolt::test_support
