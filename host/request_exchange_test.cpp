#include "host/request_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "host/testing/host_fixture.h"
#include "platform/base64.h"
#include "wire/cli_records.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using wire::JSONObject;
using wire::JSONValue;

class RequestExchangeTest : public testing::HostFixture {
 protected:
  // Feeds the request in parts of `part` bytes; the reply as a response record.
  wire::CLIResponse exchange(std::string_view request, std::size_t part) {
    auto exchange = makeRequestExchange(handlers_, files_, std::uint32_t(request.size()));
    for (std::size_t at = 0; at < request.size(); at += part) {
      EXPECT_TRUE(exchange->take(request.substr(at, part)));
      maxHeld_ = std::max(maxHeld_, exchange->heldBytes());
    }
    platform::PortExchange::Answer answer = exchange->finish();
    EXPECT_EQ(answer.ending, platform::PortExchange::Ending::reply);
    return wire::CLIResponse::decode(answer.payload);
  }
  static std::string addFile(std::string_view name, std::string_view data) {
    return wire::CLIRequest{
        "add_file",
        JSONObject{{"name", std::string(name)}, {"data", std::string(data)}, {"title", "Clip"}}}
        .encode();
  }
  // Every file the store holds, besides files it is still receiving.
  std::vector<fs::path> storedFiles() {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder_ / "Files", ec), end; !ec && it != end;
         it.increment(ec))
      if (it->is_regular_file()) found.push_back(it->path());
    return found;
  }
  std::size_t maxHeld_ = 0;
};

TEST_F(RequestExchangeTest, AFileInManySmallPartsOrOneIsStoredByteForByte) {
  std::string bytes(3 * 1000 * 1000 + 1, '\0');
  std::mt19937 random(7);
  for (char& c : bytes) c = static_cast<char>(random());
  std::string text = platform::base64::encode(bytes);
  // The encoder writes every "/" as "\/"; nolt streams a file's text with "/" as it is.
  std::string escaped = addFile("clip.mp4", text);
  ASSERT_NE(escaped.find("\\/"), std::string::npos);
  std::string plain = escaped;
  std::size_t at = plain.find("\"data\":\"") + 8;
  plain.replace(at, plain.find('"', at) - at, text);
  for (const std::string& request : {escaped, plain}) {
    for (std::size_t part : {std::size_t(7), std::size_t(4096), request.size()}) {
      maxHeld_ = 0;
      wire::CLIResponse response = exchange(request, part);
      ASSERT_FALSE(response.error) << *response.error;
      std::string id = *response.result->subscript("id")->string();
      EXPECT_EQ(files_.read(id, "clip.mp4"), bytes) << "in parts of " << part;
      EXPECT_EQ(library_.item(id)->title, "Clip");
      // At most a block of bytes waiting for the disk is held, never the file.
      EXPECT_LT(maxHeld_, 300'000u) << "in parts of " << part;
    }
  }
}

TEST_F(RequestExchangeTest, OtherRequestsAndBadOnesGetTheirUsualAnswers) {
  struct Case {
    std::string request;
    std::string error;  // empty for success
  } cases[] = {
      {wire::CLIRequest{"spaces", {}}.encode(), ""},
      {addFile("a.png", "not base64!"), "The content of a.png isn't Base64."},
      {addFile("notes.txt", "QUJD"), "Nolt saves images, videos and PDFs; notes.txt isn't one."},
      {R"({"command":"add_file","arguments":{"name":"a.png","data":7}})",
       "The content of a.png isn't Base64."},
      {R"({"command":"add_file","arguments":{"name":"a.png"}})",
       "Send the file's name and its content as Base64 (\"name\" and \"data\")."},
      {R"({"arguments":{"data":"QUJD"},"command":"spaces"})", ""},
      {"{\"command\":", "Nolt couldn't read the request."},
      {"not json at all", "Nolt couldn't read the request."},
  };
  for (const Case& c : cases) {
    for (std::size_t part : {std::size_t(1), c.request.size()}) {
      wire::CLIResponse response = exchange(c.request, part);
      EXPECT_EQ(response.error.value_or(""), c.error) << c.request << " in parts of " << part;
    }
  }
  // Whatever was refused left nothing in the store.
  EXPECT_EQ(storedFiles(), std::vector<fs::path>());
}

TEST_F(RequestExchangeTest, ARequestCutShortInsideTheFileLeavesNothingBehind) {
  std::string request = addFile("clip.mp4", platform::base64::encode(std::string(100000, 'x')));
  {
    auto exchange = makeRequestExchange(handlers_, files_, std::uint32_t(request.size()));
    ASSERT_TRUE(exchange->take(std::string_view(request).substr(0, request.size() / 2)));
    ASSERT_FALSE(storedFiles().empty());  // the file being received
  }  // the connection ended: the exchange goes without finishing
  EXPECT_EQ(storedFiles(), std::vector<fs::path>());
}

}  // namespace
}  // namespace nolt::host
