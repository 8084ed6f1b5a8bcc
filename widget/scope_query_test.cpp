#include "widget/scope_query.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace nolt::widget {
namespace {

UUID numbered(int n) {
  char text[37];
  std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012d", n);
  return *UUID::parse(text);
}

const UUID kPersonal = numbered(1), kWork = numbered(2), kRefs = numbered(3);

ScopeQuery queryOver(WidgetSnapshot snapshot) {
  return ScopeQuery([snapshot] { return snapshot; });
}

std::vector<std::string> names(const std::vector<ScopeEntity>& entities) {
  std::vector<std::string> out;
  for (const auto& e : entities) out.push_back(e.name);
  return out;
}

using Names = std::vector<std::string>;

TEST(ScopeQueryTest, SpacesFirstThenCollectionsNamedWithTheirSpace) {
  WidgetSnapshot snapshot;
  snapshot.collections = {{kRefs, "Refs", kWork},
                          {numbered(4), "Loose", std::nullopt},
                          {numbered(5), "Orphan", numbered(99)}};
  snapshot.spaces = {{kPersonal, "Personal", {}}, {kWork, "Work", {}}};
  auto entities = queryOver(snapshot).suggestedEntities();
  EXPECT_EQ(names(entities), (Names{"Personal", "Work", "Refs \u2014 Work", "Loose", "Orphan"}));
  EXPECT_EQ(entities[2].id, kRefs);
  EXPECT_EQ(entities[2].name.size(), 4u + 5u + 4u);  // the em dash is three bytes
}

TEST(ScopeQueryTest, ACollectionTakesTheFirstOfTwoSpacesWithItsId) {
  WidgetSnapshot snapshot;
  snapshot.spaces = {{kWork, "Work", {}}, {kWork, "Job", {}}};
  snapshot.collections = {{kRefs, "Refs", kWork}};
  EXPECT_EQ(names(queryOver(snapshot).suggestedEntities()),
            (Names{"Work", "Job", "Refs \u2014 Work"}));
}

TEST(ScopeQueryTest, EntitiesFollowTheSuggestionsOrder) {
  WidgetSnapshot snapshot;
  snapshot.spaces = {{kPersonal, "Personal", {}}, {kWork, "Work", {}}};
  snapshot.collections = {{kRefs, "Refs", kWork}};
  ScopeQuery query = queryOver(snapshot);
  EXPECT_EQ(names(query.entities({kRefs, kPersonal})), (Names{"Personal", "Refs \u2014 Work"}));
  EXPECT_TRUE(query.entities({numbered(42)}).empty());
  EXPECT_TRUE(queryOver({}).suggestedEntities().empty());
  EXPECT_TRUE(queryOver({}).entities({kPersonal}).empty());
}

}  // namespace
}  // namespace nolt::widget
