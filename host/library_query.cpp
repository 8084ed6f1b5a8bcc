#include "host/library_query.h"

#include <cctype>

namespace nolt::host {

std::string matchExpression(const std::vector<std::string>& words, DistinctTerms& terms) {
  std::string expression;
  std::string token;
  auto flush = [&] {
    if (!token.empty() && terms.insert('w', token)) {
      if (!expression.empty()) expression += ' ';
      expression += '"';
      expression += token;
      expression += "\"*";
    }
    token.clear();
  };
  for (const std::string& word : words) {
    DistinctTerms::checkLength(word);
    for (unsigned char c : word) {
      if (c >= 0x80 || std::isalnum(c))
        token += static_cast<char>(c);
      else
        flush();
    }
    flush();
  }
  return expression;
}

Where whereOf(const Filter& filter, bool withWords, bool spaceByScan) {
  Where where{" WHERE 1", {}, {}};
  // Every item has its words in item_search at its own rowid, and every tag row names an item
  // (items are never deleted): words alone, or one tag alone, are counted in their own index
  // without visiting a single item.
  std::string countAlone;
  bool nothingMatches = false;
  if (withWords) {
    DistinctTerms terms;
    if (std::string match = matchExpression(filter.words, terms); !match.empty()) {
      where.sql += " AND i.rowid IN (SELECT rowid FROM item_search WHERE item_search MATCH ?)";
      where.parameters.push_back(match);
      countAlone = "SELECT count(*) FROM item_search WHERE item_search MATCH ?";
    } else if (!filter.words.empty()) {
      where.sql += " AND 0";  // only punctuation: nothing can match it
      nothingMatches = true;
    }
    for (const std::string& tag : filter.tags) {
      if (!terms.insert('#', tag)) continue;
      // Through the tag index: the tag's items, not every item asked for its tags.
      where.sql += " AND i.id IN (SELECT t.item_id FROM item_tags t WHERE t.tag = ?)";
      where.parameters.push_back(tag);
      countAlone = "SELECT count(*) FROM item_tags WHERE tag = ?";
    }
  }
  if (filter.favoritesOnly) where.sql += " AND i.favorite != 0";
  if (filter.spaceID) {
    where.sql += spaceByScan ? " AND +i.space_id = ?" : " AND i.space_id = ?";
    where.parameters.push_back(*filter.spaceID);
  }
  if (filter.collectionID) {
    // A list read once from the collection index: the planner may start from the collection's
    // items, or walk items in date order and look each up in the list.
    where.sql +=
        " AND i.id IN (SELECT c.item_id FROM item_collections c WHERE c.collection_id = ?)";
    where.parameters.push_back(*filter.collectionID);
  }
  bool alone = where.parameters.size() == 1 && !filter.favoritesOnly && !nothingMatches;
  where.count =
      alone && !countAlone.empty() ? countAlone : "SELECT count(*) FROM items i" + where.sql;
  return where;
}

void bindAll(Statement& statement, const std::vector<std::string>& parameters, int first) {
  for (std::size_t i = 0; i < parameters.size(); ++i)
    statement.bind(first + static_cast<int>(i), std::string_view(parameters[i]));
}

std::string escapeLike(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace nolt::host
