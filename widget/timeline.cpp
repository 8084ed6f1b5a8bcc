#include "widget/timeline.h"

namespace nolt::widget {

Entry Provider::placeholder(double now) const { return Entry{now, {}}; }

Entry Provider::snapshot(const ChooseScopeIntent& configuration, Family family, double now) const {
  return entry(now, configuration, family);
}

Timeline Provider::timeline(const ChooseScopeIntent& configuration, Family family,
                            double now) const {
  Timeline timeline;
  for (int i = 0; i < kEntryCount; ++i)
    timeline.entries.push_back(entry(now + i * kPeriod, configuration, family));
  return timeline;
}

Entry Provider::entry(double date, const ChooseScopeIntent& configuration, Family family) const {
  WidgetSnapshot snapshot = load_();
  auto candidates = scopeFilter(configuration.scope, snapshot);
  return Entry{date, chooseItems(candidates, seed(date), itemCount(family))};
}

const Entry* currentEntry(const Timeline& timeline, double now) {
  const Entry* current = nullptr;
  for (const auto& entry : timeline.entries)
    if (entry.date <= now) current = &entry;
  return current;
}

std::optional<double> nextChange(const Timeline& timeline, double now) {
  for (const auto& entry : timeline.entries)
    if (entry.date > now) return entry.date;
  return std::nullopt;
}

}  // namespace nolt::widget
