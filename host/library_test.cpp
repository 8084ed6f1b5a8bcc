#include "host/library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace nolt::host {
namespace {

Item linkItem(std::string id, std::string title, double createdAt) {
  Item item;
  item.id = std::move(id);
  item.title = std::move(title);
  item.url = "https://example.com/" + item.title;
  item.createdAt = createdAt;
  return item;
}

TEST(LibraryTest, KeepsItsContentAcrossOpeningsAndTakesACaptureOnce) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  std::filesystem::path folder = temporary.path();
  std::string path = (folder / "library.sqlite").string();
  {
    Library library(path);
    Item item = linkItem("00000000-0000-0000-0000-000000000001", "chair", 10);
    item.spaceID = *library.currentSpaceID();
    item.captureID = "CAPTURE";
    item.tags = {"red", "RED", "blue"};
    library.addItem(item);
    item.id = "00000000-0000-0000-0000-000000000002";
    EXPECT_THROW(library.addItem(item), StoreError);  // the same capture again
  }
  Library reopened(path);
  EXPECT_EQ(reopened.spaces().size(), 1u);
  EXPECT_TRUE(reopened.hasCapture("CAPTURE"));
  std::optional<Item> item = reopened.item("00000000-0000-0000-0000-000000000001");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->tags, (std::vector<std::string>{"red", "blue"}));  // tags are unique in any case
  EXPECT_FALSE(reopened.item("00000000-0000-0000-0000-000000000002"));
}

TEST(LibraryTest, ALinkPlantedWhereTheLibraryGoesIsNotFollowed) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  std::filesystem::path folder = temporary.path();
  ASSERT_TRUE(temporary.write("elsewhere.sqlite", ""));
  std::filesystem::create_symlink(folder / "elsewhere.sqlite", folder / "library.sqlite");
  EXPECT_THROW(Library((folder / "library.sqlite").string()), StoreError);
  EXPECT_EQ(std::filesystem::file_size(folder / "elsewhere.sqlite"), 0u);
}

TEST(LibraryTest, AFailedChangeLeavesNothingBehind) {
  Library library(":memory:");
  Item item = linkItem("00000000-0000-0000-0000-000000000001", "chair", 10);
  item.spaceID = "no such space";  // the foreign key fails after the item row went in
  item.tags = {"red"};
  EXPECT_THROW(library.addItem(item), StoreError);
  EXPECT_EQ(library.search({}, 10).total, 0);
  EXPECT_EQ(library.search({{"chair"}, {}, {}, {}}, 10).total, 0);
}

TEST(LibraryTest, ImagesAreFoundByTheirMainColours) {
  Library library(":memory:");
  Item item = linkItem("00000000-0000-0000-0000-000000000001", "sunset", 10);
  item.spaceID = *library.currentSpaceID();
  item.colors = {{"#F08A24", 0.6}, {"#1D3557", 0.3}, {"#00FF00", 0.1}};
  library.addItem(item);
  struct Case {
    std::string word;
    std::int64_t found;
  } cases[] = {{"orange", 1}, {"blue", 1}, {"green", 0}, {"f08a24", 1}};
  for (const Case& c : cases)
    EXPECT_EQ(library.search({{c.word}, {}, {}, {}}, 5).total, c.found) << c.word;
}

TEST(LibraryTest, TermsCountOnceInAnyCaseAndTooManyFail) {
  Library library(":memory:");
  Item item = linkItem("00000000-0000-0000-0000-000000000001", "chair", 10);
  item.spaceID = *library.currentSpaceID();
  item.tags = {"red"};
  Note note;
  note.id = "00000000-0000-0000-0000-000000000002";
  note.text = "chair";
  note.tags = {"red"};
  library.addItem(item, note);
  Filter spellings;
  for (int bits = 0; bits < 32; ++bits) {  // every spelling of "chair" in upper and lower case
    std::string word = "chair";
    for (int i = 0; i < 5; ++i)
      if (bits & (1 << i)) word[i] = static_cast<char>(word[i] - 'a' + 'A');
    spellings.words.push_back(word);
    spellings.tags.push_back(bits % 2 ? "RED" : "red");
  }
  EXPECT_EQ(library.search(spellings, 5).total, 1);
  EXPECT_EQ(library.notes(spellings, false).size(), 1u);

  Filter tooMany;
  for (int i = 0; i <= 64; ++i) tooMany.words.push_back(std::string(1, 'w') += std::to_string(i));
  EXPECT_THROW(library.search(tooMany, 5), QueryError);
  EXPECT_THROW(library.notes(tooMany, false), QueryError);
  std::swap(tooMany.words, tooMany.tags);
  EXPECT_THROW(library.search(tooMany, 5), QueryError);
  EXPECT_THROW(library.notes(tooMany, false), QueryError);
}

