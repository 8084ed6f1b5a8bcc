// host/library.h - the library in SQLite: items, notes, spaces, collections, tags, colours.
// Every change is one transaction; search runs over an FTS5 index of each item's words.
// Identifiers are canonical upper-case UUID texts; instants are seconds since 1970.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/sqlite.h"
#include "host/tally.h"

namespace nolt::host {

struct Space {
  std::string id;
  std::string name;
  std::string emoji;
  std::string symbol;
  std::string tintName;
};

struct Collection {
  std::string id;
  std::string name;
  std::optional<std::string> spaceID;
};

// One colour of an image and its share of the picture (the shares of an item add up to 1).
struct Swatch {
  std::string hex;  // "#RRGGBB"
  double weight = 0;
};

enum class ItemKind { link, image, video, pdf, text, file };
std::string_view kindName(ItemKind kind);
std::optional<ItemKind> kindNamed(std::string_view name);

struct Item {
  std::string id;
  ItemKind kind = ItemKind::link;
  std::string title;
  std::optional<std::string> url;        // a link's address
  std::optional<std::string> sourceURL;  // the page a capture came from
  std::optional<std::string> fileName;   // the stored file, beside the database
  std::optional<std::string> mimeType;
  std::optional<std::string> text;  // a text item's text
  std::string spaceID;
  std::vector<std::string> collectionIDs;
  std::vector<std::string> tags;
  std::vector<Swatch> colors;
  int width = 0;  // pixels of an image, 0 when unknown
  int height = 0;
  bool favorite = false;
  double createdAt = 0;
  std::optional<std::string> captureID;  // the inbox folder it came from, so it is taken once
};

struct Note {
  std::string id;
  std::string title;
  std::string text;
  bool rule = false;
  std::vector<std::string> tags;
  std::optional<std::string> itemID;  // a note attached to an item
  std::optional<std::string> spaceID;
  std::optional<std::string> collectionID;
  double createdAt = 0;
};

// Which items or notes to list. Words match as prefixes, tags exactly (case-insensitive).
// Repeated words and tags count once; search and notes throw QueryError past the bounds below.
struct Filter {
  std::vector<std::string> words;
  std::vector<std::string> tags;
  std::optional<std::string> spaceID;
  std::optional<std::string> collectionID;
  bool favoritesOnly = false;
};

// What taste and brief weigh of many items, read without reading each item whole.
struct ItemTraits {
  std::int64_t count = 0;
  Tally tags;  // first seen: the newest item's, in its own order
  // Each item's address and source address, newest first, for items with either.
  std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> addresses;
  // The colours of items with any, newest first, weighed 2 for a favourite and 1 otherwise.
  std::vector<std::pair<std::vector<Swatch>, double>> palettes;
};

// A collection beside its space: what sets a board apart from the space's usual work.
struct Board {
  std::vector<Item> items;  // the collection's, newest first, with their tags and colours
  ItemTraits usual;         // what the space's items weigh, without addresses
};

// A person looks for a handful of words. Each distinct word or tag costs one FTS5 phrase or
// one LIKE, one EXISTS and one bound parameter, so 64 keep a query far inside SQLite's limits
// (an expression 1000 deep, a LIKE pattern of 50,000 bytes) and its cost linear in its length.
inline constexpr std::size_t kMaxQueryTerms = 64;
inline constexpr std::size_t kMaxTermCharacters = 1000;
// From this many items on, their collections, tags and colours are read by scanning those
// tables once rather than by a lookup per item.
inline constexpr std::size_t kDetailsByScan = 1000;

// A query past those bounds; what() is the text people read.
class QueryError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Which of an item's details to read with it, for callers that use only some.
struct ItemDetails {
  bool collections = true;
  bool tags = true;
  bool colours = true;
};

struct SearchPage {
  std::vector<Item> items;  // newest first
  std::int64_t total = 0;   // all matches, beyond the limit too
};

struct Where;        // a filter compiled to SQL (host/library_query.h)
struct DetailTable;  // one table of items' details

class Library {
 public:
  // `alone`: no other connection may open the database meanwhile, and SQLite needs no -shm file
  // beside it (a full disk has no room for one).
  enum class Sharing { shared, alone };
  // Opens or creates the library at `path` (":memory:" for tests): WAL journal, the schema,
  // and a first space when there is none; a read-only library is opened to read. Throws
  // StoreError.
  explicit Library(const std::string& path, Sharing sharing = Sharing::shared);

