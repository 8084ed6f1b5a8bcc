// widget/item_choice.h - which items a widget shows in a four-hour period.
// Weighted sampling without replacement by exponential keys (Efraimidis and Spirakis), with
// a pseudo-random number per item and period from an FNV-1a hash, so the same snapshot,
// scope, family and period always give the same items in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "widget/widget_snapshot.h"

namespace nolt::widget {

enum class Family { systemSmall, systemMedium, systemLarge };

inline constexpr double kPeriod = 14400;  // seconds: the choice changes every four hours

// 1 for small, 2 for medium, 4 for any other family.
std::size_t itemCount(Family family);

// Whole periods since 1970-01-01 00:00 UTC. Dates before 1970 (and non-numbers) give 0 and
// dates beyond the 64-bit range give the largest seed, rather than an undefined conversion.
std::uint64_t seed(double secondsSince1970);

// FNV-1a over the upper-case identifier, starting from the seed XOR the offset basis.
std::uint64_t itemHash(const UUID& id, std::uint64_t seed);
// The top 53 bits of the hash as a number strictly between 0 and 1.
double unitInterval(std::uint64_t hash);
// -ln(u) / weight, where weights of 0.01 or less (zero and negative ones too) count as 0.01.
double itemKey(const UUID& id, std::uint64_t seed, double weight);

// The candidates in snapshot order: all items without a scope or when the scope is neither a
// space nor a collection of the snapshot (it may have been removed since it was chosen);
// spaces are tried before collections.
std::vector<const WidgetSnapshot::Item*> scopeFilter(const std::optional<UUID>& scope,
                                                     const WidgetSnapshot& snapshot);

// The first `count` candidates by key, smallest first; equal keys keep snapshot order.
std::vector<WidgetSnapshot::Item> chooseItems(
    const std::vector<const WidgetSnapshot::Item*>& candidates, std::uint64_t seed,
    std::size_t count);

}  // namespace nolt::widget
