#include "host/library.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/colour_names.h"
#include "host/library_query.h"
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

// The newest items, newest first, at most `?` of them: what a bounded walk reads, with only the
// columns a filter looks at.
constexpr std::string_view kNewestItems =
    "(SELECT rowid, id, space_id, favorite, created_at FROM items "
    "ORDER BY created_at DESC, rowid DESC LIMIT ?)";

// Binds, in the order the queries built around a filter take them: a walk's budget when there
// is one, the filter's parameters, then the limit.
void bindFiltered(Statement& statement, std::optional<std::int64_t> budget, const Where& where,
                  std::int64_t limit) {
  int next = 1;
  if (budget) statement.bind(next++, *budget);
  bindAll(statement, where.parameters, next);
  statement.bind(next + static_cast<int>(where.parameters.size()), limit);
}

// Puts rows read in the table's order newest first, the later of two items of one date first,
// as the date index orders them. Returns the rows' ids, kept one after another in `idText`, in
// that order.
template <class Row>
std::vector<std::string_view> sortNewestFirst(std::vector<Row>& rows, std::string_view idText) {
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return a.createdAt != b.createdAt ? a.createdAt > b.createdAt : a.rowid > b.rowid;
  });
  std::vector<std::string_view> ids;
  ids.reserve(rows.size());
  for (const Row& row : rows) ids.push_back(idText.substr(row.idAt, row.idSize));
  return ids;
}

// A tag's rank among first appearances: by its item's place among the newest first, then by
// its place among the item's tags (column 1 of a detail row).
std::uint64_t tagRank(std::uint32_t item, Statement& tag) {
  return (std::uint64_t{item} << 32) | static_cast<std::uint32_t>(tag.integer(1));
}

}  // namespace

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
  // 48 MiB of pages kept in memory: what taste and brief read of a library of 100,000 items
  // (its items, their tags and colours, its notes) is then read from here when asked again,
  // rather than from the file, a system call per page.
  db_.execute("PRAGMA cache_size = -49152;");
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
  if (count.integer(0) > 0) return;  // every start but the first: no write, no write lock
  count.reset();
  Transaction transaction(db_);
  // A fixed identifier keeps a fresh library's first space the same on every machine.
  insertSpace({"E5F0A3C2-6B1D-4C8E-9A27-3D5B8F1C0A01", "Personal", "🏠", "house", "blue"});
  storeCurrentSpace("E5F0A3C2-6B1D-4C8E-9A27-3D5B8F1C0A01");
  transaction.commit();
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
  storeCurrentSpace(spaceID);
}

void Library::storeCurrentSpace(const std::string& spaceID) {
  db_.run("INSERT OR REPLACE INTO settings(key, value) VALUES('currentSpace', ?)", spaceID);
}

void Library::addSpace(const Space& space) {
  std::lock_guard lock(mutex_);
  insertSpace(space);
}

void Library::insertSpace(const Space& space) {
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
  if (note) insertNote(*note);
  indexItem(item.id);
}

void Library::addNote(const Note& note) {
  std::lock_guard lock(mutex_);
  Transaction transaction(db_);
  insertNote(note);
  if (note.itemID) indexItem(*note.itemID);  // the item's words include its notes
  transaction.commit();
}

