#include "cli/agent/rpc_loop.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>

#include "platform/json_reader.h"
#include "platform/json_text.h"

namespace nolt::agent {

using platform::json::firstInvalidUTF8;
using wire::JSONEncoding;
using wire::JSONEncodingError;
using wire::JSONObject;
using wire::JSONValue;

namespace {

constexpr std::string_view kParseErrorReply =
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})";

// The success or error reply around an already written result or error object.
std::string envelope(const JSONValue& id, std::string_view member, std::string_view body) {
  std::string idText = id.encode(JSONEncoding::stream);
  std::string line;
  // Room for the line feed too, which serveLines adds.
  line.reserve(body.size() + idText.size() + member.size() + 29);
  line.append(R"({"jsonrpc":"2.0","id":)").append(idText);
  line.append(",\"").append(member).append("\":").append(body).append("}");
  return line;
}

std::string errorReply(const JSONValue& id, int code, std::string_view message) {
  JSONValue error = JSONObject{{"code", code}, {"message", message}};
  return envelope(id, "error", error.encode(JSONEncoding::stream));
}

// The members of a request that the server reads, "id", "method" and "params", each the last
// of its name as in a decoded object. The whole line is still read as JSON, so any line that
// is not exactly one JSON value is refused alike, but other members are not built: a ping
// costs no more than its id and method.
class RequestReader final : public platform::json::Sink {
 public:
  bool isObject() const { return isObject_; }
  const JSONValue* id() const { return id_ ? &*id_ : nullptr; }
  const JSONValue* method() const { return method_ ? &*method_ : nullptr; }
  const JSONValue* params() const { return params_ ? &*params_ : nullptr; }

  bool null() override {
    return scalar([](Sink& s) { return s.null(); });
  }
  bool boolean(bool b) override {
    return scalar([b](Sink& s) { return s.boolean(b); });
  }
  bool number(double d) override {
    return scalar([d](Sink& s) { return s.number(d); });
  }
  bool string(std::string_view t) override {
    return scalar([t](Sink& s) { return s.string(t); });
  }
  bool key(std::string_view k) override {
    if (depth_ > 1) return !target_ || value_.key(k);
    if (isObject_)
      target_ = k == "id" ? &id_ : k == "method" ? &method_ : k == "params" ? &params_ : nullptr;
    return true;
  }
  bool beginArray() override { return begin(false); }
  bool endArray() override {
    return end([](Sink& s) { return s.endArray(); });
  }
  bool beginObject() override { return begin(true); }
  bool endObject() override {
    return end([](Sink& s) { return s.endObject(); });
  }

 private:
  // A kept member's value is built from its events; it is complete once they return to the
  // request's own level.
  template <class Event>
  bool scalar(Event event) {
    if (!target_) return true;
    event(value_);
    if (depth_ == 1) keep();
    return true;
  }
  bool begin(bool isObject) {
    if (depth_++ == 0) {
      isObject_ = isObject;
    } else if (target_) {
      isObject ? value_.beginObject() : value_.beginArray();
    }
    return true;
  }
  template <class Event>
  bool end(Event event) {
    if (--depth_ > 0 && target_) {
      event(value_);
      if (depth_ == 1) keep();
    }
    return true;
  }
  void keep() {
    *target_ = value_.take();
    target_ = nullptr;
  }

  bool isObject_ = false;
  std::size_t depth_ = 0;                       // how many arrays and objects are open
  std::optional<JSONValue>* target_ = nullptr;  // where the member being read is kept
  wire::JSONValueBuilder value_;
  std::optional<JSONValue> id_, method_, params_;
};

// Writes all bytes, waiting while the descriptor is full; false once it is closed or broken.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, -1);
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

std::size_t readSome(int fd, char* buffer, std::size_t capacity) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, capacity);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, -1);
    } else if (errno != EINTR) {
      return 0;  // an input that cannot be read any more has ended
    }
  }
}

}  // namespace

std::optional<std::string_view> LineReader::next() {
  for (;;) {
    const char* base = buffer_.data();
    if (const void* feed = std::memchr(base + scanned_, '\n', end_ - scanned_)) {
      std::size_t at = static_cast<std::size_t>(static_cast<const char*>(feed) - base);
      std::string_view line(base + start_, at - start_);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      start_ = scanned_ = at + 1;
      return line;
    }
    scanned_ = end_;
    if (ended_) {
      if (start_ == end_) return std::nullopt;
      std::string_view line(base + start_, end_ - start_);
      start_ = scanned_ = end_;
      return line;
    }
    // A session that once carried a line of megabytes does not keep its buffer.
    if (start_ == end_ && buffer_.size() > kKeptBytes) {
      std::string().swap(buffer_);
      start_ = scanned_ = end_ = 0;
    }
    // Move the unfinished line to the front, then read more after it. Once a long line sits
    // at the front it is never moved again; the buffer grows by doubling.
    if (start_ > 0) {
      std::memmove(buffer_.data(), base + start_, end_ - start_);
      end_ -= start_;
      scanned_ = end_;
      start_ = 0;
    }
    if (buffer_.size() < end_ + kChunk) buffer_.resize(std::max(2 * buffer_.size(), end_ + kChunk));
    std::size_t n = source_(buffer_.data() + end_, buffer_.size() - end_);
    if (n == 0) ended_ = true;
    end_ += n;
  }
}

std::optional<std::string> replyTo(MCPServer& server, std::string_view line) {
  std::string repaired;
  if (firstInvalidUTF8(line) != std::string_view::npos) {
    repaired = platform::json::replaceInvalidUTF8(line);
    line = repaired;
  }
  RequestReader request;
  if (platform::json::read(line, request)) return std::string(kParseErrorReply);
  // Batches are not supported: an array is dropped like any other value that is not an object.
  if (!request.isObject()) return std::nullopt;
  // Notifications carry no id; they are neither answered nor acted upon.
  const JSONValue* id = request.id();
  if (!id) return std::nullopt;
  // A method given as a number is dispatched by its decimal text; any other type as "".
  const JSONValue* method = request.method();
  std::string number = method && method->number() ? *method->stringValue() : "";
  std::string_view name = method && method->string() ? *method->string() : number;
  std::string result;
  try {
    result = server.resultText(name, request.params());
  } catch (const MCPServer::RPCError& error) {
    return errorReply(*id, error.code(), error.text());
  } catch (const JSONEncodingError&) {
    return std::nullopt;  // a reply that cannot be written is skipped
  } catch (const std::exception& failure) {
    return errorReply(*id, -32603, link::errorText(failure));
  }
  return envelope(*id, "result", result);
}

void serveLines(LineReader& reader, const std::function<bool(std::string_view)>& write,
                HostExchange send, StreamedExchange sendStreamed) {
  MCPServer server(std::move(send), std::move(sendStreamed));
  while (std::optional<std::string_view> line = reader.next()) {
    std::optional<std::string> reply = replyTo(server, *line);
    if (!reply) continue;
    reply->push_back('\n');
    if (!write(*reply)) return;
  }
}

void serve(int in, int out, HostExchange send, StreamedExchange sendStreamed) {
  ::signal(SIGPIPE, SIG_IGN);
  LineReader reader(
      [in](char* buffer, std::size_t capacity) { return readSome(in, buffer, capacity); });
  serveLines(
      reader, [out](std::string_view reply) { return writeAll(out, reply); }, std::move(send),
      std::move(sendStreamed));
}

}  // namespace nolt::agent
