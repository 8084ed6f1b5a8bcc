// widget/timeline.h - the widget's dated entries and the provider that builds them.
// The provider keeps nothing between calls: every entry reads the snapshot again, so a new
// snapshot from the host shows from the next request on.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "widget/item_choice.h"
#include "widget/widget_snapshot.h"

namespace nolt::widget {

struct Entry {
  double date = 0;                          // seconds since 1970 from which it is shown
  std::vector<WidgetSnapshot::Item> items;  // in display order; none shows the empty state
};

// The widget's configuration: the chosen space or collection, none for the whole library.
struct ChooseScopeIntent {
  std::optional<UUID> scope;
};

struct Timeline {
  enum class ReloadPolicy { atEnd };  // a new timeline once the last entry's date has passed

  std::vector<Entry> entries;  // in date order
  ReloadPolicy policy = ReloadPolicy::atEnd;
};

class Provider {
 public:
  static constexpr int kEntryCount = 6;

  using SnapshotLoader = std::function<WidgetSnapshot()>;
  explicit Provider(SnapshotLoader load) : load_(std::move(load)) {}

  // Dated now, with no items: drawn as the empty state.
  Entry placeholder(double now) const;
  Entry snapshot(const ChooseScopeIntent& configuration, Family family, double now) const;
  // Six entries kPeriod apart from `now`, each from a fresh read of the snapshot.
  Timeline timeline(const ChooseScopeIntent& configuration, Family family, double now) const;
  Entry entry(double date, const ChooseScopeIntent& configuration, Family family) const;

 private:
  SnapshotLoader load_;
};

// The entry on show at `now`: the last one dated at or before it; none before the first.
const Entry* currentEntry(const Timeline& timeline, double now);
// The date of the next entry after `now`; none once the last entry's date has come, when a
// new timeline is due.
std::optional<double> nextChange(const Timeline& timeline, double now);

}  // namespace nolt::widget
