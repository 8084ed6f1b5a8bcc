// Times one MCP server over its standard input and output, so that the client's own cost
// stays small next to the server's:
//   mcp_drive pings N COMMAND...   replies per second for N pipelined "ping" lines
//   mcp_drive lists N COMMAND...   median round trip in microseconds of N "tools/list" lines
// The server is started with this program's environment, and sent "initialize" first.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Server {
  pid_t pid = -1;
  int in = -1, out = -1;
  std::string pending;  // bytes read past the last line counted

  void send(const std::string& bytes) const {
    for (std::size_t at = 0; at < bytes.size();) {
      ssize_t n = write(in, bytes.data() + at, bytes.size() - at);
      if (n <= 0) {
        std::perror("write");
        std::exit(1);
      }
      at += static_cast<std::size_t>(n);
    }
  }

  // Blocks until `count` more lines have arrived.
  void awaitLines(std::size_t count) {
    std::size_t seen = 0;
    std::size_t from = 0;
    char buffer[1 << 16];
    for (;;) {
      for (std::size_t feed;
           seen < count && (feed = pending.find('\n', from)) != std::string::npos;) {
        ++seen;
        from = feed + 1;
      }
      if (seen == count) break;
      pending.erase(0, from);
      from = 0;
      ssize_t n = read(out, buffer, sizeof buffer);
      if (n <= 0) {
        std::fprintf(stderr, "the server ended early\n");
        std::exit(1);
      }
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    pending.erase(0, from);
  }
};

Server start(char** argv) {
  int toServer[2], fromServer[2];
  if (pipe2(toServer, O_CLOEXEC) != 0 || pipe2(fromServer, O_CLOEXEC) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toServer[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromServer[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Server server;
  if (posix_spawnp(&server.pid, argv[0], &actions, nullptr, argv, environ) != 0) {
    std::perror(argv[0]);
    std::exit(1);
  }
  close(toServer[0]);
  close(fromServer[1]);
  server.in = toServer[1];
  server.out = fromServer[0];
  server.send(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18",)"
      R"("capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})"
      "\n");
  server.awaitLines(1);
  server.send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"
              "\n");
  return server;
}

void stop(Server& server) {
  close(server.in);
  waitpid(server.pid, nullptr, 0);
  close(server.out);
}

std::string request(int id, const char* method) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method + "\"}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mcp_drive pings|lists N COMMAND...\n");
    return 2;
  }
  std::string mode = argv[1];
  int count = std::atoi(argv[2]);
  Server server = start(argv + 3);
  if (mode == "pings") {
    std::string blob;
    for (int i = 1; i <= count; ++i) blob += request(i, "ping");
    auto began = Clock::now();
    std::thread writer([&] { server.send(blob); });
    server.awaitLines(static_cast<std::size_t>(count));
    double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    writer.join();
    std::printf("%.0f\n", count / seconds);
  } else {
    std::vector<double> trips;
    for (int i = 1; i <= count; ++i) {
      std::string line = request(i, "tools/list");
      auto began = Clock::now();
      server.send(line);
      server.awaitLines(1);
      trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - began).count());
    }
    std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
    std::printf("%.1f\n", trips[trips.size() / 2]);
  }
  stop(server);
  return 0;
}
