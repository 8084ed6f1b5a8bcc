#include "platform/port_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/free_memory.h"
#include "platform/port_frame.h"

namespace nolt::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Answer = PortExchange::Answer;
using Ending = PortExchange::Ending;

// A reply this large leaves memory the allocator keeps for reuse unless asked to give it back.
constexpr std::size_t kLargeReply = 1u << 20;
constexpr std::size_t kReadChunk = 256 * 1024;
// Bytes read from one connection before the others get their turn.
constexpr std::size_t kReadPerTurn = 4 * kReadChunk;
// Out of descriptors and nobody to close: accepting pauses this long.
constexpr auto kAcceptPause = std::chrono::milliseconds(50);

class BufferedExchange final : public PortExchange {
 public:
  BufferedExchange(std::uint32_t length, std::function<Answer(std::string_view)> answer)
      : length_(length), answer_(std::move(answer)) {}

  bool take(std::string_view part) override {
    // Reserved once the first bytes come, so a frame that only claims a size costs nothing,
    // and a large one is never copied while it grows.
    if (request_.empty()) request_.reserve(length_);
    request_.append(part);
    return true;
  }
  std::size_t heldBytes() const override { return request_.size(); }
  Answer finish() override { return answer_(request_); }

 private:
  std::uint32_t length_;
  std::function<Answer(std::string_view)> answer_;
  std::string request_;
};

bool sameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

}  // namespace

std::unique_ptr<PortExchange> makeBufferedExchange(std::uint32_t length,
                                                   std::function<Answer(std::string_view)> answer) {
  return std::make_unique<BufferedExchange>(length, std::move(answer));
}

struct PortServer::State {
  enum class Phase { header, body, answering, replying };

  struct Connection {
    int fd = -1;
    Phase phase = Phase::header;
    SteadyClock::time_point opened;
    Deadline headerDeadline, requestDeadline, replyDeadline;
    char header[kRequestHeaderBytes];
    std::size_t headerHave = 0;
    std::uint32_t remaining = 0;
    std::unique_ptr<PortExchange> exchange;
    std::size_t held = 0;
    std::array<char, kReplyHeaderBytes> replyHeader;
    std::string reply;
    std::size_t sent = 0;  // of the reply header and payload together
  };

  struct Job {
    std::uint64_t id;
    std::unique_ptr<PortExchange> exchange;
  };
  struct Done {
    std::uint64_t id;
    Answer answer;
  };

  std::string path;
  ExchangeFactory exchanges;
  PortServerOptions options;
  int listener = -1;
  int wake = -1;  // an eventfd: stop, or answers ready
  std::atomic<bool> stopping{false};
  bool started = false;
  bool stopped = false;
  std::thread io;
  std::vector<std::thread> workers;
  std::atomic<std::size_t> open{0};

  std::mutex jobsMutex;
  std::condition_variable jobsReady;
  std::deque<Job> jobs;
  bool closingJobs = false;

  std::mutex doneMutex;
  // Both reserved for every connection at once and swapped, so a worker never allocates to
  // hand an answer back.
  std::vector<Done> done;
  std::vector<Done> collected;

  // Touched by the socket thread only.
  std::map<std::uint64_t, Connection> connections;
  std::uint64_t nextID = 1;
  std::size_t totalHeld = 0;
  std::size_t totalReplies = 0;  // bytes of the replies of connections in Phase::replying
  bool trimMemory = false;       // a large reply went; its pages go back to the system
  SteadyClock::time_point acceptPausedUntil;
  std::vector<char> buffer;

  void signalWake() {
    std::uint64_t one = 1;
    if (write(wake, &one, sizeof one) < 0) {
      // The counter cannot overflow from a few wake-ups; the socket thread is awake anyway.
    }
  }

  void ioLoop();
  void workerLoop();
  void acceptNew();
  void handle(std::uint64_t id, short revents);
  void readHeader(std::uint64_t id, Connection& c);
  void readBody(std::uint64_t id, Connection& c);
  void writeReply(std::uint64_t id, Connection& c);
  void dispatch(std::uint64_t id, Connection& c);
  void collectAnswers();
  void expire();
  void closeConnection(std::uint64_t id);
  bool evictIdle();
  bool evictSlowestReader(std::uint64_t keep);
};