void Library::insertNote(const Note& note) {
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

// The tables of an item's or a note's details: each row names its item or note and its place
// among that one's.
struct DetailTable {
  // For one item or note: the detail and (for colours) its weight, in its order.
  const char* lookup;
  // For all of them: item or note id, place, detail, weight; in no particular order.
  const char* scan;
};

namespace {

// Both queries give the place among the item's in column 1, the detail in 2, its weight in 3.
constexpr DetailTable kCollectionsOfItems{
    "SELECT NULL, c.position, ic.collection_id, NULL FROM item_collections ic JOIN collections c "
    "ON c.id = ic.collection_id WHERE ic.item_id = ? ORDER BY c.position",
    "SELECT ic.item_id, c.position, ic.collection_id, NULL FROM item_collections ic "
    "JOIN collections c ON c.id = ic.collection_id"};
constexpr DetailTable kTagsOfItems{
    "SELECT NULL, position, tag, NULL FROM item_tags WHERE item_id = ? ORDER BY position",
    "SELECT item_id, position, tag, NULL FROM item_tags"};
constexpr DetailTable kTagsOfNotes{
    "SELECT NULL, position, tag, NULL FROM note_tags WHERE note_id = ? ORDER BY position",
    "SELECT note_id, position, tag, NULL FROM note_tags"};
constexpr DetailTable kColoursOfItems{
    "SELECT NULL, position, hex, weight FROM item_colors WHERE item_id = ? ORDER BY position",
    "SELECT item_id, position, hex, weight FROM item_colors"};

}  // namespace

// Item ids to their places in a list: open addressing over one array, as a node per id would
// cost more than the lookups themselves for a hundred thousand items. Each slot keeps part of
// its id's hash beside the place, so that most ids not in the list are told apart without
// reading the ids themselves, which lie scattered in memory.
class IDIndex {
 public:
  explicit IDIndex(const std::vector<std::string_view>& ids) : ids_(ids) {
    std::size_t size = 16;
    while (size < 2 * ids.size()) size *= 2;
    slots_.assign(size, Slot{kEmpty, 0});
    mask_ = size - 1;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      std::size_t hash = std::hash<std::string_view>{}(ids[i]);
      std::size_t slot = hash & mask_;
      while (slots_[slot].place != kEmpty) slot = (slot + 1) & mask_;
      slots_[slot] = {static_cast<std::uint32_t>(i), tagOf(hash)};
    }
  }

  std::optional<std::uint32_t> find(std::string_view id) const {
    std::size_t hash = std::hash<std::string_view>{}(id);
    std::uint32_t tag = tagOf(hash);
    for (std::size_t slot = hash & mask_; slots_[slot].place != kEmpty; slot = (slot + 1) & mask_)
      if (slots_[slot].tag == tag && ids_[slots_[slot].place] == id) return slots_[slot].place;
    return std::nullopt;
  }

 private:
  struct Slot {
    std::uint32_t place;
    std::uint32_t tag;  // the hash's high bits: the low ones chose the slot
  };
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  static std::uint32_t tagOf(std::size_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

  const std::vector<std::string_view>& ids_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

// A lookup per item for a few items; for many, the table is read once, in its own order, and
// its rows handed to their items: a lookup per item would cost more than reading the rows
// nobody asked for, and would read the table's pages in no order.
void Library::eachDetail(const std::vector<std::string_view>& ids, const DetailTable& table,
                         const std::function<void(std::uint32_t item, Statement& row)>& take) {
  if (ids.size() < kDetailsByScan) {
    Statement& row = db_.cached(table.lookup);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      row.bindEach(ids[i]);
      while (row.step()) take(static_cast<std::uint32_t>(i), row);
      row.reset();
    }
    return;
  }
  IDIndex index(ids);
  Statement row = db_.prepare(table.scan);
  while (row.step())
    if (std::optional<std::uint32_t> item = index.find(row.view(0))) take(*item, row);
}

std::vector<Library::Detail> Library::details(const std::vector<std::string_view>& ids,
                                              const DetailTable& table) {
  std::vector<Detail> details;
  eachDetail(ids, table, [&](std::uint32_t item, Statement& row) {
    details.push_back({item, row.integer(1), {row.text(2), row.isNull(3) ? 0 : row.real(3)}});
  });
  std::stable_sort(details.begin(), details.end());
  return details;
}

std::vector<std::vector<Swatch>> Library::coloursOf(const std::vector<std::string_view>& ids) {
  std::vector<std::vector<Swatch>> colours(ids.size());
  for (Detail& colour : details(ids, kColoursOfItems))
    colours[colour.item].push_back(std::move(colour.value));
  return colours;
}

void Library::loadDetails(std::vector<Item>& items, ItemDetails wanted) {
  std::vector<std::string_view> ids;
  ids.reserve(items.size());
  for (const Item& item : items) ids.push_back(item.id);
  if (wanted.collections)
    for (Detail& detail : details(ids, kCollectionsOfItems))
      items[detail.item].collectionIDs.push_back(std::move(detail.value.hex));
  if (wanted.tags)
    for (Detail& detail : details(ids, kTagsOfItems))
      items[detail.item].tags.push_back(std::move(detail.value.hex));
  if (wanted.colours)
    for (Detail& detail : details(ids, kColoursOfItems))
      items[detail.item].colors.push_back(std::move(detail.value));
}

std::optional<Item> Library::item(const std::string& id) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Statement& row =
      db_.cached("SELECT " + std::string(kItemColumns) + " FROM items i WHERE i.id = ?");
  if (!row.bindEach(id).step()) return std::nullopt;
  std::vector<Item> found;
  found.push_back(readItem(row));
  row.reset();
  loadDetails(found);
  return std::move(found.front());
}

