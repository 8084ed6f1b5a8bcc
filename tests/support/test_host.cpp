// tests/support/test_host.cpp - a stand-in host for integration tests of every program.
//
// It plays the host's side of the command port and of the instance record, in the runtime
// directory that platform::runtimeDirectory finds (so tests choose it with XDG_RUNTIME_DIR):
//   <runtime>/app.nolt.Nolt.instance  held under an exclusive flock for the host's whole life,
//                                    "launching\n", then "running\n" once it serves;
//   <runtime>/group.app.nolt.cli      a Unix stream socket, mode 0600, one framed exchange per
//                                    connection, several connections at once.
// Requests are served by the host's own port server, so the two cannot drift apart; a silent
// host, which the real one never is, serves its port itself.
// It serves until SIGTERM or SIGINT, then removes the socket and exits with status 0. The
// instance record stays behind, unlocked: a stale record, as a crashed host would leave.
//
// Options:
//   --replies FILE     a JSON object from host command name (or "*" for any other) to the reply
//                      payload: a string is sent verbatim, any other value as compact JSON.
//                      Without an entry the reply payload is {"result":null}.
//   --mode MODE        normal (replies as above), notjson (the payload "this is not json"),
//                      empty (a reply frame of length 0), close (read the request, close without
//                      replying), silent (read the request, never reply).
//   --record FILE      appends each request payload as one line, flushed at once; a request
//                      whose message id is not 0 is recorded as "!message-id=<id> <payload>".
//   --port-delay SECS  stays "launching" without a socket this long before serving.
//   --no-port          becomes "running" but never serves the socket (integrations off).
//   --ready-file FILE  created once the host serves (or, with --no-port, is "running").
// Exit status 2 for bad options or files, 3 when another host holds the instance record.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <boost/json.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/command_port.h"
#include "platform/directories.h"
#include "platform/environment.h"
#include "platform/identifiers.h"
#include "platform/port_frame.h"
#include "platform/port_server.h"
#include "platform/stop_signals.h"

namespace {

namespace platform = nolt::platform;

enum class Mode { normal, notjson, empty, close, silent };

struct Options {
  std::optional<std::string> repliesFile;
  Mode mode = Mode::normal;
  std::optional<std::string> recordFile;
  double portDelay = 0;
  bool noPort = false;
  std::optional<std::string> readyFile;
};

[[noreturn]] void fail(const std::string& text, int status = 2) {
  std::fprintf(stderr, "test_host: %s\n", text.c_str());
  std::exit(status);
}

Options parseOptions(int argc, char** argv) {
  static const std::map<std::string, Mode> kModes = {{"normal", Mode::normal},
                                                     {"notjson", Mode::notjson},
                                                     {"empty", Mode::empty},
                                                     {"close", Mode::close},
                                                     {"silent", Mode::silent}};
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--no-port") {
      options.noPort = true;
      continue;
    }
    if (i + 1 == argc) fail("missing value after " + option);
    std::string value = argv[++i];
    if (option == "--replies") {
      options.repliesFile = value;
    } else if (option == "--mode") {
      auto mode = kModes.find(value);
      if (mode == kModes.end()) fail("unknown mode " + value);
      options.mode = mode->second;
    } else if (option == "--record") {
      options.recordFile = value;
    } else if (option == "--port-delay") {
      char* end = nullptr;
      options.portDelay = std::strtod(value.c_str(), &end);
      if (*end != '\0' || !(options.portDelay >= 0)) fail("bad delay " + value);
    } else if (option == "--ready-file") {
      options.readyFile = value;
    } else {
      fail("unknown option " + option);
    }
  }
  return options;
}

std::map<std::string, std::string> loadReplies(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  boost::json::error_code ec;
  boost::json::value json = boost::json::parse(text.str(), ec);
  if (ec || !json.is_object()) fail(path + " is not a JSON object");
  std::map<std::string, std::string> replies;
  for (const auto& [name, reply] : json.as_object())
    replies[std::string(name)] =
        reply.is_string() ? std::string(reply.as_string()) : boost::json::serialize(reply);
  return replies;
}

std::string commandOf(std::string_view payload) {
  boost::json::error_code ec;
  boost::json::value request = boost::json::parse(payload, ec);
  if (ec || !request.is_object()) return {};
  const boost::json::value* command = request.as_object().if_contains("command");
  return command && command->is_string() ? std::string(command->as_string()) : std::string();
}