void PortServer::State::closeConnection(std::uint64_t id) {
  auto it = connections.find(id);
  if (it == connections.end()) return;
  totalHeld -= it->second.held;
  totalReplies -= it->second.reply.size();
  if (it->second.reply.size() >= kLargeReply) trimMemory = true;
  close(it->second.fd);
  connections.erase(it);
  open = connections.size();
}

// Closes the connection that has waited longest for its header; false when there is none.
bool PortServer::State::evictIdle() {
  auto oldest = connections.end();
  for (auto it = connections.begin(); it != connections.end(); ++it)
    if (it->second.phase == Phase::header &&
        (oldest == connections.end() || it->second.opened < oldest->second.opened))
      oldest = it;
  if (oldest == connections.end()) return false;
  closeConnection(oldest->first);
  return true;
}

// Closes the connection whose reply has waited longest to be read, other than `keep`; false
// when there is none.
bool PortServer::State::evictSlowestReader(std::uint64_t keep) {
  auto slowest = connections.end();
  for (auto it = connections.begin(); it != connections.end(); ++it)
    if (it->first != keep && it->second.phase == Phase::replying &&
        (slowest == connections.end() || it->second.replyDeadline < slowest->second.replyDeadline))
      slowest = it;
  if (slowest == connections.end()) return false;
  closeConnection(slowest->first);
  return true;
}

void PortServer::State::acceptNew() {
  for (int i = 0; i < 64; ++i) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if ((errno == EMFILE || errno == ENFILE) && !evictIdle())
        acceptPausedUntil = SteadyClock::now() + kAcceptPause;
      return;
    }
    if (!sameUser(fd)) {
      close(fd);
      continue;
    }
    if (connections.size() >= options.maxConnections && !evictIdle()) {
      // Every connection is busy with a request; this one gets no better by waiting here.
      close(fd);
      return;
    }
    Connection c;
    c.fd = fd;
    c.opened = SteadyClock::now();
    c.headerDeadline = deadlineAfter(options.headerTimeout);
    c.requestDeadline = deadlineAfter(options.requestTimeout);
    std::uint64_t id = nextID++;
    try {
      connections.emplace(id, std::move(c));
    } catch (...) {
      close(fd);
      return;
    }
    open = connections.size();
    // Clients send the header right after connecting; it is often here already.
    handle(id, POLLIN);
  }
}

void PortServer::State::handle(std::uint64_t id, short revents) {
  auto it = connections.find(id);
  if (it == connections.end()) return;
  Connection& c = it->second;
  try {
    switch (c.phase) {
      case Phase::header:
      case Phase::body:
        if (revents & (POLLIN | POLLHUP | POLLERR)) readHeader(id, c);
        return;
      case Phase::replying:
        if (revents & (POLLOUT | POLLHUP | POLLERR)) writeReply(id, c);
        return;
      case Phase::answering:
        return;
    }
  } catch (...) {
    // An exchange that throws, or memory that runs out, ends this connection only.
    closeConnection(id);
  }
}

void PortServer::State::readHeader(std::uint64_t id, Connection& c) {
  while (c.phase == Phase::header) {
    ssize_t n =
        recv(c.fd, c.header + c.headerHave, kRequestHeaderBytes - c.headerHave, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) return closeConnection(id);
    c.headerHave += static_cast<std::size_t>(n);
    if (c.headerHave < kRequestHeaderBytes) continue;
    RequestHeader header = decodeRequestHeader(c.header);
    if (header.length > options.maxRequestBytes) return closeConnection(id);
    c.exchange = exchanges(header.messageID, header.length);
    if (!c.exchange) return closeConnection(id);
    c.phase = Phase::body;
    c.remaining = header.length;
  }
  readBody(id, c);
}

void PortServer::State::readBody(std::uint64_t id, Connection& c) {
  std::size_t thisTurn = 0;
  while (c.remaining > 0 && thisTurn < kReadPerTurn) {
    std::size_t want = std::min<std::size_t>(c.remaining, buffer.size());
    ssize_t n = recv(c.fd, buffer.data(), want, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) return closeConnection(id);
    c.remaining -= static_cast<std::uint32_t>(n);
    thisTurn += static_cast<std::size_t>(n);
    if (!c.exchange->take({buffer.data(), static_cast<std::size_t>(n)})) return closeConnection(id);
    totalHeld -= c.held;
    c.held = c.exchange->heldBytes();
    totalHeld += c.held;
    if (totalHeld > options.maxHeldBytes) return closeConnection(id);
  }
  if (c.remaining == 0) dispatch(id, c);
}