SearchPage Library::search(const Filter& filter, std::int64_t limit) {
  Where where = whereOf(filter, true);
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  SearchPage page;
  Statement count = db_.prepare(where.count);
  bindAll(count, where.parameters);
  count.step();
  page.total = count.integer(0);
  page.items = newestItems(where, limit, page.total);
  loadDetails(page.items);
  return page;
}

// Many matches are spread through the library: the newest `limit` are found by walking the
// newest items and stopping, about limit × items / matches rows, instead of fetching every
// match and sorting. The walk has a budget; matches gathered among old items exhaust it, and
// then every match is fetched and sorted, as for few matches. Both give the same items.
std::vector<Item> Library::newestItems(const Where& where, std::int64_t limit,
                                       std::int64_t matches) {
  const std::string order = " ORDER BY i.created_at DESC, i.rowid DESC LIMIT ?";
  auto run = [&](const std::string& sql, std::optional<std::int64_t> budget) {
    Statement rows = db_.prepare(sql);
    bindFiltered(rows, budget, where, limit);
    std::vector<Item> items;
    while (rows.step()) items.push_back(readItem(rows));
    return items;
  };
  if (limit > 0 && matches > limit) {
    Statement last = db_.prepare("SELECT max(rowid) FROM items");  // about the item count
    last.step();
    std::int64_t budget = 3 * limit * std::max<std::int64_t>(last.integer(0), 1) / matches;
    if (budget < matches) {
      // The walk reads only what the filter looks at; the rows it keeps are read whole after.
      std::vector<Item> newest =
          run("SELECT " + std::string(kItemColumns) + " FROM items i WHERE i.rowid IN (SELECT " +
                  "i.rowid FROM " + std::string(kNewestItems) + " i" + where.sql + order +
                  ") ORDER BY i.created_at DESC, i.rowid DESC",
              budget);
      if (static_cast<std::int64_t>(newest.size()) == limit) return newest;
    }
  }
  return run("SELECT " + std::string(kItemColumns) + " FROM items i" + where.sql + order,
             std::nullopt);
}

std::vector<Item> Library::items(const Filter& scope, std::int64_t limit, ItemDetails details) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Where where = whereOf(scope, false);
  Statement rows = db_.prepare("SELECT " + std::string(kItemColumns) + " FROM items i" + where.sql +
                               " ORDER BY i.created_at DESC, i.rowid DESC LIMIT ?");
  bindFiltered(rows, std::nullopt, where, limit);
  std::vector<Item> items;
  while (rows.step()) items.push_back(readItem(rows));
  loadDetails(items, details);
  return items;
}

