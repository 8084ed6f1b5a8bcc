#include "host/tally.h"

#include <gtest/gtest.h>

namespace nolt::host {
namespace {

using Counts = std::vector<std::pair<std::string, std::int64_t>>;

TEST(TallyTest, CountsTextsInAnyCaseUnderTheirFirstSpelling) {
  Tally tally;
  for (const char* text : {"Blue", "red", "BLUE", "green", "Red", "blue", "Grün", "GRÜN"})
    tally.add(text);
  // Ties keep the order of first appearance; only ASCII letters fold.
  EXPECT_EQ(tally.top(10),
            (Counts{{"Blue", 3}, {"red", 2}, {"green", 1}, {"Grün", 1}, {"GRÜN", 1}}));
  EXPECT_EQ(tally.top(2), (Counts{{"Blue", 3}, {"red", 2}}));
  EXPECT_EQ(tally.countOf("bLuE"), 3);
  EXPECT_EQ(tally.countOf("purple"), 0);
}

TEST(TallyTest, AnEarlierRankComingLateStillCountsAsFirstSeen) {
  Tally tally;
  tally.add("Oak", 30);
  tally.add("ash", 20);
  tally.add("OAK", 10);  // seen first after all, in this spelling
  tally.add("Ash", 40);
  EXPECT_EQ(tally.top(5), (Counts{{"OAK", 2}, {"ash", 2}}));
}

}  // namespace
}  // namespace nolt::host
