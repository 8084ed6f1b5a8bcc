// widget/scope_query.h - the spaces and collections a widget can be limited to.
// Only the chosen entity's identifier is stored; names are worked out afresh from the
// snapshot on every query, so renamed places show their new names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "widget/timeline.h"

namespace nolt::widget {

inline constexpr std::string_view kIntentTitle = "Choose What to Show";
inline constexpr std::string_view kScopeParameterTitle = "Show";
inline constexpr std::string_view kScopeTypeName = "Space or Collection";

struct ScopeEntity {
  UUID id;
  std::string name;  // a collection in a known space reads "Moodboards — Work"

  friend bool operator==(const ScopeEntity&, const ScopeEntity&) = default;
};

class ScopeQuery {
 public:
  explicit ScopeQuery(Provider::SnapshotLoader load) : load_(std::move(load)) {}

  // Every space, then every collection, in snapshot order; empty without a snapshot.
  std::vector<ScopeEntity> suggestedEntities() const;
  // The suggestions whose id is asked for, in the suggestions' order; unknown ids are dropped.
  std::vector<ScopeEntity> entities(const std::vector<UUID>& identifiers) const;

 private:
  Provider::SnapshotLoader load_;
};

}  // namespace nolt::widget
