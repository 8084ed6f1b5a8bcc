#include "widget/widget_snapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/careful_files.h"
#include "tests/support/hostile_files.h"
#include "tests/support/temp_dir.h"

namespace nolt::widget {
namespace {

constexpr const char* kItemID = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
constexpr const char* kSpaceID = "11111111-2222-3333-4444-555555555555";

// A snapshot with one item, one space and one collection; `item` replaces the item's fields.
std::string snapshotText(const std::string& item) {
  return R"({"items":[)" + item + R"(],
    "spaces":[{"id":"11111111-2222-3333-4444-555555555555","name":"Work"}],
    "collections":[{"id":"66666666-7777-8888-9999-AAAAAAAAAAAA","name":"Refs",
                    "spaceID":"11111111-2222-3333-4444-555555555555"}]})";
}

const std::string kGoodItem = R"({"id":"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9","title":"Chair",
    "spaceID":"11111111-2222-3333-4444-555555555555",
    "collectionIDs":["66666666-7777-8888-9999-AAAAAAAAAAAA"],"weight":2.5})";

TEST(WidgetSnapshotTest, DecodesEveryField) {
  auto snapshot = WidgetSnapshot::decode(snapshotText(kGoodItem));
  ASSERT_TRUE(snapshot);
  ASSERT_EQ(snapshot->items.size(), 1u);
  const auto& item = snapshot->items[0];
  EXPECT_EQ(item.id.uuidString(), kItemID);
  EXPECT_EQ(item.title, "Chair");
  EXPECT_EQ(item.spaceID, UUID::parse(kSpaceID));
  ASSERT_EQ(item.collectionIDs.size(), 1u);
  EXPECT_EQ(item.collectionIDs[0].uuidString(), "66666666-7777-8888-9999-AAAAAAAAAAAA");
  EXPECT_EQ(item.weight, 2.5);
  ASSERT_EQ(snapshot->spaces.size(), 1u);
  EXPECT_EQ(snapshot->spaces[0].name, "Work");
  EXPECT_FALSE(snapshot->spaces[0].spaceID);
  ASSERT_EQ(snapshot->collections.size(), 1u);
  EXPECT_EQ(snapshot->collections[0].spaceID, UUID::parse(kSpaceID));
}

TEST(WidgetSnapshotTest, AcceptsWhatADefaultDecoderAccepts) {
  struct Case {
    const char* name;
    std::string item;
  };
  const Case cases[] = {
      {"no spaceID", R"({"id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9","title":"",
          "collectionIDs":[],"weight":1})"},
      {"null spaceID", R"({"id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9","title":"t",
          "spaceID":null,"collectionIDs":[],"weight":0})"},
      {"unknown keys of any shape", R"({"extra":{"a":[1,{"b":null}],"id":5},"id":
          "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9","title":"t","more":[[true]],
          "collectionIDs":[],"weight":-3e2,"n":null})"},
      {"keys in another order", R"({"weight":1,"collectionIDs":[],"title":"\u00e9\n",
          "id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"})"},
  };
  for (const auto& c : cases) {
    auto snapshot = WidgetSnapshot::decode(snapshotText(c.item));
    ASSERT_TRUE(snapshot) << c.name;
    EXPECT_EQ(snapshot->items.size(), 1u) << c.name;
    EXPECT_FALSE(snapshot->items[0].spaceID) << c.name;
  }
  auto withRootExtras = WidgetSnapshot::decode(
      R"({"version":3,"spaces":[],"collections":[],"items":[],"generated":{"at":[1,2]}})");
  ASSERT_TRUE(withRootExtras);
  EXPECT_TRUE(withRootExtras->items.empty());
}

