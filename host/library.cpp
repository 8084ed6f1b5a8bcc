#include "host/library.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/library_schema.h"

namespace nolt::host {

namespace {

// A note from a row whose first columns are its id, title, text and rule flag.
Note noteOfRow(Statement& row) {
  Note note;
  note.id = row.text(0);
  note.title = row.text(1);
  note.text = row.text(2);
  note.rule = row.integer(3) != 0;
  return note;
}

constexpr std::array<std::pair<ItemKind, std::string_view>, 6> kKindNames = {{
    {ItemKind::link, "link"},
    {ItemKind::image, "image"},
    {ItemKind::video, "video"},
    {ItemKind::pdf, "pdf"},
    {ItemKind::text, "text"},
    {ItemKind::file, "file"},
}};

constexpr std::string_view kItemColumns =
    "i.id, i.kind, i.title, i.url, i.source_url, i.file_name, i.mime_type, i.text, i.space_id, "
    "i.width, i.height, i.favorite, i.created_at, i.capture_id";

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

// The WHERE clause of a filter over items `i`, and its parameters in order.
struct Where {
  std::string sql;
  std::vector<std::string> parameters;
};

Where whereOf(const Filter& filter, bool withWords) {
  Where where{" WHERE 1", {}};
  if (withWords) {
    DistinctTerms terms;
    if (std::string match = matchExpression(filter.words, terms); !match.empty()) {
      where.sql += " AND i.rowid IN (SELECT rowid FROM item_search WHERE item_search MATCH ?)";
      where.parameters.push_back(match);
    } else if (!filter.words.empty()) {
      where.sql += " AND 0";  // only punctuation: nothing can match it
    }
    for (const std::string& tag : filter.tags) {
      if (!terms.insert('#', tag)) continue;
      // Through the tag index: the tag's items, not every item asked for its tags.
      where.sql += " AND i.id IN (SELECT t.item_id FROM item_tags t WHERE t.tag = ?)";
      where.parameters.push_back(tag);
    }
  }
  if (filter.favoritesOnly) where.sql += " AND i.favorite != 0";
  if (filter.spaceID) {
    where.sql += " AND i.space_id = ?";
    where.parameters.push_back(*filter.spaceID);
  }
  if (filter.collectionID) {
    where.sql +=
        " AND EXISTS(SELECT 1 FROM item_collections c WHERE c.item_id = i.id AND "
        "c.collection_id = ?)";
    where.parameters.push_back(*filter.collectionID);
  }
  return where;
}

void bindAll(Statement& statement, const std::vector<std::string>& parameters, int first = 1) {
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

}  // namespace

std::string_view colourWord(std::string_view hex) {
  if (hex.size() != 7 || hex[0] != '#') return {};
  unsigned value = 0;
  for (char c : hex.substr(1)) {
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                            : -1;
    if (digit < 0) return {};
    value = value * 16 + static_cast<unsigned>(digit);
  }
  double r = ((value >> 16) & 255) / 255.0, g = ((value >> 8) & 255) / 255.0,
         b = (value & 255) / 255.0;
  double high = std::max({r, g, b}), low = std::min({r, g, b}), chroma = high - low;
  if (high < 0.2) return "black";
  if (chroma < 0.12) return high > 0.85 ? "white" : "grey";
  double hue = high == r   ? 60 * std::fmod((g - b) / chroma + 6, 6)
               : high == g ? 60 * ((b - r) / chroma + 2)
                           : 60 * ((r - g) / chroma + 4);
  if (hue < 15 || hue >= 340) return high < 0.55 ? "brown" : "red";
  if (hue < 40) return high < 0.6 ? "brown" : "orange";
  if (hue < 70) return "yellow";
  if (hue < 160) return "green";
  if (hue < 190) return "teal";
  if (hue < 255) return "blue";
  if (hue < 295) return "purple";
  return "pink";
}

std::string_view kindName(ItemKind kind) {
  for (const auto& [k, name] : kKindNames)
    if (k == kind) return name;
  return "file";
}

std::optional<ItemKind> kindNamed(std::string_view name) {
  for (const auto& [k, n] : kKindNames)
    if (n == name) return k;
  return std::nullopt;
}

Library::Library(const std::string& path, Sharing sharing) : db_(path) {
  // Before the first access: SQLite then keeps the WAL index in memory, needing no -shm file.
  if (sharing == Sharing::alone) db_.execute("PRAGMA locking_mode = EXCLUSIVE;");
  // WAL lets readers go on while a change commits; FULL makes a commit survive power loss,
  // which matters because a capture folder is deleted right after its item commits.
  db_.execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;");
  // 16 MiB of pages kept in memory: a query over a large library reads its indexes from here
  // rather than from the file again, and the host stays small.
  db_.execute("PRAGMA cache_size = -16384;");
  // A library that can't be written (a read-only file or disk) is still read; every change
  // is refused with SQLite's "readonly" error.
  if (sqlite3_db_readonly(db_.handle(), "main") == 1) return;
  prepareSchema(db_);
  ensureSpace();
}

// A library always has a space to save into, so nothing ever waits for a person to make one.
void Library::ensureSpace() {
  std::lock_guard lock(mutex_);
  Statement count = db_.prepare("SELECT count(*) FROM spaces");
  count.step();
  if (count.integer(0) > 0) return;
  // A fixed identifier keeps a fresh library's first space the same on every machine.
  addSpace({"E5F0A3C2-6B1D-4C8E-9A27-3D5B8F1C0A01", "Personal", "🏠", "house", "blue"});
  setCurrentSpace("E5F0A3C2-6B1D-4C8E-9A27-3D5B8F1C0A01");
}

std::vector<Space> Library::spaces() {
  std::lock_guard lock(mutex_);
  std::vector<Space> spaces;
  Statement row =
      db_.prepare("SELECT id, name, emoji, symbol, tint_name FROM spaces ORDER BY position, rowid");
  while (row.step())
    spaces.push_back({row.text(0), row.text(1), row.text(2), row.text(3), row.text(4)});
  return spaces;
}

std::vector<Collection> Library::collections() {
  std::lock_guard lock(mutex_);
  std::vector<Collection> collections;
  Statement row =
      db_.prepare("SELECT id, name, space_id FROM collections ORDER BY position, rowid");
  while (row.step()) collections.push_back({row.text(0), row.text(1), row.optionalText(2)});
  return collections;
}

std::optional<std::string> Library::currentSpaceID() {
  std::lock_guard lock(mutex_);
  Statement row = db_.prepare(
      "SELECT s.value FROM settings s JOIN spaces ON spaces.id = s.value "
      "WHERE s.key = 'currentSpace'");
  if (row.step()) return row.text(0);
  Statement first = db_.prepare("SELECT id FROM spaces ORDER BY position, rowid LIMIT 1");
  if (first.step()) return first.text(0);
  return std::nullopt;
}

void Library::setCurrentSpace(const std::string& spaceID) {
  std::lock_guard lock(mutex_);
  db_.run("INSERT OR REPLACE INTO settings(key, value) VALUES('currentSpace', ?)", spaceID);
}

void Library::addSpace(const Space& space) {
  std::lock_guard lock(mutex_);
  db_.run(
      "INSERT INTO spaces(id, name, emoji, symbol, tint_name, position) "
      "VALUES(?, ?, ?, ?, ?, (SELECT count(*) FROM spaces))",
      space.id, space.name, space.emoji, space.symbol, space.tintName);
}

void Library::addCollection(const Collection& collection) {
  std::lock_guard lock(mutex_);
  db_.run(
      "INSERT INTO collections(id, name, space_id, position) "
      "VALUES(?, ?, ?, (SELECT count(*) FROM collections))",
      collection.id, collection.name, collection.spaceID);
}

std::int64_t Library::itemCountInSpace(const std::string& spaceID) {
  std::lock_guard lock(mutex_);
  Statement& row = db_.cached("SELECT count(*) FROM items WHERE space_id = ?");
  row.bindEach(spaceID).step();
  std::int64_t count = row.integer(0);
  row.reset();  // a statement left on a row would hold its read open
  return count;
}

std::int64_t Library::itemCountInCollection(const std::string& collectionID) {
  std::lock_guard lock(mutex_);
  Statement& row = db_.cached("SELECT count(*) FROM item_collections WHERE collection_id = ?");
  row.bindEach(collectionID).step();
  std::int64_t count = row.integer(0);
  row.reset();
  return count;
}

void Library::addItem(const Item& item, const std::optional<Note>& note) {
  std::lock_guard lock(mutex_);
  Transaction transaction(db_);
  insertItem(item, note);
  transaction.commit();
}

void Library::addItems(const std::vector<std::pair<Item, std::optional<Note>>>& items) {
  std::lock_guard lock(mutex_);
  Transaction transaction(db_);
  for (const auto& [item, note] : items) insertItem(item, note);
  transaction.commit();
}

void Library::insertItem(const Item& item, const std::optional<Note>& note) {
  db_.cached(
         "INSERT INTO items(id, kind, title, url, source_url, file_name, mime_type, text, "
         "space_id, width, height, favorite, created_at, capture_id) "
         "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
      .bindEach(item.id, kindName(item.kind), item.title, item.url, item.sourceURL, item.fileName,
                item.mimeType, item.text, item.spaceID, item.width, item.height, item.favorite,
                item.createdAt, item.captureID)
      .run();
  Statement& collection =
      db_.cached("INSERT OR IGNORE INTO item_collections(item_id, collection_id) VALUES(?, ?)");
  for (const std::string& id : item.collectionIDs) {
    collection.bindEach(item.id, id).run();
    collection.reset();
  }
  Statement& tag =
      db_.cached("INSERT OR IGNORE INTO item_tags(item_id, tag, position) VALUES(?, ?, ?)");
  for (std::size_t i = 0; i < item.tags.size(); ++i) {
    tag.bindEach(item.id, item.tags[i], i).run();
    tag.reset();
  }
  Statement& color =
      db_.cached("INSERT INTO item_colors(item_id, hex, weight, position) VALUES(?, ?, ?, ?)");
  for (std::size_t i = 0; i < item.colors.size(); ++i) {
    color.bindEach(item.id, item.colors[i].hex, item.colors[i].weight, i).run();
    color.reset();
  }
  if (note) addNote(*note);
  indexItem(item.id);
}

void Library::addNote(const Note& note) {
  std::lock_guard lock(mutex_);
  // Part of the caller's transaction when there is one (addItem), else its own.
  std::optional<Transaction> transaction;
  if (sqlite3_get_autocommit(db_.handle())) transaction.emplace(db_);
  db_.cached(
         "INSERT INTO notes(id, title, text, rule, item_id, space_id, collection_id, created_at) "
         "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
      .bindEach(note.id, note.title, note.text, note.rule, note.itemID, note.spaceID,
                note.collectionID, note.createdAt)
      .run();
  Statement& tag =
      db_.cached("INSERT OR IGNORE INTO note_tags(note_id, tag, position) VALUES(?, ?, ?)");
  for (std::size_t i = 0; i < note.tags.size(); ++i) {
    tag.bindEach(note.id, note.tags[i], i).run();
    tag.reset();
  }
  if (note.itemID && transaction) indexItem(*note.itemID);
  if (transaction) transaction->commit();
}

bool Library::hasCapture(const std::string& captureID) {
  std::lock_guard lock(mutex_);
  Statement& row = db_.cached("SELECT 1 FROM items WHERE capture_id = ?");
  bool found = row.bindEach(captureID).step();
  row.reset();
  return found;
}

void Library::indexItem(const std::string& id) {
  std::string title, body;
  Statement& item = db_.cached(
      "SELECT rowid, title, coalesce(url, ''), coalesce(source_url, ''), coalesce(text, ''), "
      "coalesce(file_name, '') FROM items WHERE id = ?");
  if (!item.bindEach(id).step()) return;
  std::int64_t rowid = item.integer(0);
  title = item.text(1);
  for (int column = 2; column <= 5; ++column) body += item.text(column) + "\n";
  item.reset();
  // Colours are words too, so "orange" finds the sunset whose picture is mostly orange.
  Statement& colours =
      db_.cached("SELECT hex, weight FROM item_colors WHERE item_id = ? ORDER BY position");
  colours.bindEach(id);
  while (colours.step())
    if (colours.real(1) >= 0.15)
      body += std::string(colourWord(colours.text(0))) + " " + colours.text(0).substr(1) + "\n";
  Statement& words = db_.cached(
      "SELECT tag FROM item_tags WHERE item_id = ?1 "
      "UNION ALL SELECT title || ' ' || text FROM notes WHERE item_id = ?1 "
      "UNION ALL SELECT c.name FROM collections c JOIN item_collections ic "
      "ON ic.collection_id = c.id WHERE ic.item_id = ?1");
  words.bindEach(id);
  while (words.step()) body += words.text(0) + "\n";
  // The words sit at the item's rowid: replacing them is a lookup, however large the library.
  db_.cached("DELETE FROM item_search WHERE rowid = ?").bindEach(rowid).run();
  db_.cached("INSERT INTO item_search(rowid, title, body) VALUES(?, ?, ?)")
      .bindEach(rowid, title, body)
      .run();
}

Item Library::readItem(Statement& row) {
  Item item;
  item.id = row.text(0);
  item.kind = kindNamed(row.text(1)).value_or(ItemKind::file);
  item.title = row.text(2);
  item.url = row.optionalText(3);
  item.sourceURL = row.optionalText(4);
  item.fileName = row.optionalText(5);
  item.mimeType = row.optionalText(6);
  item.text = row.optionalText(7);
  item.spaceID = row.text(8);
  item.width = static_cast<int>(row.integer(9));
  item.height = static_cast<int>(row.integer(10));
  item.favorite = row.integer(11) != 0;
  item.createdAt = row.real(12);
  item.captureID = row.optionalText(13);
  return item;
}

void Library::loadDetails(Item& item) {
  Statement& collections = db_.cached(
      "SELECT ic.collection_id FROM item_collections ic JOIN collections c "
      "ON c.id = ic.collection_id WHERE ic.item_id = ? ORDER BY c.position");
  collections.bindEach(item.id);
  while (collections.step()) item.collectionIDs.push_back(collections.text(0));
  Statement& tags = db_.cached("SELECT tag FROM item_tags WHERE item_id = ? ORDER BY position");
  tags.bindEach(item.id);
  while (tags.step()) item.tags.push_back(tags.text(0));
  Statement& colors =
      db_.cached("SELECT hex, weight FROM item_colors WHERE item_id = ? ORDER BY position");
  colors.bindEach(item.id);
  while (colors.step()) item.colors.push_back({colors.text(0), colors.real(1)});
}

void Library::loadDetails(std::vector<Item>& items) {
  if (items.size() < kDetailsByScan) {
    for (Item& item : items) loadDetails(item);
    return;
  }
  // Many items: each detail table is read once, in its own order, and its rows handed to
  // their items; a lookup per item would cost more than reading the rows nobody asked for.
  std::unordered_map<std::string_view, std::size_t> byID;
  byID.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) byID.emplace(items[i].id, i);
  struct Entry {
    std::int64_t position;
    Swatch value;  // a collection id or a tag in `hex`, or a colour
  };
  // Each detail of item i, in the order the item keeps them.
  auto collect = [&](const char* sql) {
    std::vector<std::vector<Entry>> entries(items.size());
    Statement row = db_.prepare(sql);
    while (row.step()) {
      auto found = byID.find(row.view(0));
      if (found == byID.end()) continue;
      entries[found->second].push_back(
          {row.integer(1), {row.text(2), row.isNull(3) ? 0 : row.real(3)}});
    }
    for (std::vector<Entry>& list : entries)
      if (list.size() > 1)
        std::sort(list.begin(), list.end(),
                  [](const Entry& a, const Entry& b) { return a.position < b.position; });
    return entries;
  };
  auto collections = collect(
      "SELECT ic.item_id, c.position, ic.collection_id, NULL FROM item_collections ic "
      "JOIN collections c ON c.id = ic.collection_id");
  for (std::size_t i = 0; i < items.size(); ++i)
    for (Entry& entry : collections[i])
      items[i].collectionIDs.push_back(std::move(entry.value.hex));
  collections.clear();
  auto tags = collect("SELECT item_id, position, tag, NULL FROM item_tags");
  for (std::size_t i = 0; i < items.size(); ++i)
    for (Entry& entry : tags[i]) items[i].tags.push_back(std::move(entry.value.hex));
  tags.clear();
  auto colors = collect("SELECT item_id, position, hex, weight FROM item_colors");
  for (std::size_t i = 0; i < items.size(); ++i)
    for (Entry& entry : colors[i]) items[i].colors.push_back(std::move(entry.value));
}

std::optional<Item> Library::item(const std::string& id) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Statement& row =
      db_.cached("SELECT " + std::string(kItemColumns) + " FROM items i WHERE i.id = ?");
  if (!row.bindEach(id).step()) return std::nullopt;
  Item item = readItem(row);
  row.reset();
  loadDetails(item);
  return item;
}

SearchPage Library::search(const Filter& filter, std::int64_t limit) {
  Where where = whereOf(filter, true);
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  SearchPage page;
  Statement count = db_.prepare("SELECT count(*) FROM items i" + where.sql);
  bindAll(count, where.parameters);
  count.step();
  page.total = count.integer(0);
  Statement rows = db_.prepare("SELECT " + std::string(kItemColumns) + " FROM items i" + where.sql +
                               " ORDER BY i.created_at DESC, i.rowid DESC LIMIT ?");
  bindAll(rows, where.parameters);
  rows.bind(static_cast<int>(where.parameters.size()) + 1, limit);
  while (rows.step()) page.items.push_back(readItem(rows));
  for (Item& item : page.items) loadDetails(item);
  return page;
}

std::vector<Item> Library::items(const Filter& scope, std::int64_t limit) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Where where = whereOf(scope, false);
  Statement rows = db_.prepare("SELECT " + std::string(kItemColumns) + " FROM items i" + where.sql +
                               " ORDER BY i.created_at DESC, i.rowid DESC LIMIT ?");
  bindAll(rows, where.parameters);
  rows.bind(static_cast<int>(where.parameters.size()) + 1, limit);
  std::vector<Item> items;
  while (rows.step()) items.push_back(readItem(rows));
  loadDetails(items);
  return items;
}

ItemTraits Library::traits(const Filter& scope) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Where where = whereOf(scope, false);
  const std::string newestFirst = " ORDER BY i.created_at DESC, i.rowid DESC";
  ItemTraits traits;
  Statement count = db_.prepare("SELECT count(*) FROM items i" + where.sql);
  bindAll(count, where.parameters);
  count.step();
  traits.count = count.integer(0);

