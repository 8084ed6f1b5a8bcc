#include "host/library_schema.h"

#include <string>

namespace nolt::host {

namespace {

// The tables as the first schema made them; every later version keeps them.
constexpr std::string_view kTables = R"sql(
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS spaces(
  id TEXT PRIMARY KEY, name TEXT NOT NULL, emoji TEXT NOT NULL, symbol TEXT NOT NULL,
  tint_name TEXT NOT NULL, position INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS collections(
  id TEXT PRIMARY KEY, name TEXT NOT NULL, space_id TEXT REFERENCES spaces(id),
  position INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS items(
  id TEXT PRIMARY KEY, kind TEXT NOT NULL, title TEXT NOT NULL, url TEXT, source_url TEXT,
  file_name TEXT, mime_type TEXT, text TEXT, space_id TEXT NOT NULL REFERENCES spaces(id),
  width INTEGER NOT NULL, height INTEGER NOT NULL, favorite INTEGER NOT NULL,
  created_at REAL NOT NULL, capture_id TEXT UNIQUE);
CREATE INDEX IF NOT EXISTS items_by_date ON items(created_at);
CREATE TABLE IF NOT EXISTS item_collections(
  item_id TEXT NOT NULL REFERENCES items(id), collection_id TEXT NOT NULL REFERENCES collections(id),
  PRIMARY KEY(item_id, collection_id));
CREATE TABLE IF NOT EXISTS item_tags(
  item_id TEXT NOT NULL REFERENCES items(id), tag TEXT NOT NULL COLLATE NOCASE,
  position INTEGER NOT NULL, PRIMARY KEY(item_id, tag));
CREATE TABLE IF NOT EXISTS item_colors(
  item_id TEXT NOT NULL REFERENCES items(id), hex TEXT NOT NULL, weight REAL NOT NULL,
  position INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS notes(
  id TEXT PRIMARY KEY, title TEXT NOT NULL, text TEXT NOT NULL, rule INTEGER NOT NULL,
  item_id TEXT REFERENCES items(id), space_id TEXT REFERENCES spaces(id),
  collection_id TEXT REFERENCES collections(id), created_at REAL NOT NULL);
CREATE TABLE IF NOT EXISTS note_tags(
  note_id TEXT NOT NULL REFERENCES notes(id), tag TEXT NOT NULL COLLATE NOCASE,
  position INTEGER NOT NULL, PRIMARY KEY(note_id, tag));
)sql";

// Version 1. An item's search words sit at the item's own rowid, so replacing them is a
// lookup, not a scan; every column a command filters or joins by has an index.
constexpr std::string_view kVersion1 = R"sql(
CREATE VIRTUAL TABLE item_search USING fts5(
  title, body, tokenize = 'unicode61 remove_diacritics 2');
CREATE INDEX IF NOT EXISTS items_by_space ON items(space_id, created_at);
CREATE INDEX IF NOT EXISTS item_collections_by_collection
  ON item_collections(collection_id, item_id);
CREATE INDEX IF NOT EXISTS item_tags_by_tag ON item_tags(tag);
CREATE INDEX IF NOT EXISTS item_colors_by_item ON item_colors(item_id, position);
CREATE INDEX IF NOT EXISTS notes_by_item ON notes(item_id, created_at);
CREATE INDEX IF NOT EXISTS notes_by_date ON notes(created_at);
)sql";

// Version 2. A tag's items are read from the tag index alone; favourites and rules, which are
// few, each have an index of their own in date order, so finding the newest does not walk
// every item or note.
constexpr std::string_view kVersion2 = R"sql(
DROP INDEX IF EXISTS item_tags_by_tag;
CREATE INDEX IF NOT EXISTS item_tags_by_tag_item ON item_tags(tag, item_id);
CREATE INDEX IF NOT EXISTS items_favorite_by_date ON items(created_at) WHERE favorite != 0;
CREATE INDEX IF NOT EXISTS notes_rules_by_date ON notes(created_at) WHERE rule = 1;
)sql";

int userVersion(Database& db) {
  Statement row = db.prepare("PRAGMA user_version");
  row.step();
  return static_cast<int>(row.integer(0));
}

bool hasTable(Database& db, std::string_view name) {
  Statement row = db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  return row.bindEach(name).step();
}

}  // namespace

void prepareSchema(Database& db) {
  Transaction transaction(db);
  int version = userVersion(db);
  if (version >= kSchemaVersion) return;
  db.execute(kTables);
  if (version < 1) {
    db.execute(kVersion1);
    // The first schema's words move over as they are: the same text gives the same matches.
    if (hasTable(db, "item_words")) {
      db.execute(
          "INSERT INTO item_search(rowid, title, body) SELECT i.rowid, w.title, w.body "
          "FROM item_words w JOIN items i ON i.id = w.item_id");
      db.execute("DROP TABLE item_words");
    }
  }
  if (version < 2) db.execute(kVersion2);
  db.execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  transaction.commit();
}

}  // namespace nolt::host