// The answers of the host's own server, in the chosen mode.
class Host {
 public:
  Host(Options options, std::map<std::string, std::string> replies)
      : options_(std::move(options)), replies_(std::move(replies)) {
    if (options_.recordFile) {
      recordFd_ =
          ::open(options_.recordFile->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      if (recordFd_ < 0) fail("cannot open " + *options_.recordFile);
    }
  }

  std::unique_ptr<platform::PortExchange> exchange(std::uint32_t messageID, std::uint32_t length) {
    return platform::makeBufferedExchange(
        length, [this, messageID](std::string_view payload) { return answer(messageID, payload); });
  }

  void record(std::uint32_t messageID, std::string_view payload) {
    if (recordFd_ < 0) return;
    std::string line =
        messageID == 0 ? std::string() : "!message-id=" + std::to_string(messageID) + " ";
    line += payload;
    line += "\n";
    std::lock_guard lock(mutex_);
    std::string_view bytes = line;
    while (!bytes.empty()) {
      ssize_t n = write(recordFd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

 private:
  using Answer = platform::PortExchange::Answer;
  using Ending = platform::PortExchange::Ending;

  Answer answer(std::uint32_t messageID, std::string_view payload) {
    record(messageID, payload);
    switch (options_.mode) {
      case Mode::close:
        return {Ending::close, {}};
      case Mode::empty:
        return {Ending::reply, {}};
      case Mode::notjson:
        return {Ending::reply, "this is not json"};
      case Mode::normal:
      case Mode::silent:  // served by SilentPort, never here
        break;
    }
    return {Ending::reply, replyFor(commandOf(payload))};
  }

  std::string replyFor(const std::string& command) const {
    if (auto it = replies_.find(command); it != replies_.end() && !command.empty())
      return it->second;
    if (auto it = replies_.find("*"); it != replies_.end()) return it->second;
    return R"({"result":null})";
  }

  Options options_;
  std::map<std::string, std::string> replies_;
  int recordFd_ = -1;
  std::mutex mutex_;
};

// The silent host's port: it takes each request whole and records it, then keeps the
// connection open and never answers, as a hung host does. Served from the main loop, one
// connection at a time.
class SilentPort {
 public:
  SilentPort(std::string path, Host& host) : path_(std::move(path)), host_(host) {
    sockaddr_un address{};
    if (path_.size() >= sizeof address.sun_path) fail("socket path too long: " + path_);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path_.c_str(), 0600) != 0 || listen(listener_, 16) != 0)
      fail("cannot serve " + path_);
  }
  ~SilentPort() {
    for (int fd : held_) close(fd);
    close(listener_);
    unlink(path_.c_str());
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  int fd() const { return listener_; }

  // Takes the request of a connection waiting to be accepted, if there is one.
  void serveOne() {
    int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    held_.push_back(fd);
    constexpr std::uint32_t kMaxPayload = 64u << 20;
    auto deadline = platform::deadlineAfter(30);
    char header[platform::kRequestHeaderBytes];
    if (platform::receiveExactly(fd, header, sizeof header, deadline) != platform::IOResult::done)
      return;
    platform::RequestHeader request = platform::decodeRequestHeader(header);
    if (request.length > kMaxPayload) return;
    std::string payload(request.length, '\0');
    if (platform::receiveExactly(fd, payload.data(), payload.size(), deadline) ==
        platform::IOResult::done)
      host_.record(request.messageID, payload);
  }

 private:
  std::string path_;
  Host& host_;
  int listener_ = -1;
  std::vector<int> held_;  // open until the host ends
};

void writeRecord(int fd, std::string_view word) {
  if (ftruncate(fd, 0) != 0 || pwrite(fd, word.data(), word.size(), 0) < 0)
    fail("cannot write the instance record");
}

// Waits for SIGTERM or SIGINT, or for `fd` to be readable; true when a signal came.
bool waitForSignalOr(int signals, int fd, int timeoutMs) {
  pollfd fds[2] = {{signals, POLLIN, 0}, {fd, POLLIN, 0}};
  int n = poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
  return n > 0 && (fds[0].revents & POLLIN);
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseOptions(argc, argv);
  std::map<std::string, std::string> replies;
  if (options.repliesFile) replies = loadReplies(*options.repliesFile);

  int signals = platform::watchStopSignals();
  if (signals < 0) fail("cannot watch signals");

  auto env = platform::makeProcessEnvironment();
  std::optional<std::string> runtime = platform::runtimeDirectory(*env);
  if (!runtime) fail("no runtime directory");
  mkdir(runtime->c_str(), 0700);

  std::string recordPath = *runtime + "/" + std::string(platform::kHostBundleID) + ".instance";
  int instance = open(recordPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (instance < 0) fail("cannot open " + recordPath);
  if (flock(instance, LOCK_EX | LOCK_NB) != 0) fail("another host holds " + recordPath, 3);
  writeRecord(instance, "launching\n");

  Host host(options, std::move(replies));
  bool stopping =
      options.portDelay > 0 &&
      waitForSignalOr(signals, -1, static_cast<int>(std::min(options.portDelay, 1e6) * 1000));
  std::string socketPath = *platform::portSocketPath(*env, platform::kCommandPortName);
  std::optional<platform::PortServer> server;
  std::optional<SilentPort> silent;
  if (!stopping) {
    if (!options.noPort && options.mode == Mode::silent) {
      silent.emplace(socketPath, host);
    } else if (!options.noPort) {
      try {
        server.emplace(
            socketPath,
            [&host](std::uint32_t messageID, std::uint32_t length) {
              return host.exchange(messageID, length);
            },
            platform::PortServerOptions{});
        server->start();
      } catch (const platform::ServerError& error) {
        fail(error.what());
      }
    }
    writeRecord(instance, "running\n");
    if (options.readyFile) {
      int ready = open(options.readyFile->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (ready < 0) fail("cannot create " + *options.readyFile);
      close(ready);
    }
  }
  while (!stopping) {
    stopping = waitForSignalOr(signals, silent ? silent->fd() : -1, -1);
    if (!stopping && silent) silent->serveOne();
  }
  if (server) server->stop();
  silent.reset();
  close(instance);
  return 0;
}
