// cli/agent/rpc_loop.h - JSON-RPC 2.0 over lines: requests in, one reply line per request out.
// The loop is strictly sequential: each line is read, handled (host exchanges included) and
// answered before the next is read, so replies come out in request order. Nothing is ever
// written anywhere but the output, and nothing a client sends ends the loop.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "cli/agent/mcp_server.h"

namespace nolt::agent {

// Splits a byte stream into lines at line feeds, dropping a carriage return right before one;
// a last line without a line feed still counts. Each byte is scanned once and kept at most
// twice, so a line of megabytes costs time in proportion to its length.
class LineReader {
 public:
  // Reads up to `capacity` bytes into `buffer` and returns how many; 0 at end of input.
  using Source = std::function<std::size_t(char* buffer, std::size_t capacity)>;

  explicit LineReader(Source source) : source_(std::move(source)) {}

  // The next line without its ending, valid until the next call; none at end of input.
  std::optional<std::string_view> next();

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  static constexpr std::size_t kKeptBytes = 16 * kChunk;

  Source source_;
  std::string buffer_;       // bytes read; only [start_, end_) are still wanted
  std::size_t start_ = 0;    // where the next line begins
  std::size_t scanned_ = 0;  // bytes before this hold no line feed of the next line
  std::size_t end_ = 0;
  bool ended_ = false;
};

// The reply line (without its line feed) to one input line; none when the line is not
// answered (a notification, or a JSON value that is not an object).
std::optional<std::string> replyTo(MCPServer& server, std::string_view line);

// Serves the lines of `reader` until they end, or until `write` fails (the client has gone).
void serveLines(LineReader& reader, const std::function<bool(std::string_view)>& write,
                HostExchange send, StreamedExchange sendStreamed = {});
// Serves requests from `in` until it ends; returns then, or as soon as `out` is closed (the
// client has gone). Each reply is flushed as soon as it is written.
void serve(std::istream& in, std::ostream& out, HostExchange send);
// The same on file descriptors; ignores SIGPIPE so that a client that goes away cannot end
// the process in the middle of a host exchange.
void serve(int in, int out, HostExchange send, StreamedExchange sendStreamed = {});

}  // namespace nolt::agent
