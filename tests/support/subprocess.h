// tests/support/subprocess.h - a program a test starts: its whole command line and environment,
// where each of its descriptors leads, and a bounded wait. Whatever happens in the test, the
// process is killed and reaped and every pipe closed when this object goes.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::test_support {

// A child's whole environment: name to value.
using Environment = std::map<std::string, std::string>;

// Where one descriptor of the child leads.
struct Stream {
  enum class Kind { inherit, null, pipe, descriptor, file };
  Kind kind = Kind::inherit;
  int fd = -1;       // descriptor: the test's own descriptor the child gets a copy of
  std::string path;  // file: created or truncated (mode 0600)

  static Stream inherit() { return {}; }
  static Stream null() { return {Kind::null, -1, {}}; }
  // Standard input: the test writes to it. Any other descriptor: the test reads from it.
  static Stream pipe() { return {Kind::pipe, -1, {}}; }
  static Stream descriptor(int fd) { return {Kind::descriptor, fd, {}}; }
  static Stream file(std::string path) { return {Kind::file, -1, std::move(path)}; }
};

class Subprocess {
 public:
  struct Options {
    // argv[0] is the program: a path, or a name looked up on the test's own PATH.
    std::vector<std::string> argv;
    // The child's whole environment: nothing of the test's is inherited.
    Environment environment;
    Stream input = Stream::null();
    Stream output = Stream::null();
    Stream error = Stream::inherit();
    // Descriptors above 2 the child gets too: {9, Stream::pipe()} to read what it writes there.
    std::map<int, Stream> extra;
    std::string workingDirectory;  // empty: the test's own
    // A process group of its own, so that kill() also ends whatever it started.
    bool ownProcessGroup = false;
  };

  // What communicate() gathered.
  struct Run {
    std::optional<int> status;  // the wait status; none when it could not be started
    bool timedOut = false;      // killed because the time ran out
    std::string out, err;       // what it wrote to piped standard output and error
  };

  explicit Subprocess(Options options);
  // SIGKILL (to its group, when it has one) and reaped unless it has been reaped already.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Why it did not start; empty when it did.
  const std::string& failure() const { return failure_; }

  // The test's end of the pipe on the child's descriptor `childFD` (0 is standard input);
  // -1 when there is none or it was closed.
  int pipe(int childFD) const;
  void closePipe(int childFD);

  // Feeds `input` to a piped standard input (then closes it) while reading piped standard
  // output and error, until both end; then waits for the exit. Past `timeout` seconds in all it
  // is killed. A child that exits without reading its input is not an error.
  Run communicate(std::string_view input = {}, double timeout = 60);

  // The wait status once it has exited; none while it runs. Never blocks.
  std::optional<int> poll();
  // Waits up to `timeout` seconds; the wait status, or none while it still runs.
  std::optional<int> wait(double timeout);
  // Sends `signal` to the process itself.
  void signal(int signal);
  // SIGTERM, then kill() after `grace` seconds; the wait status.
  std::optional<int> stop(double grace);
  // SIGKILL to the process (and its group, when it has one), then reaped; the wait status.
  std::optional<int> kill();
  // The wait status once reaped.
  std::optional<int> status() const { return status_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  bool ownProcessGroup_ = false;
  std::map<int, int> pipes_;  // child descriptor -> the test's end
  std::string failure_;
};

// What a program run to its end gave.
struct Result {
  int status = -1;       // exit status; -1 when it did not start, exit normally or in time
  std::string out, err;  // what it wrote to piped standard output and error
};

// Starts `options` and runs it to its end as communicate() does.
Result runToEnd(Subprocess::Options options, std::string_view input = {}, double timeout = 60);
// Runs `argv` with exactly `environment`, every standard stream piped, to its end.
Result runProgram(const std::vector<std::string>& argv, const Environment& environment,
                  std::string_view input = {}, double timeout = 60);

// The exit status of a wait status; -1 when it was ended by a signal or is none.
int exitCode(std::optional<int> waitStatus);
// The same, but 128 + the signal for a process a signal ended, as a shell reports it.
int shellStatus(std::optional<int> waitStatus);

// The full path of `name` on the test's PATH; none when it is not there.
std::optional<std::string> findOnPath(const std::string& name);
// The test's own environment, for a child that should see all of it.
Environment currentEnvironment();
// Copies the test's sanitizer settings and TMPDIR into `environment`, so that the programs a
// test starts are checked as the test is and write where it writes.
void passSanitizerSettings(Environment& environment);

}  // namespace nolt::test_support