void PortServer::State::dispatch(std::uint64_t id, Connection& c) {
  {
    std::lock_guard lock(jobsMutex);
    jobs.push_back(Job{id, std::move(c.exchange)});
  }
  c.phase = Phase::answering;
  jobsReady.notify_one();
}

void PortServer::State::workerLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(jobsMutex);
      jobsReady.wait(lock, [&] { return closingJobs || !jobs.empty(); });
      if (closingJobs) return;  // nobody is left to send an answer to
      job = std::move(jobs.front());
      jobs.pop_front();
    }
    Answer answer;
    try {
      answer = job.exchange->finish();
    } catch (...) {
      answer = Answer{Ending::close, {}};
    }
    job.exchange.reset();
    {
      std::lock_guard lock(doneMutex);
      done.push_back(Done{job.id, std::move(answer)});
    }
    signalWake();
  }
}

void PortServer::State::collectAnswers() {
  {
    std::lock_guard lock(doneMutex);
    collected.swap(done);
  }
  for (Done& d : collected) {
    auto it = connections.find(d.id);
    if (it == connections.end()) continue;
    Connection& c = it->second;
    totalHeld -= c.held;
    c.held = 0;
    switch (d.answer.ending) {
      case Ending::close:
        closeConnection(d.id);
        continue;
      case Ending::reply:
        if (d.answer.payload.size() > UINT32_MAX) {
          closeConnection(d.id);
          continue;
        }
        while (totalReplies + d.answer.payload.size() > options.maxReplyBytes &&
               evictSlowestReader(d.id)) {
        }
        c.reply = std::move(d.answer.payload);
        totalReplies += c.reply.size();
        c.replyHeader = encodeReplyHeader(static_cast<std::uint32_t>(c.reply.size()));
        c.phase = Phase::replying;
        c.replyDeadline = deadlineAfter(options.replyTimeout);
        handle(d.id, POLLOUT);
        continue;
    }
  }
  collected.clear();
}

void PortServer::State::writeReply(std::uint64_t id, Connection& c) {
  for (;;) {
    std::string_view rest;
    if (c.sent < kReplyHeaderBytes)
      rest = {c.replyHeader.data() + c.sent, kReplyHeaderBytes - c.sent};
    else
      rest = std::string_view(c.reply).substr(c.sent - kReplyHeaderBytes);
    if (rest.empty()) return closeConnection(id);
    ssize_t n = send(c.fd, rest.data(), rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) return closeConnection(id);
    c.sent += static_cast<std::size_t>(n);
  }
}

void PortServer::State::expire() {
  auto now = SteadyClock::now();
  std::vector<std::uint64_t> late;
  for (auto& [id, c] : connections) {
    bool due = false;
    if (c.phase == Phase::header) due = now >= c.headerDeadline || now >= c.requestDeadline;
    if (c.phase == Phase::body) due = now >= c.requestDeadline;
    if (c.phase == Phase::replying) due = now >= c.replyDeadline;
    if (due) late.push_back(id);
  }
  for (std::uint64_t id : late) closeConnection(id);
}

void PortServer::State::ioLoop() {
  std::vector<pollfd> fds;
  std::vector<std::uint64_t> ids;
  while (!stopping) {
    try {
      fds.clear();
      ids.clear();
      auto now = SteadyClock::now();
      fds.push_back({wake, POLLIN, 0});
      fds.push_back({-1, POLLIN, 0});  // the listener, once the pass below says there is room
      Deadline next = Deadline::max();
      bool someWaitForHeader = false;
      for (auto& [id, c] : connections) {
        short events = 0;
        switch (c.phase) {
          case Phase::header:
            events = POLLIN;
            next = std::min({next, c.headerDeadline, c.requestDeadline});
            someWaitForHeader = true;
            break;
          case Phase::body:
            events = POLLIN;
            next = std::min(next, c.requestDeadline);
            break;
          case Phase::replying:
            events = POLLOUT;
            next = std::min(next, c.replyDeadline);
            break;
          case Phase::answering:
            break;
        }
        if (events == 0) continue;
        fds.push_back({c.fd, events, 0});
        ids.push_back(id);
      }
      // Past the limit, room is made by closing a connection still waiting for its header.
      bool canMakeRoom = connections.size() < options.maxConnections || someWaitForHeader;
      if (canMakeRoom && now >= acceptPausedUntil) fds[1].fd = listener;
      if (!canMakeRoom) next = std::min(next, Deadline(now + kAcceptPause));
      if (now < acceptPausedUntil) next = std::min(next, Deadline(acceptPausedUntil));
      int timeout = next == Deadline::max() ? -1 : millisecondsUntil(next);
      int n = poll(fds.data(), fds.size(), timeout);
      if (n < 0 && errno != EINTR) std::this_thread::sleep_for(kAcceptPause);
      if (n > 0 && fds[0].revents) {
        std::uint64_t count;
        if (read(wake, &count, sizeof count) < 0) {
          // Nothing to drain: another read got there first.
        }
      }
      if (stopping) break;
      collectAnswers();
      if (n > 0) {
        for (std::size_t i = 2; i < fds.size(); ++i)
          if (fds[i].revents) handle(ids[i - 2], fds[i].revents);
        if (fds[1].revents & POLLIN) acceptNew();
      }
      expire();
      if (trimMemory) {
        releaseFreeMemory();
        trimMemory = false;
      }
    } catch (...) {
      // Memory ran out outside any one connection; the next turn tries again.
      std::this_thread::sleep_for(kAcceptPause);
    }
  }
  for (auto& [id, c] : connections) close(c.fd);
  connections.clear();
  open = 0;
}

