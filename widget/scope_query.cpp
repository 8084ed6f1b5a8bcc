#include "widget/scope_query.h"

#include <algorithm>

namespace nolt::widget {

std::vector<ScopeEntity> ScopeQuery::suggestedEntities() const {
  WidgetSnapshot snapshot = load_();
  std::vector<ScopeEntity> entities;
  entities.reserve(snapshot.spaces.size() + snapshot.collections.size());
  for (const auto& space : snapshot.spaces) entities.push_back({space.id, space.name});
  for (const auto& collection : snapshot.collections) {
    std::string name = collection.name;
    // The first space with that id names it, should the host list one id twice.
    auto space = std::find_if(snapshot.spaces.begin(), snapshot.spaces.end(), [&](const auto& s) {
      return collection.spaceID && s.id == *collection.spaceID;
    });
    if (space != snapshot.spaces.end()) name += " \u2014 " + space->name;
    entities.push_back({collection.id, std::move(name)});
  }
  return entities;
}

std::vector<ScopeEntity> ScopeQuery::entities(const std::vector<UUID>& identifiers) const {
  std::vector<ScopeEntity> found;
  for (auto& entity : suggestedEntities())
    if (std::find(identifiers.begin(), identifiers.end(), entity.id) != identifiers.end())
      found.push_back(std::move(entity));
  return found;
}

}  // namespace nolt::widget
