#include "widget/item_choice.h"

#include <algorithm>
#include <cmath>

namespace nolt::widget {

namespace {

constexpr std::uint64_t kFNVOffsetBasis = 0xcbf29ce484222325;
constexpr std::uint64_t kFNVPrime = 0x100000001b3;
constexpr double kMinimumWeight = 0.01;

}  // namespace

std::size_t itemCount(Family family) {
  switch (family) {
    case Family::systemSmall:
      return 1;
    case Family::systemMedium:
      return 2;
    default:
      return 4;
  }
}

std::uint64_t seed(double secondsSince1970) {
  double periods = secondsSince1970 / kPeriod;
  if (!(periods >= 0)) return 0;
  if (periods >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(periods);
}

std::uint64_t itemHash(const UUID& id, std::uint64_t seed) {
  std::uint64_t h = seed ^ kFNVOffsetBasis;
  for (char c : id.text()) {
    h ^= static_cast<std::uint8_t>(c);
    h *= kFNVPrime;
  }
  return h;
}

double unitInterval(std::uint64_t hash) {
  return (static_cast<double>(hash >> 11) + 0.5) * 0x1p-53;
}

double itemKey(const UUID& id, std::uint64_t seed, double weight) {
  double effective = weight <= kMinimumWeight ? kMinimumWeight : weight;
  return -std::log(unitInterval(itemHash(id, seed))) / effective;
}

std::vector<const WidgetSnapshot::Item*> scopeFilter(const std::optional<UUID>& scope,
                                                     const WidgetSnapshot& snapshot) {
  std::vector<const WidgetSnapshot::Item*> candidates;
  auto keep = [&](auto&& wanted) {
    for (const auto& item : snapshot.items)
      if (wanted(item)) candidates.push_back(&item);
  };
  auto isScope = [&](const WidgetSnapshot::Place& place) { return place.id == *scope; };
  if (scope && std::any_of(snapshot.spaces.begin(), snapshot.spaces.end(), isScope)) {
    keep([&](const WidgetSnapshot::Item& item) { return item.spaceID == scope; });
  } else if (scope &&
             std::any_of(snapshot.collections.begin(), snapshot.collections.end(), isScope)) {
    keep([&](const WidgetSnapshot::Item& item) {
      return std::find(item.collectionIDs.begin(), item.collectionIDs.end(), *scope) !=
             item.collectionIDs.end();
    });
  } else {
    candidates.reserve(snapshot.items.size());
    keep([](const WidgetSnapshot::Item&) { return true; });
  }
  return candidates;
}

std::vector<WidgetSnapshot::Item> chooseItems(
    const std::vector<const WidgetSnapshot::Item*>& candidates, std::uint64_t seed,
    std::size_t count) {
  struct Keyed {
    double key;
    const WidgetSnapshot::Item* item;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(candidates.size());
  for (const auto* item : candidates)
    keyed.push_back({itemKey(item->id, seed, item->weight), item});
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::vector<WidgetSnapshot::Item> chosen;
  for (std::size_t i = 0; i < keyed.size() && i < count; ++i) chosen.push_back(*keyed[i].item);
  return chosen;
}

}  // namespace nolt::widget