PortServer::PortServer(std::string socketPath, ExchangeFactory exchanges, PortServerOptions options)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = std::move(socketPath);
  s.exchanges = std::move(exchanges);
  s.options = options;
  s.options.workers = std::max<std::size_t>(1, s.options.workers);
  s.options.maxConnections = std::max<std::size_t>(1, s.options.maxConnections);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (s.path.size() >= sizeof address.sun_path)
    throw ServerError("The socket path is too long: " + s.path);
  std::memcpy(address.sun_path, s.path.c_str(), s.path.size() + 1);
  s.listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  s.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (s.listener < 0 || s.wake < 0) {
    std::string reason = std::strerror(errno);
    if (s.listener >= 0) close(s.listener);
    if (s.wake >= 0) close(s.wake);
    throw ServerError("Can't make a socket: " + reason);
  }
  // The caller holds the instance lock, so a socket already there belongs to a dead server.
  unlink(s.path.c_str());
  // Created 0600 from the start: no moment exists in which another user could connect.
  mode_t previous = umask(0177);
  int bound = bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  umask(previous);
  if (bound != 0 || chmod(s.path.c_str(), 0600) != 0 || listen(s.listener, 128) != 0) {
    std::string reason = std::strerror(errno);
    close(s.listener);
    close(s.wake);
    throw ServerError("Can't serve " + s.path + ": " + reason);
  }
  s.done.reserve(s.options.maxConnections);
  s.collected.reserve(s.options.maxConnections);
  s.buffer.resize(kReadChunk);
}

PortServer::PortServer(std::string socketPath, Responder responder, PortServerOptions options)
    : PortServer(
          std::move(socketPath),
          [responder = std::move(responder)](std::uint32_t, std::uint32_t length) {
            return makeBufferedExchange(length, [&responder](std::string_view request) {
              return Answer{Ending::reply, responder(request)};
            });
          },
          options) {}

PortServer::~PortServer() {
  stop();
  close(state_->wake);
}

void PortServer::start() {
  State& s = *state_;
  if (s.started) return;
  s.started = true;
  for (std::size_t i = 0; i < s.options.workers; ++i) {
    try {
      s.workers.emplace_back([&s] { s.workerLoop(); });
    } catch (const std::system_error&) {
      break;  // fewer workers answer more slowly, but they answer
    }
  }
  try {
    if (s.workers.empty()) throw ServerError("Can't start a thread to answer requests.");
    s.io = std::thread([&s] { s.ioLoop(); });
  } catch (const std::system_error& e) {
    stop();
    throw ServerError(std::string("Can't start a thread to serve the port: ") + e.what());
  } catch (...) {
    stop();
    throw;
  }
}

void PortServer::stop() {
  State& s = *state_;
  if (s.stopped) return;
  s.stopped = true;
  s.stopping = true;
  s.signalWake();
  if (s.io.joinable()) s.io.join();
  {
    std::lock_guard lock(s.jobsMutex);
    s.closingJobs = true;
  }
  s.jobsReady.notify_all();
  for (std::thread& worker : s.workers) worker.join();
  s.workers.clear();
  s.jobs.clear();
  close(s.listener);
  unlink(s.path.c_str());
}

std::size_t PortServer::openConnections() const { return state_->open; }

}  // namespace nolt::platform
