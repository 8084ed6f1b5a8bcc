#include "wire/cli_records.h"

#include <gtest/gtest.h>

namespace nolt::wire {
namespace {

TEST(CLIRequestTest, AlwaysWritesBothKeys) {
  EXPECT_EQ((CLIRequest{"spaces", {}}).encode(), R"({"arguments":{},"command":"spaces"})");
  CLIRequest search{"search", JSONObject{{"query", "red chair"}, {"limit", 5}}};
  EXPECT_EQ(CLIRequest::decode(search.encode()), search);
}

TEST(CLIRequestTest, DecodingRequiresBothKeysWithTheirTypes) {
  for (std::string_view text :
       {R"({"command":"x"})", R"({"arguments":{}})", R"({"command":1,"arguments":{}})",
        R"({"command":"x","arguments":[]})", "[]"})
    EXPECT_THROW(CLIRequest::decode(text), JSONDecodingError) << text;
}

TEST(CLIResponseTest, MissingAndNullMembersAreAbsent) {
  for (std::string_view text :
       {"{}", R"({"result":null})", R"({"result":null,"error":null})", R"({"other":1})"}) {
    CLIResponse r = CLIResponse::decode(text);
    EXPECT_FALSE(r.result) << text;
    EXPECT_FALSE(r.error) << text;
  }
  CLIResponse both = CLIResponse::decode(R"({"result":[1,2],"error":"No such item."})");
  EXPECT_EQ(both.result, JSONValue(JSONArray{1, 2}));
  EXPECT_EQ(both.error, "No such item.");
}

TEST(CLIResponseTest, RejectsWhatIsNotAReply) {
  for (std::string_view text : {"[]", "\"text\"", R"({"error":5})", "not json"})
    EXPECT_THROW(CLIResponse::decode(text), JSONDecodingError) << text;
}

TEST(CLIResponseTest, WritesOnlyPresentMembers) {
  EXPECT_EQ(CLIResponse{}.encode(), "{}");
  EXPECT_EQ((CLIResponse{JSONValue(3), std::nullopt}).encode(), R"({"result":3})");
  // Written directly, as the whole object would be written.
  CLIResponse both{JSONValue(JSONObject{{"b", "x/y"}, {"a", JSONArray{1, 2.5}}}), "No."};
  EXPECT_EQ(both.encode(), both.toJSON().encode(JSONEncoding::plain));
}

}  // namespace
}  // namespace nolt::wire