ItemTraits Library::traits(const Filter& scope) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  // The scope's items are read in the table's order and put newest first here: reading them
  // in date order would fetch each row from its own place in the file.
  Where where = whereOf(scope, false, true);
  struct Row {
    double createdAt;
    std::int64_t rowid;
    std::size_t idAt, idSize;  // in `idText`
    bool favorite;
    std::optional<std::string> url, sourceURL;
  };
  std::vector<Row> rows;
  std::string idText;  // every id, one after another: one allocation, not one per item
  Statement row = db_.prepare(
      "SELECT i.created_at, i.rowid, i.id, i.favorite, i.url, i.source_url FROM items i" +
      where.sql);
  bindAll(row, where.parameters);
  while (row.step()) {
    std::string_view id = row.view(2);
    rows.push_back({row.real(0), row.integer(1), idText.size(), id.size(), row.integer(3) != 0,
                    row.optionalText(4), row.optionalText(5)});
    idText += id;
  }
  std::vector<std::string_view> ids = sortNewestFirst(rows, idText);

  ItemTraits traits;
  traits.count = static_cast<std::int64_t>(rows.size());
  // Tags are counted as they come; the newest item's first tag is the first seen.
  eachDetail(ids, kTagsOfItems, [&](std::uint32_t item, Statement& tag) {
    traits.tags.add(tag.view(2), tagRank(item, tag));
  });
  std::vector<std::vector<Swatch>> colours = coloursOf(ids);
  for (std::uint32_t i = 0; i < rows.size(); ++i) {
    if (!colours[i].empty())
      traits.palettes.emplace_back(std::move(colours[i]), rows[i].favorite ? 2.0 : 1.0);
    if (rows[i].url || rows[i].sourceURL)
      traits.addresses.emplace_back(std::move(rows[i].url), std::move(rows[i].sourceURL));
  }
  return traits;
}

Board Library::board(const std::string& collectionID, const std::optional<std::string>& spaceID) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  std::vector<std::string> memberIDs;
  Statement member = db_.prepare("SELECT item_id FROM item_collections WHERE collection_id = ?");
  member.bindEach(collectionID);
  while (member.step()) memberIDs.push_back(member.text(0));
  std::vector<std::string_view> memberViews(memberIDs.begin(), memberIDs.end());
  IDIndex members(memberViews);

  // Every item is read in the table's order, once, with only what says whether it counts:
  // those of the space count for its usual work. Those of the collection, which may sit in
  // another space, are read whole as the scan reaches them, while their page is at hand.
  struct Row {
    double createdAt;
    std::int64_t rowid;
    std::size_t idAt, idSize;  // in `idText`
    bool favorite, inSpace, inCollection;
    std::uint32_t item = 0;  // its place among the collection's items
  };
  std::vector<Row> rows;
  std::string idText;
  std::vector<Item> scanned;  // the collection's items, in the table's order
  scanned.reserve(memberIDs.size());
  Statement row = db_.prepare(std::string("SELECT i.created_at, i.rowid, i.id, i.favorite, ") +
                              (spaceID ? "i.space_id = ?" : "1") + " FROM items i");
  if (spaceID) row.bindEach(*spaceID);
  Statement& whole =
      db_.cached("SELECT " + std::string(kItemColumns) + " FROM items i WHERE i.rowid = ?");
  while (row.step()) {
    std::string_view id = row.view(2);
    bool inSpace = row.integer(4) != 0, inCollection = members.find(id).has_value();
    if (!inSpace && !inCollection) continue;
    rows.push_back({row.real(0), row.integer(1), idText.size(), id.size(), row.integer(3) != 0,
                    inSpace, inCollection});
    idText += id;
    if (!inCollection) continue;
    rows.back().item = static_cast<std::uint32_t>(scanned.size());
    whole.bindEach(rows.back().rowid).step();
    scanned.push_back(readItem(whole));
    whole.reset();
  }
  std::vector<std::string_view> ids = sortNewestFirst(rows, idText);

  Board board;
  std::vector<Item>& items = board.items;
  items.reserve(scanned.size());
  for (Row& item : rows) {
    if (!item.inCollection) continue;
    items.push_back(std::move(scanned[item.item]));
    item.item = static_cast<std::uint32_t>(items.size() - 1);
  }

  // The space's tags are counted as they come, newest item first; the collection's items keep
  // theirs in their own order.
  std::vector<Detail> memberTags;
  eachDetail(ids, kTagsOfItems, [&](std::uint32_t i, Statement& tag) {
    if (rows[i].inSpace) board.usual.tags.add(tag.view(2), tagRank(i, tag));
    if (rows[i].inCollection)
      memberTags.push_back({rows[i].item, tag.integer(1), {tag.text(2), 0}});
  });
  std::stable_sort(memberTags.begin(), memberTags.end());
  for (Detail& tag : memberTags) items[tag.item].tags.push_back(std::move(tag.value.hex));

  std::vector<std::vector<Swatch>> colours = coloursOf(ids);
  for (std::uint32_t i = 0; i < rows.size(); ++i) {
    std::vector<Swatch>& palette = colours[i];
    if (rows[i].inSpace) {
      ++board.usual.count;
      if (!palette.empty())
        board.usual.palettes.emplace_back(palette, rows[i].favorite ? 2.0 : 1.0);
    }
    if (rows[i].inCollection) items[rows[i].item].colors = std::move(palette);
  }
  return board;
}