// One bad item (or any other fault) and the whole snapshot is refused.
TEST(WidgetSnapshotTest, RefusesTheWholeSnapshotForOneFault) {
  struct Case {
    const char* name;
    std::string text;
  };
  auto item = [](const std::string& fields) {
    return snapshotText(kGoodItem + ",{" + fields + "}");
  };
  const std::string id = R"("id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9")";
  const Case cases[] = {
      {"no weight", item(id + R"(,"title":"t","collectionIDs":[])")},
      {"no title", item(id + R"(,"collectionIDs":[],"weight":1)")},
      {"no id", item(R"("title":"t","collectionIDs":[],"weight":1)")},
      {"no collectionIDs", item(id + R"(,"title":"t","weight":1)")},
      {"weight as text", item(id + R"(,"title":"t","collectionIDs":[],"weight":"1")")},
      {"null weight", item(id + R"(,"title":"t","collectionIDs":[],"weight":null)")},
      {"title as number", item(id + R"(,"title":1,"collectionIDs":[],"weight":1)")},
      {"id not a UUID", item(R"("id":"0A1B2C3D4E5F60718293A4B5C6D7E8F9","title":"t",
          "collectionIDs":[],"weight":1)")},
      {"id in braces", item(R"("id":"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F}","title":"t",
          "collectionIDs":[],"weight":1)")},
      {"bad collection id", item(id + R"(,"title":"t","collectionIDs":["x"],"weight":1)")},
      {"nested collection ids", item(id + R"(,"title":"t","collectionIDs":[[]],"weight":1)")},
      {"spaceID as number", item(id + R"(,"title":"t","spaceID":3,"collectionIDs":[],
          "weight":1)")},
      {"item not an object", snapshotText(kGoodItem + ",7")},
      {"weight out of range", item(id + R"(,"title":"t","collectionIDs":[],"weight":1e999)")},
      {"space without name",
       R"({"items":[],"spaces":[{"id":")" + std::string(kSpaceID) + R"("}],"collections":[]})"},
      {"no collections", R"({"items":[],"spaces":[]})"},
      {"items not an array", R"({"items":{},"spaces":[],"collections":[]})"},
      {"not an object", R"([])"},
      {"truncated", snapshotText(kGoodItem).substr(0, 60)},
      {"text after the value", R"({"items":[],"spaces":[],"collections":[]} x)"},
      {"not UTF-8", "{\"items\":[],\"spaces\":[],\"collections\":[],\"x\":\"\xff\"}"},
      {"empty", ""},
  };
  for (const auto& c : cases) EXPECT_FALSE(WidgetSnapshot::decode(c.text)) << c.name;
}

TEST(WidgetSnapshotTest, LaterRepeatedKeysReplaceEarlierOnes) {
  auto snapshot = WidgetSnapshot::decode(
      R"({"items":[{"id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9","title":"t",
          "collectionIDs":[],"weight":1}],"spaces":[],"collections":[],"items":[]})");
  ASSERT_TRUE(snapshot);
  EXPECT_TRUE(snapshot->items.empty());
}

class LoadSnapshotTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(container_.empty()); }
  void write(const std::string& text) {
    std::filesystem::create_directories(container_ + "/Widget");
    std::ofstream(snapshotPath(container_)) << text;
  }
  test_support::TempDir folder_;
  std::string container_ = folder_.path();
};

TEST_F(LoadSnapshotTest, EveryFailureGivesTheEmptySnapshot) {
  EXPECT_TRUE(loadSnapshot(std::nullopt).items.empty());
  EXPECT_TRUE(loadSnapshot(container_).items.empty());            // no file
  std::filesystem::create_directories(snapshotPath(container_));  // a folder, not a file
  EXPECT_TRUE(loadSnapshot(container_).items.empty());
  std::filesystem::remove(snapshotPath(container_));
  write(snapshotText(R"({"id":"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"})"));
  auto snapshot = loadSnapshot(container_);
  EXPECT_TRUE(snapshot.items.empty());
  EXPECT_TRUE(snapshot.spaces.empty());
  EXPECT_TRUE(snapshot.collections.empty());
}

TEST_F(LoadSnapshotTest, HostileFilesGiveTheEmptySnapshotAtOnce) {
  std::string good = container_ + "/elsewhere.json";
  std::ofstream(good) << snapshotText(kGoodItem);
  std::string path = snapshotPath(container_);
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, platform::kMaxSnapshotBytes, good));
    WidgetSnapshot snapshot;
    snapshot.items.emplace_back();
    EXPECT_TRUE(test_support::endsWithin(
        1, [&] { snapshot = loadSnapshot(container_); }, path));
    EXPECT_TRUE(snapshot.items.empty());
  }
}

TEST_F(LoadSnapshotTest, ReadsTheFileAndNamesThumbnailsInUpperCase) {
  write(snapshotText(kGoodItem));
  EXPECT_EQ(loadSnapshot(container_).items.size(), 1u);
  EXPECT_EQ(thumbnailPath(container_, *UUID::parse(kItemID)),
            container_ + "/Widget/0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9.jpg");
}

}  // namespace
}  // namespace nolt::widget