  // Rows of one item come together; within an item they are put in its own order here.
  auto perItem = [&](const std::string& sql, auto&& take) {
    Statement row = db_.prepare(sql);
    bindAll(row, where.parameters);
    std::vector<std::tuple<std::int64_t, std::string, double>> run;  // position, text, weight
    std::int64_t current = 0;
    bool favorite = false;
    auto flush = [&] {
      std::sort(run.begin(), run.end(),
                [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
      if (!run.empty()) take(run, favorite);
      run.clear();
    };
    while (row.step()) {
      if (row.integer(0) != current) {
        flush();
        current = row.integer(0);
        favorite = row.integer(4) != 0;
      }
      run.emplace_back(row.integer(1), row.text(2), row.real(3));
    }
    flush();
  };
  perItem(
      "SELECT i.rowid, t.position, t.tag, 0, i.favorite FROM items i "
      "JOIN item_tags t ON t.item_id = i.id" +
          where.sql + newestFirst,
      [&](const auto& run, bool) {
        for (const auto& entry : run) traits.tags.push_back(std::get<1>(entry));
      });
  perItem(
      "SELECT i.rowid, c.position, c.hex, c.weight, i.favorite FROM items i "
      "JOIN item_colors c ON c.item_id = i.id" +
          where.sql + newestFirst,
      [&](const auto& run, bool favorite) {
        std::vector<Swatch> colours;
        for (const auto& entry : run) colours.push_back({std::get<1>(entry), std::get<2>(entry)});
        traits.palettes.emplace_back(std::move(colours), favorite ? 2.0 : 1.0);
      });
  Statement addresses =
      db_.prepare("SELECT i.url, i.source_url FROM items i" + where.sql +
                  " AND (i.url IS NOT NULL OR i.source_url IS NOT NULL)" + newestFirst);
  bindAll(addresses, where.parameters);
  while (addresses.step())
    traits.addresses.emplace_back(addresses.optionalText(0), addresses.optionalText(1));
  return traits;
}

std::vector<std::string> Library::noteTags(const std::string& noteID) {
  std::vector<std::string> tags;
  Statement& row = db_.cached("SELECT tag FROM note_tags WHERE note_id = ? ORDER BY position");
  row.bindEach(noteID);
  while (row.step()) tags.push_back(row.text(0));
  return tags;
}

std::vector<Note> Library::notes(const Filter& filter, bool rulesOnly) {
  std::string sql =
      "SELECT n.id, n.title, n.text, n.rule, n.item_id, n.space_id, n.collection_id, "
      "n.created_at FROM notes n LEFT JOIN items i ON i.id = n.item_id WHERE 1";
  std::vector<std::string> parameters;
  DistinctTerms terms;
  for (const std::string& word : filter.words) {
    if (!terms.insert('w', word)) continue;
    sql += " AND (n.title || ' ' || n.text) LIKE ? ESCAPE '\\'";
    // Built in place: GCC 12 at -O3 warns falsely (-Wrestrict) about "%" + text + "%".
    std::string pattern = escapeLike(word);
    pattern.insert(0, 1, '%');
    pattern += '%';
    parameters.push_back(std::move(pattern));
  }
  for (const std::string& tag : filter.tags) {
    if (!terms.insert('#', tag)) continue;
    sql += " AND EXISTS(SELECT 1 FROM note_tags t WHERE t.note_id = n.id AND t.tag = ?)";
    parameters.push_back(tag);
  }
  // A note belongs to a space or collection of its own, or through the item it is attached to.
  if (filter.spaceID) {
    sql += " AND coalesce(n.space_id, i.space_id) = ?";
    parameters.push_back(*filter.spaceID);
  }
  if (filter.collectionID) {
    sql +=
        " AND (n.collection_id = ? OR EXISTS(SELECT 1 FROM item_collections c "
        "WHERE c.item_id = n.item_id AND c.collection_id = ?))";
    parameters.push_back(*filter.collectionID);
    parameters.push_back(*filter.collectionID);
  }
  if (rulesOnly) sql += " AND n.rule = 1";
  sql += " ORDER BY n.created_at DESC, n.rowid DESC";
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Statement row = db_.prepare(sql);
  bindAll(row, parameters);
  std::vector<Note> notes;
  while (row.step()) {
    Note note = noteOfRow(row);
    note.itemID = row.optionalText(4);
    note.spaceID = row.optionalText(5);
    note.collectionID = row.optionalText(6);
    note.createdAt = row.real(7);
    notes.push_back(std::move(note));
  }
  for (Note& note : notes) note.tags = noteTags(note.id);
  return notes;
}

std::vector<Note> Library::notesOfItems(const Filter& scope, std::int64_t limit) {
  std::lock_guard lock(mutex_);
  Where where = whereOf(scope, false);
  Statement row = db_.prepare(
      "SELECT n.id, n.title, n.text, n.rule, n.item_id, n.created_at FROM items i "
      "JOIN notes n ON n.item_id = i.id" +
      where.sql + " ORDER BY i.created_at DESC, i.rowid DESC, n.created_at, n.rowid LIMIT ?");
  bindAll(row, where.parameters);
  row.bind(static_cast<int>(where.parameters.size()) + 1, limit);
  std::vector<Note> notes;
  while (row.step()) {
    Note note = noteOfRow(row);
    note.itemID = row.text(4);
    note.createdAt = row.real(5);
    notes.push_back(std::move(note));
  }
  return notes;
}

std::vector<Note> Library::notesOfItem(const std::string& itemID) {
  std::lock_guard lock(mutex_);
  std::vector<Note> notes;
  Statement row = db_.prepare(
      "SELECT id, title, text, rule, created_at FROM notes WHERE item_id = ? "
      "ORDER BY created_at, rowid");
  row.bindEach(itemID);
  while (row.step()) {
    Note note = noteOfRow(row);
    note.itemID = itemID;
    note.createdAt = row.real(4);
    notes.push_back(std::move(note));
  }
  return notes;
}

}  // namespace nolt::host
