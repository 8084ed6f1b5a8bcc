// tests/support/test_host_process.h - a running test_host and the session it serves.
// Integration tests start the stand-in host in an environment of their own (a temporary
// HOME and XDG_RUNTIME_DIR), talk to it through the real programs, and let the destructor
// stop it.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace nolt::test_support {

// Where ctest's built test programs live: $NOLT_TEST_BIN, else the folder of this executable.
std::string testBinaryFolder();

// test_host started in the background; it is stopped (SIGTERM, then SIGKILL after 5 s) and
// reaped when this object goes.
class TestHostProcess {
 public:
  // `arguments` are test_host's options (see test_host.cpp); a --ready-file is added here.
  // `environment` is the host's whole environment: nothing of the test's is inherited.
  // Waits up to `readyTimeout` seconds for the host to serve.
  TestHostProcess(std::vector<std::string> arguments,
                  std::map<std::string, std::string> environment, double readyTimeout = 10);
  ~TestHostProcess();
  TestHostProcess(const TestHostProcess&) = delete;
  TestHostProcess& operator=(const TestHostProcess&) = delete;

  // True once the host announced it serves; false when it exited or never got there.
  bool ready() const { return ready_; }
  pid_t pid() const { return process_.pid(); }
  // Sends SIGTERM and reaps the host; its wait status, or none when it was never started.
  std::optional<int> stop();

 private:
  TempDir scratch_;
  Subprocess process_;
  bool ready_ = false;
};

// HOME=<home>, XDG_RUNTIME_DIR=<runtime>, XDG_DATA_HOME=<home>/.local/share, the test's PATH
// and its sanitizer settings: the environment of a desktop session confined to temporary folders.
std::map<std::string, std::string> sessionEnvironment(const std::string& home,
                                                      const std::string& runtime);

}  // namespace nolt::test_support
