#include "host/tally.h"

#include <algorithm>

namespace nolt::host {

namespace {

void lowerInto(std::string& key, std::string_view text) {
  key.assign(text);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

}  // namespace

void Tally::add(std::string_view text) { add(text, next_++); }

void Tally::add(std::string_view text, std::uint64_t rank) {
  lowerInto(key_, text);
  auto [entry, added] = entries_.try_emplace(key_);
  if (added || rank < entry->second.rank) {
    entry->second.spelling.assign(text);
    entry->second.rank = rank;
  }
  ++entry->second.count;
}

std::vector<std::pair<std::string, std::int64_t>> Tally::top(std::size_t count) const {
  std::vector<const Entry*> order;
  order.reserve(entries_.size());
  for (const auto& [key, entry] : entries_) order.push_back(&entry);
  std::sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
    return a->count != b->count ? a->count > b->count : a->rank < b->rank;
  });
  if (order.size() > count) order.resize(count);
  std::vector<std::pair<std::string, std::int64_t>> top;
  top.reserve(order.size());
  for (const Entry* entry : order) top.emplace_back(entry->spelling, entry->count);
  return top;
}

std::int64_t Tally::countOf(std::string_view text) const {
  std::string key;
  lowerInto(key, text);
  auto found = entries_.find(key);
  return found == entries_.end() ? 0 : found->second.count;
}

}  // namespace nolt::host
