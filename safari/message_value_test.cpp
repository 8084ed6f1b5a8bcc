#include "safari/message_value.h"

#include <gtest/gtest.h>

namespace nolt::safari {
namespace {

TEST(MessageValueTest, ParsesWhatTheBrowserSends) {
  std::optional<MessageValue> v = MessageValue::parse(
      R"({"action":"savePage","tags":["a",1,null,true],"n":{"x":[]},"action":"saveImage"})");
  ASSERT_TRUE(v && v->dictionary());
  const MessageValue::Dictionary& d = *v->dictionary();
  EXPECT_EQ(*d.at("action").string(), "saveImage") << "the last of a repeated key wins";
  const MessageValue::Array& tags = *d.at("tags").array();
  ASSERT_EQ(tags.size(), 4u);
  EXPECT_EQ(*tags[1].number(), 1);
  EXPECT_TRUE(tags[2].isNull());
  EXPECT_EQ(*tags[3].boolean(), true);
  EXPECT_TRUE(d.at("n").dictionary()->at("x").array()->empty());

  for (const char* bad : {"", "{", "{\"a\":1}x", "[1,]", "\"\xFF\"", "1e999"})
    EXPECT_FALSE(MessageValue::parse(bad)) << bad;
  EXPECT_FALSE(MessageValue::parse(std::string(2000, '[') + std::string(2000, ']')));
}

TEST(MessageValueTest, WritesCompactJSON) {
  MessageValue::Dictionary d{{"ok", false},
                             {"error", "could not create \"/a\""},
                             {"list", MessageValue::Array{1.5, MessageValue(), "x"}}};
  EXPECT_EQ(MessageValue(d).json(),
            R"({"error":"could not create \"\/a\"","list":[1.5,null,"x"],"ok":false})");
  EXPECT_EQ(MessageValue::parse(MessageValue(d).json()), MessageValue(d));
}

}  // namespace
}  // namespace nolt::safari
