#include "wire/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "wire/json_writer.h"

namespace nolt::wire {
namespace {

using Kind = JSONValue::Kind;

TEST(JSONValueTest, DecodesEachCaseWithoutConfusingThem) {
  EXPECT_EQ(JSONValue::decode("true").kind(), Kind::boolean);
  EXPECT_EQ(JSONValue::decode("1").kind(), Kind::number);
  EXPECT_EQ(JSONValue::decode(R"("1")").kind(), Kind::string);
  EXPECT_EQ(JSONValue::decode("null").kind(), Kind::null);
  EXPECT_EQ(JSONValue::decode(R"([1, "a", null])"), (JSONValue(JSONArray{1, "a", nullptr})));
  EXPECT_EQ(JSONValue::decode(R"({"b": {"c": []}, "a": 1})"),
            (JSONValue(JSONObject{{"a", 1}, {"b", JSONObject{{"c", JSONArray{}}}}})));
}

TEST(JSONValueTest, RejectsWhatIsNotOneJSONValue) {
  for (std::string_view text : {"", " ", "[1,]", "{\"a\"}", "1 2", "nul", "\"\xff\"", "[1", "{",
                                "1e400", "-1e999", "{\"a\":1}}", "{\"a\":1}x", "tru"})
    EXPECT_THROW(JSONValue::decode(text), JSONDecodingError) << text;
}

TEST(JSONValueTest, ReadsEachNumberAsTheNearestDouble) {
  // Seventeen-digit texts that a lazy conversion turns into a neighbouring double.
  for (double d : {0.30000000000000004, 2.2250738585072014e-308, 1.7976931348623157e308, 5e-324,
                   0.1, 123456789012345680.0, 9007199254740993.0})
    EXPECT_EQ(*JSONValue::decode(decimalText(d)).number(), d) << decimalText(d);
  EXPECT_EQ(*JSONValue::decode("18446744073709551616").number(), 18446744073709551616.0);
  EXPECT_EQ(*JSONValue::decode("100000000000000000000000000000").number(), 1e29);
  EXPECT_EQ(*JSONValue::decode("1e-400").number(), 0.0);
  EXPECT_TRUE(std::signbit(*JSONValue::decode("-1e-400").number()));
  EXPECT_EQ(*JSONValue::decode("0.0000000000000000000000000000000000001e-300").number(), 0.0);
  EXPECT_THROW(JSONValue::decode("10000000000000000000000e300"), JSONDecodingError);
}

TEST(JSONValueTest, NestingIsBoundedWithoutExhaustingTheStack) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(JSONValue::decode(nested(512)));
  EXPECT_NO_THROW(JSONValue::decode(nested(1000)));
  EXPECT_THROW(JSONValue::decode(nested(1001)), JSONDecodingError);
  EXPECT_THROW(JSONValue::decode(std::string(1'000'000, '[')), JSONDecodingError);
}

TEST(JSONValueTest, LaterDuplicateKeyWins) {
  EXPECT_EQ(*JSONValue::decode(R"({"a":1,"b":2,"a":3})").subscript("a"), JSONValue(3));
  JSONObject o{{"x", 1}, {"x", 2}};
  EXPECT_EQ(o.size(), 1u);
  EXPECT_EQ(*o.find("x"), JSONValue(2));
}

TEST(JSONValueTest, EqualityIsStructuralAndHashingAgrees) {
  JSONValue a = JSONValue::decode(R"({"k":[1,{"z":null,"y":-0}],"j":"s"})");
  JSONValue b = JSONValue::decode(R"({"j":"s","k":[1.0,{"y":0,"z":null}]})");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_NE(JSONValue(true), JSONValue(1));
  EXPECT_NE(JSONValue("1"), JSONValue(1));
  EXPECT_NE(JSONValue(JSONArray{1, 2}), JSONValue(JSONArray{2, 1}));
  EXPECT_NE(JSONValue(JSONObject{{"a", 1}}), JSONValue(JSONObject{{"a", 1}, {"b", 1}}));
  EXPECT_NE(JSONValue().hash(), JSONValue(false).hash());
  JSONValue copy = a;
  EXPECT_EQ(copy, a);
}

TEST(JSONValueTest, SubscriptFindsMembersOfObjectsOnly) {
  JSONValue v = JSONValue::decode(R"({"id":null})");
  ASSERT_NE(v.subscript("id"), nullptr);
  EXPECT_TRUE(v.subscript("id")->isNull());
  EXPECT_EQ(JSONValue(JSONObject{}).subscript("id"), nullptr);
  EXPECT_EQ(JSONValue(JSONArray{1}).subscript("id"), nullptr);
}

TEST(JSONValueTest, StringValue) {
  struct Case {
    JSONValue value;
    std::optional<std::string> text;
  };
  for (const Case& c : std::vector<Case>{{3, "3"},
                                         {2.5, "2.5"},
                                         {-0.0, "0"},
                                         {0.1, "0.1"},
                                         {-3, "-3"},
                                         {1e18, "1000000000000000000"},
                                         {1e20, "1e+20"},
                                         {1e300, "1e+300"},
                                         {"text", "text"},
                                         {true, std::nullopt},
                                         {nullptr, std::nullopt},
                                         {JSONArray{}, std::nullopt}})
    EXPECT_EQ(c.value.stringValue(), c.text) << c.value.prettyText();
}

TEST(JSONValueTest, IntValue) {
  struct Case {
    JSONValue value;
    std::optional<std::int64_t> integer;
  };
  for (const Case& c : std::vector<Case>{{2.9, 2},
                                         {-2.9, -2},
                                         {"42", 42},
                                         {"+7", 7},
                                         {"-12", -12},
                                         {"9223372036854775807", INT64_MAX},
                                         {"9223372036854775808", std::nullopt},
                                         {"", std::nullopt},
                                         {"+", std::nullopt},
                                         {" 5", std::nullopt},
                                         {"5 ", std::nullopt},
                                         {"12a", std::nullopt},
                                         {"+-1", std::nullopt},
                                         {9.3e18, std::nullopt},
                                         {-9223372036854775808.0, INT64_MIN},
                                         {true, std::nullopt},
                                         {nullptr, std::nullopt}})
    EXPECT_EQ(c.value.intValue(), c.integer) << c.value.prettyText();
}

TEST(JSONValueTest, StringsValue) {
  using Texts = std::vector<std::string>;
  EXPECT_EQ(JSONValue::decode(R"(["a", 2, true, null, {"x": 1}])").stringsValue(),
            (Texts{"a", "2"}));
  EXPECT_EQ(JSONValue("x").stringsValue(), Texts{"x"});
  EXPECT_EQ(JSONValue(4.5).stringsValue(), Texts{"4.5"});
  EXPECT_EQ(JSONValue(JSONObject{}).stringsValue(), Texts{});
  EXPECT_EQ(JSONValue(false).stringsValue(), Texts{});
}

TEST(JSONValueTest, EncodingSettingsDifferOnlyWhereTheyShould) {
  JSONValue v = JSONObject{{"url", "https://a.b/c"}, {"n", JSONArray{20, -3, 2.5}}, {"e", ""}};
  EXPECT_EQ(v.encode(JSONEncoding::plain), R"({"e":"","n":[20,-3,2.5],"url":"https:\/\/a.b\/c"})");
  EXPECT_EQ(v.encode(JSONEncoding::stream), R"({"e":"","n":[20,-3,2.5],"url":"https://a.b/c"})");
  EXPECT_EQ(v.prettyText(),
            "{\n  \"e\" : \"\",\n  \"n\" : [\n    20,\n    -3,\n    2.5\n  ],\n"
            "  \"url\" : \"https://a.b/c\"\n}");
  EXPECT_EQ(JSONValue(JSONObject{}).prettyText(), "{}");
  EXPECT_EQ(JSONValue(JSONArray{}).prettyText(), "[]");
  EXPECT_EQ(JSONValue().prettyText(), "null");
}

TEST(JSONValueTest, StringsAreEscapedAsJSONNeeds) {
  JSONValue v("q\"b\\n\n t\t c\x01 d\x7f \xC3\xA9 \xE2\x86\x92");
  EXPECT_EQ(v.encode(JSONEncoding::stream),
            "\"q\\\"b\\\\n\\n t\\t c\\u0001 d\x7f \xC3\xA9 \xE2\x86\x92\"");
  // Bytes that are not UTF-8 become U+FFFD so the output stays valid JSON.
  EXPECT_EQ(JSONValue(std::string("a\xff"
                                  "b\xC3"))
                .encode(JSONEncoding::stream),
            "\"a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\"");
  EXPECT_EQ(JSONValue(std::string("\0", 1)).encode(JSONEncoding::stream), "\"\\u0000\"");
}

TEST(JSONValueTest, NumbersThatJSONCannotHoldFailToEncode) {
  JSONValue nan(std::numeric_limits<double>::quiet_NaN());
  JSONValue inf = JSONArray{std::numeric_limits<double>::infinity()};
  EXPECT_THROW(nan.encode(JSONEncoding::plain), JSONEncodingError);
  EXPECT_THROW(inf.encode(JSONEncoding::stream), JSONEncodingError);
  EXPECT_EQ(inf.prettyText(), "null");
}

TEST(JSONValueTest, EncodedValuesDecodeToThemselves) {
  for (std::string_view text :
       {R"({"a":[1,2.5,-0.001,1e-7,1.7976931348623157e308,"\u00e9\ud83d\ude00"],"b":{}})",
        R"("\/\b\f\n\r\t\"\\")", R"([[[[]]],{"":null}])"}) {
    JSONValue v = JSONValue::decode(text);
    for (auto e : {JSONEncoding::plain, JSONEncoding::stream, JSONEncoding::pretty})
      EXPECT_EQ(JSONValue::decode(v.encode(e)), v) << v.encode(e);
  }
}

TEST(JSONObjectTest, SetFindAndEraseKeepKeysSorted) {
  JSONObject o;
  o.set("b", 1);
  o.set("a", 2);
  o.set("b", 3);
  EXPECT_EQ(JSONValue(o).encode(JSONEncoding::stream), R"({"a":2,"b":3})");
  EXPECT_TRUE(o.erase("a"));
  EXPECT_FALSE(o.erase("a"));
  EXPECT_EQ(o.find("a"), nullptr);
  EXPECT_EQ(*o.find("b"), JSONValue(3));
}

}  // namespace
}  // namespace nolt::wire