// Many matches are found by walking the newest items; matches gathered among the oldest items
// exhaust the walk. Either way the page and total are those of sorting every match, with ties
// in date broken by the later item first.
TEST(LibraryTest, TheNewestMatchesAreTheSameWhereverTheMatchesLie) {
  Library library(":memory:");
  const std::string space = *library.currentSpaceID();
  library.addCollection({"C0000000-0000-4000-8000-000000000001", "Board", space});
  struct Entry {
    std::string id;
    double createdAt;
    bool spread, old, early, inBoard;
  };
  std::vector<Entry> entries;
  std::vector<std::pair<Item, std::optional<Note>>> batch;
  for (int n = 0; n < 3000; ++n) {
    char id[40];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", n);
    // Dates in a scrambled order, many shared by several items; the oldest 600 and the newest
    // 10 are distinct.
    double createdAt = n < 600 ? n : n >= 2990 ? 10000 + n : 1000 + (n * 7919) % 500;
    Entry entry{id, createdAt, n % 9 == 0, n < 40, n < 600 || n >= 2995, n % 3 == 0};
    Item item = linkItem(entry.id, "thing", createdAt);
    item.spaceID = space;
    if (entry.spread) item.tags.push_back("spread");
    if (entry.old) item.tags.push_back("old");
    if (entry.early) item.tags.push_back("early");
    if (entry.spread) item.title += " everywhere";
    if (entry.old) item.title += " ancient";
    if (entry.inBoard) item.collectionIDs.push_back("C0000000-0000-4000-8000-000000000001");
    std::optional<Note> note;
    if (entry.old || n >= 2990 || n % 100 == 0)
      note = Note{"N" + entry.id, "", "about " + entry.id, false, {}, entry.id, {}, {}, createdAt};
    batch.emplace_back(std::move(item), std::move(note));
    entries.push_back(std::move(entry));
  }
  library.addItems(batch);

  // Every match, newest first, as sorting all of them gives it.
  auto expected = [&](auto&& matches, std::size_t limit) {
    std::vector<const Entry*> all;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
      if (matches(*entry)) all.push_back(&*entry);
    std::stable_sort(all.begin(), all.end(),
                     [](const Entry* a, const Entry* b) { return a->createdAt > b->createdAt; });
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < all.size() && i < limit; ++i) ids.push_back(all[i]->id);
    return std::make_pair(ids, static_cast<std::int64_t>(all.size()));
  };
  auto found = [&](const Filter& filter, std::int64_t limit) {
    SearchPage page = library.search(filter, limit);
    std::vector<std::string> ids;
    for (const Item& item : page.items) ids.push_back(item.id);
    return std::make_pair(ids, page.total);
  };
  Filter spreadTag, oldTag, earlyTag, spreadWord, oldWord, spreadInBoard, everything;
  earlyTag.tags = {"early"};  // many matches, nearly all among the oldest items
  spreadTag.tags = {"spread"};
  oldTag.tags = {"old"};
  spreadWord.words = {"everywhere"};
  oldWord.words = {"ancient"};
  spreadInBoard.tags = {"spread"};
  spreadInBoard.collectionID = "C0000000-0000-4000-8000-000000000001";
  for (std::int64_t limit : {1, 20, 35}) {
    SCOPED_TRACE(limit);
    auto limited = static_cast<std::size_t>(limit);
    auto spread = [](const Entry& e) { return e.spread; };
    auto old = [](const Entry& e) { return e.old; };
    EXPECT_EQ(found(spreadTag, limit), expected(spread, limited));
    EXPECT_EQ(found(spreadWord, limit), expected(spread, limited));
    EXPECT_EQ(found(oldTag, limit), expected(old, limited));
    EXPECT_EQ(found(earlyTag, limit), expected([](const Entry& e) { return e.early; }, limited));
    EXPECT_EQ(found(oldWord, limit), expected(old, limited));
    EXPECT_EQ(found(spreadInBoard, limit),
              expected([](const Entry& e) { return e.spread && e.inBoard; }, limited));
    EXPECT_EQ(found(everything, limit), expected([](const Entry&) { return true; }, limited));
  }

  // The newest items' notes: the same few whether found by walking or by reading them all.
  std::vector<Note> all = library.notesOfItems({}, -1);
  ASSERT_EQ(all.size(), 79u);
  for (std::int64_t limit : {1, 5, 20, 40, 79}) {
    std::vector<Note> newest = library.notesOfItems({}, limit);
    ASSERT_EQ(newest.size(), static_cast<std::size_t>(limit));
    for (std::size_t i = 0; i < newest.size(); ++i) EXPECT_EQ(newest[i].id, all[i].id) << i;
  }
}

