#include "platform/deep_link.h"

#include <gtest/gtest.h>

namespace nolt::platform {
namespace {

TEST(DeepLinkTest, ItemLinksRoundTripAndNothingElseIsOne) {
  constexpr std::string_view kID = "0F8FAD5B-D9CB-469F-A165-70867728950E";
  UUID item = *UUID::parse(kID);
  EXPECT_EQ(itemLink(item), "nolt://item/0F8FAD5B-D9CB-469F-A165-70867728950E");
  struct Case {
    std::string link;
    bool isItem;
  } cases[] = {
      {"nolt://item/0F8FAD5B-D9CB-469F-A165-70867728950E", true},
      {"NOLT://Item/0f8fad5b-d9cb-469f-a165-70867728950e", true},
      {"nolt://item/0F8FAD5B-D9CB-469F-A165-70867728950E//", true},
      {"nolt://item/", false},
      {"nolt://item/0F8FAD5B", false},
      {"nolt://items/0F8FAD5B-D9CB-469F-A165-70867728950E", false},
      {"https://item/0F8FAD5B-D9CB-469F-A165-70867728950E", false},
      {"nolt://item/0F8FAD5B-D9CB-469F-A165-70867728950E?x", false},
  };
  for (const Case& c : cases) {
    std::optional<UUID> found = itemOfLink(c.link);
    EXPECT_EQ(found, c.isItem ? std::optional<UUID>(item) : std::nullopt) << c.link;
  }
}

}  // namespace
}  // namespace nolt::platform
