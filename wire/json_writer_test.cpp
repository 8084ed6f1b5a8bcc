#include "wire/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nolt::wire {
namespace {

// Integral numbers are written exactly as long as a 64-bit integer holds them; past that, and
// for fractions, the shortest text that reads back as the same double.
TEST(JSONWriterTest, NumbersAreExactIntegersOrShortestDoubles) {
  struct Case {
    double number;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {-3, "-3"},
      {1700000000, "1700000000"},
      {9007199254740992.0, "9007199254740992"},  // 2^53
      {9007199254740994.0, "9007199254740994"},  // 2^53 + 2; 2^53 + 1 reads as 2^53
      {1e16, "10000000000000000"},
      {-9223372036854775808.0, "-9223372036854775808"},  // -2^63
      {9223372036854775808.0, "9223372036854775808"},    // 2^63, past int64: as a double
      {1e20, "1e+20"},
      {1e300, "1e+300"},
      {0.1, "0.1"},
      {786297600.25, "786297600.25"},
      {5e-324, "5e-324"},
  };
  for (const Case& c : cases) {
    std::string out;
    JSONWriter(out, JSONEncoding::plain).number(c.number);
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(*JSONValue::decode(out).number(), c.number) << out;
  }
  std::string out;
  EXPECT_THROW(JSONWriter(out, JSONEncoding::plain).number(std::nan("")), JSONEncodingError);
  EXPECT_THROW(JSONWriter(out, JSONEncoding::plain).number(-INFINITY), JSONEncodingError);
}

TEST(JSONWriterTest, OrderedObjectsKeepTheirOrderInEachEncoding) {
  std::vector<JSONObject::Member> members = {
      {"z", "a/b"},
      {"a", JSONArray{1, JSONObject{{"y", nullptr}, {"x", true}}}},
      {"m", JSONArray{}}};
  struct Case {
    JSONEncoding encoding;
    const char* text;
  } cases[] = {
      {JSONEncoding::plain, R"({"z":"a\/b","a":[1,{"x":true,"y":null}],"m":[]})"},
      {JSONEncoding::stream, R"({"z":"a/b","a":[1,{"x":true,"y":null}],"m":[]})"},
      {JSONEncoding::spaced, R"({"z": "a/b", "a": [1, {"x": true, "y": null}], "m": []})"},
      {JSONEncoding::pretty,
       "{\n  \"z\" : \"a/b\",\n  \"a\" : [\n    1,\n    {\n      \"x\" : true,\n"
       "      \"y\" : null\n    }\n  ],\n  \"m\" : []\n}"},
  };
  for (const Case& c : cases) {
    std::string out;
    JSONWriter(out, c.encoding).object(members);
    EXPECT_EQ(out, c.text);
  }
}

}  // namespace
}  // namespace nolt::wire
