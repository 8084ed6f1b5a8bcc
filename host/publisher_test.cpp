#include "host/publisher.h"

#include <gtest/gtest.h>

#include <fstream>

#include "capture/capture_destinations.h"
#include "host/testing/host_fixture.h"
#include "tests/support/temp_dir.h"
#include "widget/widget_snapshot.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;

class PublisherTest : public testing::HostFixture {
 protected:
  fs::path container_ = folder_ / "container";
  Publisher publisher_{library_, files_, images_, container_, clock_};
};

TEST_F(PublisherTest, WritesWhatTheCaptureProgramsAndTheWidgetRead) {
  std::string personal = *library_.currentSpaceID();
  library_.addSpace({"B0000000-0000-0000-0000-000000000002", "Work", "💼", "briefcase", "orange"});
  library_.addCollection({"C0000000-0000-0000-0000-000000000001", "Moodboard",
                          "B0000000-0000-0000-0000-000000000002"});
  handlers_.handle("add_link", {{"url", "https://example.com/a"}, {"collection", "Moodboard"}});
  handlers_.handle("add_file", {{"name", "p.png"}, {"data", "SU1HIDQgNA=="}});  // "IMG 4 4"
  publisher_.publish();

  auto destinations =
      capture::CaptureDestinations::decode(readFile(container_ / "destinations.json").value_or(""));
  ASSERT_TRUE(destinations);
  ASSERT_EQ(destinations->spaces.size(), 2u);
  EXPECT_EQ(destinations->spaces[1].emoji, "💼");
  ASSERT_EQ(destinations->collections.size(), 1u);
  EXPECT_EQ(destinations->collections[0].spaceID->uuidString(),
            "B0000000-0000-0000-0000-000000000002");
  EXPECT_EQ(destinations->currentSpaceID->uuidString(), personal);

  auto snapshot =
      widget::WidgetSnapshot::decode(readFile(container_ / "Widget" / "widget.json").value_or(""));
  ASSERT_TRUE(snapshot);
  ASSERT_EQ(snapshot->items.size(), 2u);
  EXPECT_EQ(snapshot->items[1].collectionIDs.size(), 1u);
  EXPECT_EQ(snapshot->collections.size(), 1u);
  for (const auto& item : snapshot->items)
    EXPECT_TRUE(fs::exists(widget::thumbnailPath(container_.string(), item.id))) << item.title;
  std::vector<Item> items = library_.items({});
  EXPECT_EQ(readFile(container_ / "Widget" / (items[0].id + ".jpg")), "THUMB 400");
  EXPECT_EQ(
      readFile(container_ / "Widget" / (items[1].id + ".jpg")).value_or("").rfind("POSTER 2 ", 0),
      0u);
}

TEST_F(PublisherTest, ThumbnailsOfItemsNoLongerShownGo) {
  fs::create_directories(container_ / "Widget");
  std::ofstream(container_ / "Widget" / "00000000-0000-0000-0000-0000000000FF.jpg") << "old";
  std::ofstream(container_ / "Widget" / "keep.txt") << "not ours";
  publisher_.publish();
  EXPECT_FALSE(fs::exists(container_ / "Widget" / "00000000-0000-0000-0000-0000000000FF.jpg"));
  EXPECT_TRUE(fs::exists(container_ / "Widget" / "keep.txt"));
}

TEST_F(PublisherTest, LinksPlantedInTheContainerAreReplacedNotWrittenThrough) {
  handlers_.handle("add_link", {{"url", "https://example.com/a"}});
  std::string id = library_.items({})[0].id;
  fs::path outside = folder_ / "outside.txt";
  std::ofstream(outside) << "the user's";
  fs::create_directories(container_ / "Widget");
  fs::create_symlink(outside, container_ / "destinations.json");
  fs::create_symlink(outside, container_ / "Widget" / "widget.json");
  fs::create_symlink(outside, container_ / "Widget" / (id + ".jpg"));
  publisher_.publish();
  EXPECT_EQ(readFile(outside), "the user's");
  for (fs::path name : {fs::path("destinations.json"), "Widget" / fs::path("widget.json"),
                        "Widget" / fs::path(id + ".jpg")})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(container_ / name))) << name;
  EXPECT_EQ(readFile(container_ / "Widget" / (id + ".jpg")).value_or("").rfind("POSTER", 0), 0u);

  // A Widget folder that is a link leads nowhere: publishing fails and writes nothing there.
  fs::remove_all(container_ / "Widget");
  fs::create_directories(folder_ / "elsewhere");
  fs::create_symlink(folder_ / "elsewhere", container_ / "Widget");
  EXPECT_THROW(publisher_.publish(), std::system_error);
  EXPECT_TRUE(fs::is_empty(folder_ / "elsewhere"));
}

TEST(WidgetWeightTest, RecentItemsAndFavouritesWeighMore) {
  Item item;
  item.createdAt = 1000;
  double now = 1000;
  EXPECT_EQ(widgetWeight(item, now), 5);
  EXPECT_NEAR(widgetWeight(item, now + 90 * 86400), 1, 0.01);
  item.favorite = true;
  EXPECT_EQ(widgetWeight(item, now), 15);
  EXPECT_EQ(widgetWeight(item, now - 50), 15);  // a clock that went back
}

}  // namespace
}  // namespace nolt::host
