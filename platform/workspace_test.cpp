#include "platform/workspace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/testing/test_environment.h"
#include "tests/support/deadline.h"
#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

using testing::TestEnvironment;

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    env_.variables["HOME"] = temp_.file("home");
    env_.variables["PATH"] = temp_.file("bin") + ":/usr/bin:/bin";
  }

  // A shell script that writes what it was started with, and how, to the file "marker".
  void writeScript(const std::string& name) {
    std::string marker = temp_.file("marker");
    ASSERT_TRUE(temp_.write(name,
                            "#!/bin/sh\n"
                            "{ echo \"$*\"; readlink /proc/$$/fd/0;"
                            "  cut -d' ' -f6 /proc/$$/stat; } > '" +
                                marker +
                                ".part'\n"
                                "mv '" +
                                marker + ".part' '" + marker + "'\n"));
    ASSERT_EQ(chmod(temp_.file(name).c_str(), 0755), 0);
  }

  struct Outcome {
    std::optional<std::string> error;
    std::thread::id thread;
  };
  // Opens `path` and waits (bounded) for the completion.
  Outcome open(const std::string& path) {
    auto workspace = makeDesktopWorkspace(env_);
    auto done = std::make_shared<std::promise<Outcome>>();
    auto calls = std::make_shared<std::atomic<int>>(0);
    workspace->openQuietly(Application{path}, [done, calls](std::optional<std::string> error) {
      if (calls->fetch_add(1) == 0) done->set_value({std::move(error), std::this_thread::get_id()});
    });
    auto result = done->get_future();
    EXPECT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    Outcome outcome = result.get();
    EXPECT_EQ(calls->load(), 1);
    EXPECT_NE(outcome.thread, std::this_thread::get_id());
    return outcome;
  }

  // The marker's lines once the started program wrote it (bounded wait for a real process).
  std::vector<std::string> markerLines() {
    std::optional<std::string> text;
    test_support::waitUntil(
        10, [&] { return (text = test_support::readFile(temp_.file("marker"))).has_value(); });
    std::vector<std::string> lines;
    if (!text) return lines;
    std::size_t start = 0, end;
    while ((end = text->find('\n', start)) != std::string::npos) {
      lines.push_back(text->substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  void expectStartedDetached(const std::string& arguments) {
    std::vector<std::string> lines = markerLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], arguments);
    EXPECT_EQ(lines[1], "/dev/null");
    EXPECT_NE(lines[2], std::to_string(getsid(0))) << "runs in a session of its own";
    // The intermediate child was reaped and the program is not ours to reap.
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
  }

  test_support::TempDir temp_;
  TestEnvironment env_;
};

TEST_F(WorkspaceTest, OwnExecutablePathIsTheResolvedProgram) {
  auto path = makeDesktopWorkspace(env_)->ownExecutablePath();
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, std::filesystem::read_symlink("/proc/self/exe").string());
}

