// host/library_query.h - how a Filter becomes SQL: the distinct terms of a query within their
// bounds, FTS5 prefix phrases of the words, the WHERE clause over items `i` and its parameters,
// and LIKE patterns. Nothing a person types reaches SQLite as syntax; every value is bound.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/library.h"
#include "host/sqlite.h"

namespace nolt::host {

// The distinct terms of one query, told apart as SQLite compares them (ASCII letters in any
// case are the same), so "red Red RED" costs one term. A query past the bounds fails here,
// before SQLite sees it.
class DistinctTerms {
 public:
  static void checkLength(std::string_view term) {
    std::size_t characters = 0;
    for (char c : term)
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    if (characters > kMaxTermCharacters)
      throw QueryError("A search word or tag can be at most " + std::to_string(kMaxTermCharacters) +
                       " characters.");
  }

  // True the first time `term` comes as a word ('w') or a tag ('#').
  bool insert(char kind, std::string_view term) {
    checkLength(term);
    std::string key(1, kind);
    key.reserve(term.size() + 1);
    for (char c : term) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (!seen_.insert(std::move(key)).second) return false;
    if (seen_.size() > kMaxQueryTerms)
      throw QueryError("Search for at most " + std::to_string(kMaxQueryTerms) +
                       " different words and tags at a time.");
    return true;
  }

 private:
  std::unordered_set<std::string> seen_;
};

// Words become prefix queries of their letters and digits only, so nothing a person types can
// be read as FTS5 syntax. A word like "a.b.c" gives several.
std::string matchExpression(const std::vector<std::string>& words, DistinctTerms& terms);

// The WHERE clause of a filter over items `i`, and its parameters in order.
struct Where {
  std::string sql;
  std::vector<std::string> parameters;
  // The query counting the matches, with the same parameters.
  std::string count;
};

// The filter's clause. `withWords`: its words and tags count (a scope ignores them).
// `spaceByScan`: the space is checked on each row read rather than through its index, for a
// query that reads most items anyway and would otherwise fetch them in index order.
Where whereOf(const Filter& filter, bool withWords, bool spaceByScan = false);

// Binds `parameters` to the statement's parameters from `first` on.
void bindAll(Statement& statement, const std::vector<std::string>& parameters, int first = 1);

// `text` with LIKE's wildcards and the escape character escaped by '\\'.
std::string escapeLike(std::string_view text);

}  // namespace nolt::host
