// The loop on C++ streams, for tests and fuzzing; nolt itself serves file descriptors, so this
// file (and C++'s stream set-up) stays out of it.
#include <algorithm>
#include <istream>
#include <ostream>

#include "cli/agent/rpc_loop.h"

namespace nolt::agent {

void serve(std::istream& in, std::ostream& out, HostExchange send) {
  std::streambuf* source = in.rdbuf();
  // Take what the stream holds, or wait for one byte: never wait for more than a client sent.
  LineReader reader([source](char* buffer, std::size_t capacity) -> std::size_t {
    std::streamsize held = source->in_avail();
    if (held > 0)
      return static_cast<std::size_t>(
          source->sgetn(buffer, std::min<std::streamsize>(held, capacity)));
    int c = source->sbumpc();
    if (c == std::char_traits<char>::eof()) return 0;
    buffer[0] = std::char_traits<char>::to_char_type(c);
    return 1;
  });
  serveLines(
      reader,
      [&out](std::string_view reply) {
        out.write(reply.data(), static_cast<std::streamsize>(reply.size()));
        out.flush();
        return static_cast<bool>(out);
      },
      std::move(send));
}

}  // namespace nolt::agent
