#include "widget/item_choice.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace nolt::widget {
namespace {

UUID id(const char* text) { return *UUID::parse(text); }

// Identifiers 00000000-0000-0000-0000-00000000000<n>.
UUID numbered(int n) {
  char text[37];
  std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012d", n);
  return id(text);
}

WidgetSnapshot::Item item(int n, double weight = 1) {
  WidgetSnapshot::Item item;
  item.id = numbered(n);
  item.title = "item " + std::to_string(n);
  item.weight = weight;
  return item;
}

std::vector<std::string> titles(const std::vector<WidgetSnapshot::Item>& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.title);
  return out;
}

TEST(ItemChoiceTest, WorkedExampleHoldsToTheLastDigit) {
  UUID one = numbered(1);
  EXPECT_EQ(itemHash(one, 0), 0x7c384b6218f2983eu);
  char u[32];
  std::snprintf(u, sizeof u, "%.15g", unitInterval(itemHash(one, 0)));
  EXPECT_STREQ(u, "0.485233985375951");
  EXPECT_EQ(itemKey(one, 0, 1), 0.7231240603092539);
  EXPECT_EQ(itemKey(one, 0, 0), 72.31240603092539);
  EXPECT_EQ(itemHash(one, 122000), 0xd6ca6227795c440eu);
  EXPECT_EQ(itemKey(one, 122000, 1), 0.17551402967197052);
}

TEST(ItemChoiceTest, HashesTheUpperCaseForm) {
  EXPECT_EQ(itemHash(id("abcdef00-0000-0000-0000-000000000000"), 5),
            itemHash(id("ABCDEF00-0000-0000-0000-000000000000"), 5));
}

TEST(ItemChoiceTest, SeedCountsWholeFourHourPeriods) {
  const struct {
    double seconds;
    std::uint64_t seed;
  } cases[] = {
      {1767225600, 122724},  // 2026-01-01T00:00:00Z
      {0, 0},
      {14399.999, 0},
      {14400, 1},
      {1767225600 + 14399.5, 122724},
      {-1, 0},  // before 1970: the first period, not an undefined conversion
      {-1e300, 0},
      {1e300, UINT64_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(seed(c.seconds), c.seed) << c.seconds;
}

TEST(ItemChoiceTest, FamilyCounts) {
  EXPECT_EQ(itemCount(Family::systemSmall), 1u);
  EXPECT_EQ(itemCount(Family::systemMedium), 2u);
  EXPECT_EQ(itemCount(Family::systemLarge), 4u);
}

TEST(ItemChoiceTest, WeightsAtOrBelowTheFloorCountAsTheFloor) {
  UUID one = numbered(1);
  for (double weight : {0.0, -5.0, 0.01, 0.001})
    EXPECT_EQ(itemKey(one, 7, weight), itemKey(one, 7, 0.01)) << weight;
  EXPECT_LT(itemKey(one, 7, 0.02), itemKey(one, 7, 0.01));
}

TEST(ItemChoiceTest, ZeroWeightItemIsStillChosenSometimes) {
  // Identifiers that differ only in their last digit hash alike; real ones are random.
  auto zero = item(1, 0), one = item(2, 1);
  zero.id = id("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
  one.id = id("7D444840-9DC0-11D1-B245-5FFDCE74FAD2");
  int zeroWins = 0;
  for (std::uint64_t period = 0; period < 2000; ++period)
    zeroWins += chooseItems({&zero, &one}, period, 1)[0].title == zero.title;
  EXPECT_GT(zeroWins, 0);
  EXPECT_LT(zeroWins, 100);
}

TEST(ItemChoiceTest, HeavyItemWinsMostPeriods) {
  auto heavy = item(1, 100), light = item(2, 1);
  int heavyWins = 0;
  for (std::uint64_t period = 122000; period < 122200; ++period)
    heavyWins += chooseItems({&light, &heavy}, period, 1)[0].title == heavy.title;
  EXPECT_GT(heavyWins, 180);
}

TEST(ItemChoiceTest, OrdersByKeyAndKeepsSnapshotOrderForEqualKeys) {
  std::vector<WidgetSnapshot::Item> items = {item(1), item(2), item(3), item(4), item(5)};
  std::vector<const WidgetSnapshot::Item*> candidates;
  for (const auto& i : items) candidates.push_back(&i);
  auto chosen = chooseItems(candidates, 122724, 4);
  ASSERT_EQ(chosen.size(), 4u);
  for (std::size_t i = 1; i < chosen.size(); ++i)
    EXPECT_LE(itemKey(chosen[i - 1].id, 122724, 1), itemKey(chosen[i].id, 122724, 1));

  // The same id twice has equal keys: the first in the snapshot comes first.
  auto first = item(9), second = item(9);
  second.title = "second";
  EXPECT_EQ(titles(chooseItems({&first, &second}, 3, 4)),
            (std::vector<std::string>{"item 9", "second"}));
  EXPECT_EQ(titles(chooseItems({&second, &first}, 3, 4)),
            (std::vector<std::string>{"second", "item 9"}));
}

TEST(ItemChoiceTest, FewerCandidatesThanTheCountGivesAllOfThem) {
  auto a = item(1), b = item(2), c = item(3);
  EXPECT_EQ(chooseItems({&a, &b, &c}, 1, 4).size(), 3u);
  EXPECT_TRUE(chooseItems({}, 1, 4).empty());
}

class ScopeFilterTest : public testing::Test {
 protected:
  void SetUp() override {
    snapshot_.spaces = {{numbered(100), "Work", {}}, {numbered(101), "Home", {}}};
    snapshot_.collections = {{numbered(200), "Refs", numbered(100)},
                             {numbered(101), "Same id as Home", {}}};
    auto inWork = item(1);
    inWork.spaceID = numbered(100);
    auto inRefsAtHome = item(2);
    inRefsAtHome.spaceID = numbered(101);
    inRefsAtHome.collectionIDs = {numbered(300), numbered(200)};
    auto nowhere = item(3);
    nowhere.collectionIDs = {numbered(101)};
    snapshot_.items = {inWork, inRefsAtHome, nowhere};
  }

  std::vector<std::string> filtered(std::optional<UUID> scope) {
    std::vector<std::string> out;
    for (const auto* i : scopeFilter(scope, snapshot_)) out.push_back(i->title);
    return out;
  }

  WidgetSnapshot snapshot_;
};

TEST_F(ScopeFilterTest, KeepsTheScopesItemsInSnapshotOrder) {
  using Titles = std::vector<std::string>;
  const Titles all = {"item 1", "item 2", "item 3"};
  EXPECT_EQ(filtered(std::nullopt), all);
  EXPECT_EQ(filtered(numbered(100)), Titles{"item 1"});  // a space, whatever the collections
  EXPECT_EQ(filtered(numbered(200)), Titles{"item 2"});  // a collection, whatever the space
  // An id that is both a space and a collection is the space; items without a space drop.
  EXPECT_EQ(filtered(numbered(101)), Titles{"item 2"});
  EXPECT_EQ(filtered(numbered(999)), all);  // removed since it was chosen
  EXPECT_EQ(filtered(numbered(300)), all);  // named by an item but not in the snapshot
}

TEST_F(ScopeFilterTest, AScopeWithoutItemsGivesNone) {
  snapshot_.spaces.push_back({numbered(102), "Empty", {}});
  EXPECT_TRUE(filtered(numbered(102)).empty());
}

}  // namespace
}  // namespace nolt::widget
