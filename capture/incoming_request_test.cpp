#include "capture/incoming_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "wire/json_value.h"

namespace nolt::capture {
namespace {

using Kind = IncomingRequest::Kind;
// Requests below take std::string values, not C strings: GCC 12 at -O3 warns wrongly
// (-Wrestrict) about assigning a C string to a string member here.
using namespace std::string_literals;

platform::UUID uuid(std::string_view text) { return *platform::UUID::parse(text); }

IncomingRequest link(std::string url) {
  IncomingRequest request;
  request.kind = Kind::link;
  request.url = std::move(url);
  return request;
}

// Requests and their encodings, from a bare link to a file with every field.
struct Encoded {
  const char* name;
  IncomingRequest request;
  std::string json;
};

std::vector<Encoded> encodedRequests() {
  IncomingRequest file;
  file.kind = Kind::file;
  file.fileName = "image.png"s;
  file.sourceURL = "https://a.example/page?q=1"s;
  file.title = "A \"quoted\" title\n"s;
  file.spaceID = uuid("0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9");
  file.createdAt = 1.5;

  IncomingRequest text;
  text.kind = Kind::text;
  text.text = "caf\xC3\xA9 \xE2\x80\x94 bad\xFF"s;
  text.collectionID = uuid("00000000-0000-4000-8000-00000000000A");
  text.tags = {"red", "chair"};
  text.note = "n"s;
  text.createdAt = -2;

  IncomingRequest everything = file;
  everything.fileName = "a/b"s;
  everything.collectionID = text.collectionID;
  everything.tags = {"x", ""};
  everything.note = "line\nbreak"s;
  everything.createdAt = 12345.678;

  return {
      {"bare link", link("https://a.example/x"),
       R"({"kind":"link","url":"https:\/\/a.example\/x","tags":[],"note":"","createdAt":0})"},
      {"file URL keeps its scheme", link("file:///tmp/a%20b.txt"),
       R"({"kind":"link","url":"file:\/\/\/tmp\/a%20b.txt","tags":[],"note":"","createdAt":0})"},
      {"file with source and space", file,
       R"({"kind":"file","fileName":"image.png","sourceURL":"https:\/\/a.example\/page?q=1",)"
       R"("title":"A \"quoted\" title\n","spaceID":"0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9",)"
       R"("tags":[],"note":"","createdAt":1.5})"},
      {"text with collection and tags", text,
       "{\"kind\":\"text\",\"text\":\"caf\xC3\xA9 \xE2\x80\x94 bad\xEF\xBF\xBD\","
       R"("collectionID":"00000000-0000-4000-8000-00000000000A","tags":["red","chair"],)"
       R"("note":"n","createdAt":-2})"},
      {"file with every field", everything,
       R"({"kind":"file","fileName":"a\/b","sourceURL":"https:\/\/a.example\/page?q=1",)"
       R"("title":"A \"quoted\" title\n","spaceID":"0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9",)"
       R"("collectionID":"00000000-0000-4000-8000-00000000000A","tags":["x",""],)"
       R"("note":"line\nbreak","createdAt":12345.678})"},
  };
}

TEST(IncomingRequestTest, EncodesOnlyWhatIsPresent) {
  for (const Encoded& c : encodedRequests()) EXPECT_EQ(c.request.encoded(), c.json) << c.name;
}

TEST(IncomingRequestTest, DecodesWhatItEncodes) {
  // Text that was not UTF-8 comes back repaired, so the encoding is what must survive.
  for (const Encoded& c : encodedRequests()) {
    std::optional<IncomingRequest> decoded = IncomingRequest::decode(c.json);
    ASSERT_TRUE(decoded) << c.name;
    EXPECT_EQ(decoded->encoded(), c.json) << c.name;
  }
}

TEST(IncomingRequestTest, DatesCountSecondsFrom2001) {
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1.5, "1.5"},
      {786297600.25, "786297600.25"},
      {0.1, "0.1"},
      // Whole numbers are written exactly up to 2^63, as every JSON text here writes them.
      {9007199254740994.0, "9007199254740994"},
      {1e16, "10000000000000000"},
      {-9223372036854775808.0, "-9223372036854775808"},
      {1e300, "1e+300"},
  };
  for (const Case& c : cases) {
    IncomingRequest request = link("https://a.example");
    request.createdAt = c.seconds;
    std::string json = request.encoded();
    EXPECT_NE(json.find(std::string("\"createdAt\":") + c.text + "}"), std::string::npos) << json;
    EXPECT_EQ(IncomingRequest::decode(json)->createdAt, c.seconds);
  }
}

TEST(IncomingRequestTest, AnInstantJSONCannotHoldDoesNotEncode) {
  IncomingRequest request = link("https://a.example");
  request.createdAt = std::nan("");
  EXPECT_THROW(request.encoded(), wire::JSONEncodingError);
}

TEST(IncomingRequestTest, DecodingIsStrict) {
  const std::string tail = R"("tags":[],"note":"","createdAt":3})";
  struct Case {
    std::string json;
    bool decodes;
  } cases[] = {
      {R"({"kind":"text","text":"t",)" + tail, true},
      {R"({"kind":"text","text":null,"title":null,"spaceID":null,)" + tail, true},
      {R"({"kind":"link","url":"https:\/\/a.example","extra":{"x":[1,{"y":null}]},)" + tail, true},
      {R"({"kind":"link","spaceID":"0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9",)" + tail, true},
      {R"({"kind":"image",)" + tail, false},
      {R"({"kind":"Link",)" + tail, false},
      {R"({"kind":1,)" + tail, false},
      {R"({"kind":"text","tags":[],"note":"","createdAt":"3"})", false},
      {R"({"kind":"text","tags":[],"createdAt":3})", false},
      {R"({"kind":"text","note":"","createdAt":3})", false},
      {R"({"kind":"text","tags":[],"note":""})", false},
      {R"({"tags":[],"note":"","createdAt":3})", false},
      {R"({"kind":"text","tags":[1],"note":"","createdAt":3})", false},
      {R"({"kind":"text","tags":null,"note":"","createdAt":3})", false},
      {R"({"kind":"text","note":null,"tags":[],"createdAt":3})", false},
      {R"({"kind":"text","text":5,)" + tail, false},
      {R"({"kind":"link","spaceID":"not-a-uuid",)" + tail, false},
      {R"({"kind":"link","url":"",)" + tail, false},
      {R"({"kind":"link","url":"a b",)" + tail, false},
      {R"([{"kind":"text"}])", false},
      {R"({"kind":"text",)" + tail + " x", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IncomingRequest::decode(c.json).has_value(), c.decodes) << c.json;
}

}  // namespace
}  // namespace nolt::capture
