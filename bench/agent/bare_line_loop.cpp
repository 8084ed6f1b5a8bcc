// The floor for nolt mcp's line loop: read a line, parse it with Boost.JSON, write a fixed
// reply, flush. It answers every line alike and knows no method.
#include <boost/json.hpp>
#include <iostream>
#include <string>

int main() {
  std::ios::sync_with_stdio(false);
  const std::string reply = R"({"jsonrpc":"2.0","id":1,"result":{}})"
                            "\n";
  std::string line;
  boost::json::error_code ec;
  while (std::getline(std::cin, line)) {
    boost::json::value value = boost::json::parse(line, ec);
    (void)value;
    std::cout.write(reply.data(), static_cast<std::streamsize>(reply.size()));
    std::cout.flush();
  }
  return 0;
}
