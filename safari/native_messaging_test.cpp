#include "safari/native_messaging.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace nolt::safari {
namespace {

std::string frame(std::string_view body) {
  auto length = static_cast<std::uint32_t>(body.size());
  std::string out(4, '\0');
  std::memcpy(out.data(), &length, 4);
  return out + std::string(body);
}

// Serves `input`, answering each request with what it received; returns the replies.
struct Served {
  int status;
  std::vector<std::string> seen;  // each request's message as JSON, or "-" when it had none
  std::string output;
};

Served serveBytes(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  Served served;
  served.status = serve(in, out, [&](ExtensionContext& context) {
    const auto& userInfo = *context.inputItems().at(0).userInfo;
    const wire::JSONValue* message = userInfo.find(SFExtensionMessageKey);
    served.seen.push_back(message ? message->encode(wire::JSONEncoding::plain) : "-");
    wire::JSONObject reply{{"ok", true}};
    context.completeRequest(
        {ExtensionItem{wire::JSONObject{{std::string(SFExtensionMessageKey), reply}}}});
  });
  served.output = out.str();
  return served;
}

TEST(NativeMessagingTest, ServesEachFrameUntilTheInputEnds) {
  const std::string ok = frame(R"({"ok":true})");
  struct Case {
    const char* name;
    std::string input;
    int status;
    std::vector<std::string> seen;
  } cases[] = {
      {"nothing", "", 0, {}},
      {"two messages",
       frame(R"({"action":"destinations"})") + frame("[1,\"\\/\"]"),
       0,
       {R"({"action":"destinations"})", "[1,\"\\/\"]"}},
      {"not JSON", frame("{\"a\":") + frame(""), 0, {"-", "-"}},
      {"header cut short", frame("{}") + std::string("\x02\x00", 2), 1, {"{}"}},
      {"body cut short", frame("{}") + frame("{\"a\":1}").substr(0, 7), 1, {"{}"}},
      {"declares more than it sends", std::string("\x00\x00\x00\x03", 4) + "{}", 1, {}},
      {"oversized", frame("{}") + std::string("\x01\x00\x00\x04", 4) + "{}", 1, {"{}"}},
      {"largest length", std::string("\xFF\xFF\xFF\xFF", 4), 1, {}},
  };
  for (const Case& c : cases) {
    Served served = serveBytes(c.input);
    EXPECT_EQ(served.status, c.status) << c.name;
    EXPECT_EQ(served.seen, c.seen) << c.name;
    std::string replies;
    for (std::size_t i = 0; i < c.seen.size(); ++i) replies += ok;
    EXPECT_EQ(served.output, replies) << c.name;
  }
}

TEST(NativeMessagingTest, ReadsAFrameAtTheLimit) {
  std::string body = "\"" + std::string(kMaxMessageSize - 2, 'x') + "\"";
  std::istringstream in(frame(body));
  std::string message;
  EXPECT_EQ(readFrame(in, message), FrameStatus::message);
  EXPECT_EQ(message.size(), kMaxMessageSize);
  EXPECT_EQ(readFrame(in, message), FrameStatus::end);
}

// A browser drops a message over 1 MiB from its native host; the extension still gets an answer.
TEST(NativeMessagingTest, AReplyOverTheBrowsersLimitBecomesAnError) {
  for (std::size_t size : {std::size_t{kMaxReplySize}, std::size_t{kMaxReplySize} + 1}) {
    std::string text(size - 2, 'x');  // a JSON string of `size` bytes with its quotes
    std::istringstream in(frame("{}"));
    std::ostringstream out;
    serve(in, out, [&](ExtensionContext& context) {
      context.completeRequest(
          {ExtensionItem{wire::JSONObject{{std::string(SFExtensionMessageKey), text}}}});
    });
    EXPECT_EQ(out.str(), size <= kMaxReplySize ? frame("\"" + text + "\"")
                                               : frame(R"({"ok":false,"error":"replyTooLarge"})"));
  }
}

}  // namespace
}  // namespace nolt::safari