std::vector<Note> Library::notes(const Filter& filter, bool rulesOnly) {
  std::string sql =
      "SELECT n.id, n.title, n.text, n.rule, n.item_id, n.space_id, n.collection_id, "
      "n.created_at FROM notes n";
  // The note's item is looked up only when its space is asked about.
  if (filter.spaceID) sql += " LEFT JOIN items i ON i.id = n.item_id";
  sql += " WHERE 1";
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
        " AND (n.collection_id = ? OR n.item_id IN (SELECT c.item_id FROM item_collections c "
        "WHERE c.collection_id = ?))";
    parameters.push_back(*filter.collectionID);
    parameters.push_back(*filter.collectionID);
  }
  // Rules are few and have a date index of their own. Other notes are read in the table's
  // order and the matches sorted: the date index would fetch each note from its own place.
  if (rulesOnly)
    sql += " AND n.rule = 1 ORDER BY n.created_at DESC, n.rowid DESC";
  else
    sql += " ORDER BY +n.created_at DESC, n.rowid DESC";
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
  std::vector<std::string_view> ids;
  ids.reserve(notes.size());
  for (const Note& note : notes) ids.push_back(note.id);
  for (Detail& tag : details(ids, kTagsOfNotes))
    notes[tag.item].tags.push_back(std::move(tag.value.hex));
  return notes;
}

std::vector<Note> Library::notesOfItems(const Filter& scope, std::int64_t limit) {
  std::lock_guard lock(mutex_);
  ReadTransaction reading(db_);
  Where where = whereOf(scope, false);
  auto run = [&](const std::string& items, std::optional<std::int64_t> budget) {
    Statement row =
        db_.prepare("SELECT n.id, n.title, n.text, n.rule, n.item_id, n.created_at FROM " + items +
                    " i JOIN notes n ON n.item_id = i.id" + where.sql +
                    " ORDER BY i.created_at DESC, i.rowid DESC, n.created_at, n.rowid LIMIT ?");
    bindFiltered(row, budget, where, limit);
    std::vector<Note> notes;
    while (row.step()) {
      Note note = noteOfRow(row);
      note.itemID = row.text(4);
      note.createdAt = row.real(5);
      notes.push_back(std::move(note));
    }
    return notes;
  };
  // A few notes: those of the newest items, found by walking the newest items and looking up
  // each one's notes. When the walk's budget gives too few, every note is read and sorted.
  if (limit > 0) {
    std::vector<Note> newest = run(std::string(kNewestItems), 64 * limit);
    if (static_cast<std::int64_t>(newest.size()) == limit) return newest;
  }
  return run("items", std::nullopt);
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