// A board reads its items and its space in one pass. It must read them as listing the
// collection's items and weighing the space's do: the same items in the same order (dates
// shared, an item of another space), each with its tags and colours, and the same usual tags
// and palettes, whether details are looked up item by item or read by scanning.
TEST(LibraryTest, ABoardReadsAsItsItemsAndItsSpaceDo) {
  for (int size : {40, 2500}) {
    SCOPED_TRACE(size);
    Library library(":memory:");
    const std::string home = *library.currentSpaceID(),
                      away = "S0000000-0000-4000-8000-000000000002";
    library.addSpace({away, "Away", "x", "x", "x"});
    const std::string board = "C0000000-0000-4000-8000-000000000001";
    library.addCollection({board, "Board", home});
    std::vector<std::pair<Item, std::optional<Note>>> batch;
    for (int n = 0; n < size; ++n) {
      char id[40];
      std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", (n * 7919) % 100000);
      Item item = linkItem(id, "thing", 100 + (n * 31) % 17);  // many items share each date
      item.spaceID = n % 3 == 0 ? away : home;
      item.favorite = n % 5 == 0;
      if (n % 2 == 0 || n == 3) item.collectionIDs.push_back(board);  // n == 3: away, in the board
      for (int t = 0; t < n % 4; ++t)
        item.tags.push_back((t + n) % 3 == 0 ? "Warm"
                            : t % 2          ? "warm" + std::to_string(t)
                                             : "cool");
      if (n % 7 == 0) item.colors = {{n % 2 ? "#102030" : "#F0E0D0", 0.7}, {"#808080", 0.3}};
      batch.emplace_back(std::move(item), std::nullopt);
    }
    library.addItems(batch);

    for (std::optional<std::string> space :
         {std::optional<std::string>(home), std::optional<std::string>()}) {
      SCOPED_TRACE(space.value_or("every space"));
      Board read = library.board(board, space);
      Filter inBoard, inSpace;
      inBoard.collectionID = board;
      inSpace.spaceID = space;
      std::vector<Item> items = library.items(inBoard, -1, {false, true, true});
      ASSERT_EQ(read.items.size(), items.size());
      for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(read.items[i].id, items[i].id) << i;
        EXPECT_EQ(read.items[i].tags, items[i].tags) << i;
        ASSERT_EQ(read.items[i].colors.size(), items[i].colors.size()) << i;
        for (std::size_t c = 0; c < items[i].colors.size(); ++c)
          EXPECT_EQ(read.items[i].colors[c].hex, items[i].colors[c].hex) << i;
      }
      ItemTraits usual = library.traits(inSpace);
      EXPECT_EQ(read.usual.count, usual.count);
      EXPECT_EQ(read.usual.tags.top(100), usual.tags.top(100));
      ASSERT_EQ(read.usual.palettes.size(), usual.palettes.size());
      for (std::size_t i = 0; i < usual.palettes.size(); ++i) {
        EXPECT_EQ(read.usual.palettes[i].second, usual.palettes[i].second) << i;
        EXPECT_EQ(read.usual.palettes[i].first.front().hex, usual.palettes[i].first.front().hex)
            << i;
      }
    }
  }
}

// A note's tags keep their order whether looked up note by note or read by scanning, for
// many notes.
TEST(LibraryTest, NotesKeepTheirTagsInTheirOrder) {
  for (int count : {3, 1500}) {
    SCOPED_TRACE(count);
    Library library(":memory:");
    for (int n = 0; n < count; ++n) {
      Note note;
      note.id = "N" + std::to_string(n);
      note.text = "note";
      note.tags = {n % 2 ? "zebra" : "apple", "mango", n % 2 ? "apple" : "zebra"};
      note.createdAt = n;
      library.addNote(note);
    }
    std::vector<Note> notes = library.notes({}, false);
    ASSERT_EQ(notes.size(), static_cast<std::size_t>(count));
    for (const Note& note : notes) {
      bool odd = std::stoi(note.id.substr(1)) % 2 != 0;
      EXPECT_EQ(note.tags, (std::vector<std::string>{odd ? "zebra" : "apple", "mango",
                                                     odd ? "apple" : "zebra"}))
          << note.id;
    }
  }
}

}  // namespace
}  // namespace nolt::host