TEST_F(WorkspaceTest, DesktopEntryLookupOrder) {
  const std::string file = "applications/app.nolt.Nolt.desktop";
  struct Case {
    const char* name;
    std::map<std::string, std::string> variables;  // "@" stands for the temporary folder
    std::vector<std::string> entries;              // folders holding an entry
    std::optional<std::string> found;
  };
  const Case cases[] = {
      {"data home first",
       {{"XDG_DATA_HOME", "@/data"}, {"XDG_DATA_DIRS", "@/a:@/b"}},
       {"data", "a", "b"},
       "data"},
      {"home default for data home",
       {{"HOME", "@/home"}, {"XDG_DATA_DIRS", "@/a"}},
       {"home/.local/share", "a"},
       "home/.local/share"},
      {"relative data home counts not",
       {{"XDG_DATA_HOME", "data"}, {"HOME", "@/home"}, {"XDG_DATA_DIRS", "@/a"}},
       {"data", "a"},
       "a"},
      {"data dirs in order",
       {{"XDG_DATA_HOME", "@/data"}, {"XDG_DATA_DIRS", "@/a:@/b"}},
       {"b", "a"},
       "a"},
      {"later data dir",
       {{"XDG_DATA_HOME", "@/data"}, {"XDG_DATA_DIRS", "@/a::rel:@/b"}},
       {"b"},
       "b"},
      {"nowhere", {{"XDG_DATA_HOME", "@/data"}, {"XDG_DATA_DIRS", "@/a"}}, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir root;
    auto expand = [&](std::string s) {
      for (std::size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, root.path());
      return s;
    };
    TestEnvironment env;
    for (const auto& [name, value] : c.variables) env.variables[name] = expand(value);
    for (const std::string& folder : c.entries)
      ASSERT_TRUE(root.write(folder + "/" + file, "[Desktop Entry]\nExec=host\n"));
    auto app = makeDesktopWorkspace(env)->applicationFor("app.nolt.Nolt");
    ASSERT_EQ(app.has_value(), c.found.has_value());
    if (app) {
      EXPECT_EQ(app->path, root.file(*c.found + "/" + file));
    }
  }
}

TEST_F(WorkspaceTest, DesktopEntryFolderIsNotAnEntry) {
  env_.variables["XDG_DATA_DIRS"] = temp_.file("a") + ":" + temp_.file("b");
  std::filesystem::create_directories(temp_.file("a/applications/app.nolt.Nolt.desktop"));
  ASSERT_TRUE(temp_.write("b/applications/app.nolt.Nolt.desktop", "[Desktop Entry]\n"));
  auto app = makeDesktopWorkspace(env_)->applicationFor("app.nolt.Nolt");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->path, temp_.file("b/applications/app.nolt.Nolt.desktop"));
}

TEST_F(WorkspaceTest, OpensDesktopEntryThroughItsExecLine) {
  writeScript("bin/nolt-host");
  ASSERT_TRUE(temp_.write("app.nolt.Nolt.desktop",
                          "[Desktop Entry]\nType=Application\n"
                          "Exec=nolt-host --background %U \"two words\" 100%%\n"));
  Outcome outcome = open(temp_.file("app.nolt.Nolt.desktop"));
  EXPECT_FALSE(outcome.error) << *outcome.error;
  expectStartedDetached("--background two words 100%");
}

TEST_F(WorkspaceTest, OpensAppFolderThroughItsExecutable) {
  writeScript("Nolt.app/Contents/MacOS/Nolt");
  Outcome outcome = open(temp_.file("Nolt.app") + "/");
  EXPECT_FALSE(outcome.error) << *outcome.error;
  expectStartedDetached("");
}

TEST_F(WorkspaceTest, ReportsWhatCannotBeStarted) {
  ASSERT_TRUE(temp_.write("noexec.desktop", "[Desktop Entry]\nName=x\n"));
  ASSERT_TRUE(temp_.write("unknown.desktop", "[Desktop Entry]\nExec=no-such-program-here\n"));
  ASSERT_TRUE(temp_.write("unclosed.desktop", "[Desktop Entry]\nExec=\"sh -c\n"));
  ASSERT_TRUE(temp_.write("plain.desktop", "[Desktop Entry]\nExec=" + temp_.file("plain") + "\n"));
  ASSERT_TRUE(temp_.write("plain", "#!/bin/sh\n"));  // not executable
  ASSERT_TRUE(temp_.write("Empty.app/Contents/Info.plist", ""));
  ASSERT_TRUE(temp_.write("notes.txt", ""));
  ASSERT_TRUE(temp_.write("Bad.app/Contents/MacOS/Bad", "not a program"));
  ASSERT_EQ(chmod(temp_.file("Bad.app/Contents/MacOS/Bad").c_str(), 0755), 0);
  for (const char* name :
       {"missing.desktop", "noexec.desktop", "unknown.desktop", "unclosed.desktop", "plain.desktop",
        "Empty.app", "notes.txt", "Bad.app"}) {
    SCOPED_TRACE(name);
    Outcome outcome = open(temp_.file(name));
    EXPECT_TRUE(outcome.error);
  }
  int status;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1) << "no child left behind";
}

}  // namespace
}  // namespace nolt::platform
