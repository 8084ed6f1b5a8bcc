#include "widget/timeline.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace nolt::widget {
namespace {

constexpr double kNewYear = 1767225600;  // 2026-01-01T00:00:00Z

UUID numbered(int n) {
  char text[37];
  std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012d", n);
  return *UUID::parse(text);
}

// Ten items, the first three in collection 200, item 5 in space 100.
WidgetSnapshot library() {
  WidgetSnapshot snapshot;
  snapshot.spaces = {{numbered(100), "Work", {}}};
  snapshot.collections = {{numbered(200), "Refs", {}}};
  for (int n = 1; n <= 10; ++n) {
    WidgetSnapshot::Item item;
    item.id = numbered(n);
    item.title = std::to_string(n);
    item.weight = n;
    if (n <= 3) item.collectionIDs = {numbered(200)};
    if (n == 5) item.spaceID = numbered(100);
    snapshot.items.push_back(item);
  }
  return snapshot;
}

std::vector<UUID> ids(const Entry& entry) {
  std::vector<UUID> out;
  for (const auto& item : entry.items) out.push_back(item.id);
  return out;
}

TEST(ProviderTest, NoSnapshotGivesNoItemsAnywhere) {
  Provider provider([] { return WidgetSnapshot{}; });
  EXPECT_TRUE(provider.placeholder(kNewYear).items.empty());
  EXPECT_TRUE(provider.snapshot({}, Family::systemLarge, kNewYear).items.empty());
  for (const auto& entry : provider.timeline({}, Family::systemLarge, kNewYear).entries)
    EXPECT_TRUE(entry.items.empty());
}

TEST(ProviderTest, PlaceholderIsDatedNowAndEmptyEvenWithItems) {
  Provider provider(library);
  Entry placeholder = provider.placeholder(kNewYear + 5);
  EXPECT_EQ(placeholder.date, kNewYear + 5);
  EXPECT_TRUE(placeholder.items.empty());
}

TEST(ProviderTest, TimelineHasSixEntriesFourHoursApartEachFromAFreshRead) {
  int loads = 0;
  Provider provider([&] {
    ++loads;
    return library();
  });
  Timeline timeline = provider.timeline({}, Family::systemMedium, kNewYear + 100);
  ASSERT_EQ(timeline.entries.size(), 6u);
  EXPECT_EQ(loads, 6);
  EXPECT_EQ(timeline.policy, Timeline::ReloadPolicy::atEnd);
  for (std::size_t i = 0; i < 6; ++i) {
    const Entry& entry = timeline.entries[i];
    EXPECT_EQ(entry.date, kNewYear + 100 + 14400.0 * i);
    EXPECT_EQ(entry.items.size(), 2u);
    EXPECT_EQ(ids(entry), ids(provider.entry(entry.date, {}, Family::systemMedium)));
  }
}

TEST(ProviderTest, TimelinesWithinOnePeriodShareTheirFirstEntry) {
  Provider provider(library);
  auto early = provider.timeline({}, Family::systemLarge, kNewYear + 1);
  auto late = provider.timeline({}, Family::systemLarge, kNewYear + 14399);
  EXPECT_EQ(ids(early.entries[0]), ids(late.entries[0]));
  EXPECT_EQ(ids(early.entries[0]), ids(provider.snapshot({}, Family::systemLarge, kNewYear)));
}

TEST(ProviderTest, FamilyAndScopeDecideTheCount) {
  Provider provider(library);
  const struct {
    std::optional<UUID> scope;
    Family family;
    std::size_t count;
  } cases[] = {
      {std::nullopt, Family::systemSmall, 1},  {std::nullopt, Family::systemMedium, 2},
      {std::nullopt, Family::systemLarge, 4},  {numbered(100), Family::systemMedium, 1},
      {numbered(200), Family::systemLarge, 3}, {numbered(999), Family::systemLarge, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(provider.entry(kNewYear, {c.scope}, c.family).items.size(), c.count);
}

TEST(ProviderTest, ALargeWidgetOverThreeCandidatesShowsThemInKeyOrder) {
  Provider provider(library);
  Entry entry = provider.entry(kNewYear, {numbered(200)}, Family::systemLarge);
  ASSERT_EQ(entry.items.size(), 3u);
  std::uint64_t s = seed(kNewYear);
  for (std::size_t i = 1; i < 3; ++i)
    EXPECT_LE(itemKey(entry.items[i - 1].id, s, entry.items[i - 1].weight),
              itemKey(entry.items[i].id, s, entry.items[i].weight));
}

TEST(TimelinePlaybackTest, ShowsTheLatestStartedEntryAndReloadsAfterTheLast) {
  Timeline timeline = Provider(library).timeline({}, Family::systemSmall, 1000);
  EXPECT_EQ(currentEntry(timeline, 999), nullptr);
  EXPECT_EQ(currentEntry(timeline, 1000), &timeline.entries[0]);
  EXPECT_EQ(currentEntry(timeline, 1000 + 14400 * 2.5), &timeline.entries[2]);
  EXPECT_EQ(nextChange(timeline, 1000), 1000 + 14400);
  EXPECT_EQ(nextChange(timeline, 1000 + 14400 * 4.5), 1000 + 14400 * 5);
  EXPECT_FALSE(nextChange(timeline, 1000 + 14400 * 5));  // the last entry's date has come
}

}  // namespace
}  // namespace nolt::widget
