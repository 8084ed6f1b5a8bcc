// host/tally.h - how often each text is used, counted as people read them: ASCII letters in
// any case are one text, shown in the spelling it was first seen in. Taste and brief weigh tags
// and sites of a whole library with it, without keeping every use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nolt::host {

class Tally {
 public:
  // Counts one use of `text`. `rank` orders first appearances (lower is earlier); without it,
  // each use comes after the ones before.
  void add(std::string_view text);
  void add(std::string_view text, std::uint64_t rank);

  // Texts and their counts, most used first, ties by first appearance; at most `count`.
  std::vector<std::pair<std::string, std::int64_t>> top(std::size_t count) const;
  std::int64_t countOf(std::string_view text) const;

 private:
  struct Entry {
    std::string spelling;
    std::int64_t count = 0;
    std::uint64_t rank = 0;
  };
  std::unordered_map<std::string, Entry> entries_;  // by the text with ASCII letters lowered
  std::string key_;                                 // reused, to lower a text without allocating
  std::uint64_t next_ = 0;
};

}  // namespace nolt::host
