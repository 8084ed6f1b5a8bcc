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

}  // namespace
}  // namespace nolt::host
