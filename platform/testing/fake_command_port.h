// platform/testing/fake_command_port.h - an in-process host port with scripted replies.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/command_port.h"

namespace nolt::platform::testing {

class FakeCommandPort : public CommandPort {
 public:
  struct Exchange {
    std::uint32_t messageID;
    std::string request;
    double sendTimeout, receiveTimeout;
  };

  std::unique_ptr<PortConnection> open(std::string_view name) override {
    ++opens;
    openedNames.emplace_back(name);
    if (!served) return nullptr;
    return std::make_unique<Connection>(*this);
  }

  bool served = true;
  PortConnection::Status status = PortConnection::Status::success;
  std::string reply = R"({"result":null})";
  // When set, replaces `reply` with an answer computed from the request text.
  std::function<std::string(const std::string& request)> answer;

  int opens = 0;
  std::vector<std::string> openedNames;
  std::vector<Exchange> exchanges;
  int liveConnections = 0;  // connections not yet released

 private:
  class Connection : public PortConnection {
   public:
    explicit Connection(FakeCommandPort& port) : port_(port) { ++port_.liveConnections; }
    ~Connection() override { --port_.liveConnections; }
    Status sendRequest(std::uint32_t messageID, std::string_view request, double sendTimeout,
                       double receiveTimeout, std::string& reply) override {
      port_.exchanges.push_back({messageID, std::string(request), sendTimeout, receiveTimeout});
      if (port_.status != Status::success) return port_.status;
      reply = port_.answer ? port_.answer(std::string(request)) : port_.reply;
      return Status::success;
    }

   private:
    FakeCommandPort& port_;
  };
};

}  // namespace nolt::platform::testing
