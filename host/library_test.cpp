#include "host/library.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

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
  char pattern[] = "/tmp/nolt-library-XXXXXX";
  std::filesystem::path folder = mkdtemp(pattern);
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
  std::filesystem::remove_all(folder);
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
