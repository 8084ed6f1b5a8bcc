#include "host/library.h"

#include <gtest/gtest.h>

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

TEST(ColourWordTest, NamesColoursAsPeopleDo) {
  struct Case {
    std::string hex, word;
  } cases[] = {{"#000000", "black"}, {"#FFFFFF", "white"},  {"#808080", "grey"},
               {"#D62828", "red"},   {"#F4A261", "orange"}, {"#E9C46A", "yellow"},
               {"#2A9D8F", "teal"},  {"#3A86FF", "blue"},   {"#8338EC", "purple"},
               {"#FF006E", "pink"},  {"#6B4226", "brown"},  {"#87986A", "green"},
               {"red", ""}};
  for (const Case& c : cases) EXPECT_EQ(colourWord(c.hex), c.word) << c.hex;
}

}  // namespace
}  // namespace nolt::host