  std::vector<Space> spaces();
  std::vector<Collection> collections();
  std::optional<std::string> currentSpaceID();
  void setCurrentSpace(const std::string& spaceID);
  void addSpace(const Space& space);
  void addCollection(const Collection& collection);

  // Item counts by space or collection id.
  std::int64_t itemCountInSpace(const std::string& spaceID);
  std::int64_t itemCountInCollection(const std::string& collectionID);

  // Adds the item with its note (if any) in one transaction.
  void addItem(const Item& item, const std::optional<Note>& note = std::nullopt);
  // Adds every item with its note in one transaction: all of them, or none.
  void addItems(const std::vector<std::pair<Item, std::optional<Note>>>& items);
  void addNote(const Note& note);
  bool hasCapture(const std::string& captureID);

  std::optional<Item> item(const std::string& id);
  SearchPage search(const Filter& filter, std::int64_t limit);
  // The items of the filter's space or collection, newest first (words and tags ignored);
  // a negative limit gives every one.
  std::vector<Item> items(const Filter& scope, std::int64_t limit = -1, ItemDetails details = {});
  // Words and tags ignored.
  ItemTraits traits(const Filter& scope);
  // The collection's items beside those of `spaceID`, or of every space without one. Each
  // table is read once for both.
  Board board(const std::string& collectionID, const std::optional<std::string>& spaceID);
  std::vector<Note> notes(const Filter& filter, bool rulesOnly);
  std::vector<Note> notesOfItem(const std::string& itemID);  // oldest first
  // The notes on the scope's items: items newest first as items() lists them, each item's
  // notes oldest first, as notesOfItem() gives them. A negative limit gives every one.
  std::vector<Note> notesOfItems(const Filter& scope, std::int64_t limit = -1);

 private:
  // Each public method takes `mutex_` once, for its whole work. The private ones below assume
  // it is held; those that write assume the caller's transaction is open.
  void ensureSpace();
  void insertSpace(const Space& space);
  void storeCurrentSpace(const std::string& spaceID);
  void insertItem(const Item& item, const std::optional<Note>& note);
  void insertNote(const Note& note);
  void indexItem(const std::string& id);  // refreshes the item's search words
  // The newest `limit` items matching `where`, which `matches` items match.
  std::vector<Item> newestItems(const Where& where, std::int64_t limit, std::int64_t matches);
  Item readItem(Statement& row);
  void loadDetails(std::vector<Item>& items, ItemDetails wanted = {});
  // One row of a detail table: a collection id or a tag in `value.hex`, or a colour.
  // Note tags are read the same way, a note in place of an item.
  struct Detail {
    std::uint32_t item;  // its place in the list of ids asked about
    std::int64_t place;  // its place among the item's
    Swatch value;
    // By item, then by place among the item's.
    bool operator<(const Detail& other) const {
      return item != other.item ? item < other.item : place < other.place;
    }
  };
  // The rows of one detail table for the items `ids`, by item and then by place.
  std::vector<Detail> details(const std::vector<std::string_view>& ids, const DetailTable& table);
  // The colours of the items `ids`, each item's in its own order.
  std::vector<std::vector<Swatch>> coloursOf(const std::vector<std::string_view>& ids);
  // Hands each row of one detail table for the items `ids` to `take`, in no particular order:
  // its place among the item's is column 1, the detail 2 and its weight 3.
  void eachDetail(const std::vector<std::string_view>& ids, const DetailTable& table,
                  const std::function<void(std::uint32_t item, Statement& row)>& take);

  std::mutex mutex_;
  Database db_;
};

}  // namespace nolt::host
