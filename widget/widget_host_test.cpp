#include "widget/widget_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>

#include "platform/careful_files.h"
#include "platform/testing/fake_wall_clock.h"
#include "tests/support/hostile_files.h"
#include "tests/support/temp_dir.h"

namespace nolt::widget {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::sys_seconds kNewYear{std::chrono::sys_days{std::chrono::year{2026} / 1 / 1}};

// The widget's dates count seconds since 1970.
double dateOf(platform::Instant instant) { return platform::secondsSince1970(instant); }

// Eight items, half in space Work, and a collection Refs in Work holding item 1.
std::string snapshotText() {
  std::string items;
  for (int n = 1; n <= 8; ++n) {
    if (n > 1) items += ",";
    items += R"({"id":"6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F)" + std::to_string(n) +
             R"(","title":"Item )" + std::to_string(n) + R"(","weight":1,"collectionIDs":)" +
             (n == 1 ? R"(["C0000000-0000-4000-8000-000000000001"])" : "[]") +
             (n % 2 ? R"(,"spaceID":"50000000-0000-4000-8000-000000000001")" : "") + "}";
  }
  return R"({"items":[)" + items + R"(],"spaces":[{"id":"50000000-0000-4000-8000-000000000001",
    "name":"Work"}],"collections":[{"id":"C0000000-0000-4000-8000-000000000001","name":"Refs",
    "spaceID":"50000000-0000-4000-8000-000000000001"}]})";
}

class WidgetHostTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "widget_host_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }

  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    std::filesystem::create_directories(root_ + "/container/Widget");
    std::ofstream(snapshotPath(root_ + "/container")) << snapshotText();
  }

  std::unique_ptr<WidgetHost> makeHost(Family family) {
    return std::make_unique<WidgetHost>(
        family, QStringLiteral("desk"),
        WidgetHost::Services{root_ + "/container", ScopeStore(root_ + "/state/desk"), clock_,
                             [this](const QString& url) { opened_.push_back(url); }});
  }

  static QStringList ids(WidgetModel* model) {
    QStringList out;
    for (const auto& item : model->items()) out.push_back(item.toMap()["id"].toString());
    return out;
  }

  test_support::TempDir folder_;
  std::string root_ = folder_.path();
  platform::testing::FakeWallClock clock_{kNewYear + 60s};
  QStringList opened_;
};

TEST_F(WidgetHostTest, PlaysTheTimelineAndAsksForANewOneAfterTheLastEntry) {
  auto host = makeHost(Family::systemLarge);
  QSignalSpy changes(host->model(), &WidgetModel::entryChanged);
  host->update();
  EXPECT_EQ(changes.count(), 1);
  EXPECT_EQ(host->model()->family(), "large");
  EXPECT_EQ(ids(host->model()).size(), 4);
  EXPECT_EQ(host->nextUpdate(), dateOf(kNewYear + 60s + 4h));

  QStringList first = ids(host->model());
  clock_.advance(600s);  // woken early: nothing changes
  host->update();
  EXPECT_EQ(changes.count(), 1);

  clock_.set(kNewYear + 60s + 5 * 4h);  // the last entry's date: a new timeline from now
  host->update();
  EXPECT_EQ(changes.count(), 2);
  EXPECT_EQ(host->nextUpdate(), dateOf(clock_.now() + 4h));

  clock_.set(kNewYear + 60s - 24h);  // the clock was set back a day
  host->update();
  EXPECT_EQ(host->nextUpdate(), dateOf(clock_.now() + 4h));
}

TEST_F(WidgetHostTest, ChoosingAScopeKeepsItsIdAndFiltersAtOnce) {
  auto host = makeHost(Family::systemLarge);
  host->update();
  host->refreshScopes();
  EXPECT_EQ(host->scopeChoices(),
            (QStringList{"Whole library", "Work", QStringLiteral("Refs \u2014 Work")}));
  EXPECT_EQ(host->scopeIndex(), 0);

  QSignalSpy changes(host->model(), &WidgetModel::entryChanged);
  host->chooseScope(2);
  EXPECT_EQ(changes.count(), 1);
  EXPECT_EQ(ids(host->model()), QStringList{"6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F1"});
  EXPECT_EQ(host->scopeIndex(), 2);

  // A new host with the same name starts with the stored scope.
  auto again = makeHost(Family::systemLarge);
  again->update();
  EXPECT_EQ(ids(again->model()), QStringList{"6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F1"});

  again->chooseScope(0);
  EXPECT_EQ(ids(again->model()).size(), 4);
  EXPECT_FALSE(makeHost(Family::systemSmall)->scope());
}

TEST_F(WidgetHostTest, AScopeThatVanishedShowsTheWholeLibrary) {
  ScopeStore(root_ + "/state/desk").save(UUID::parse("DEAD0000-0000-4000-8000-000000000000"));
  auto host = makeHost(Family::systemMedium);
  host->update();
  host->refreshScopes();
  EXPECT_EQ(ids(host->model()).size(), 2);
  EXPECT_EQ(host->scopeIndex(), 0);
}

TEST_F(WidgetHostTest, ANewSnapshotShowsFromTheReloadOn) {
  auto host = makeHost(Family::systemLarge);
  host->update();
  EXPECT_EQ(ids(host->model()).size(), 4);
  std::ofstream(snapshotPath(root_ + "/container"))
      << R"({"items":[{"id":"7E000000-0000-4000-8000-000000000001","title":"New","weight":1,
             "collectionIDs":[]}],"spaces":[],"collections":[]})";
  host->reload();
  EXPECT_EQ(ids(host->model()), QStringList{"7E000000-0000-4000-8000-000000000001"});
  EXPECT_EQ(host->nextUpdate(), dateOf(clock_.now() + 4h));
}

TEST_F(WidgetHostTest, OpensOnlyDeepLinks) {
  auto host = makeHost(Family::systemSmall);
  host->update();
  QString link = host->model()->items()[0].toMap()["link"].toString();
  EXPECT_EQ(link, "nolt://item/" + ids(host->model())[0]);
  host->model()->open(link);
  host->model()->open(QStringLiteral("file:///etc/passwd"));
  EXPECT_EQ(opened_, QStringList{link});
}

// The image loader is handed a copy of ours, never a path where a FIFO or a huge file could
// stand; whatever stands there reads as no thumbnail, at once.
TEST_F(WidgetHostTest, ThumbnailsAreReadCarefullyAndHandedOverAsCopies) {
  std::string path = root_ + "/container/Widget/A.jpg";
  std::ofstream(root_ + "/elsewhere.jpg") << "JPEG";
  std::ofstream(path) << "JPEG";
  EXPECT_EQ(readThumbnail(path), "JPEG");
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, platform::kMaxThumbnailBytes,
                                           root_ + "/elsewhere.jpg"));
    std::optional<std::string> bytes = "x";
    EXPECT_TRUE(test_support::endsWithin(
        1, [&] { bytes = readThumbnail(path); }, path));
    EXPECT_FALSE(bytes);
  }

  auto host = makeHost(Family::systemMedium);
  const std::string thumbnails = root_ + "/container/Widget/";
  auto shown = [&] {
    QStringList files;
    for (const QVariant& item : host->model()->items())
      files << item.toMap().value("thumbnail").toUrl().toLocalFile();
    return files;
  };
  for (int n = 1; n <= 8; ++n)
    std::ofstream(thumbnails + "6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F" + std::to_string(n) + ".jpg")
        << "JPEG";
  host->reload();
  QStringList first = shown();
  ASSERT_EQ(first.size(), 2);
  for (const QString& file : first) {
    EXPECT_FALSE(file.startsWith(QString::fromStdString(root_))) << file.toStdString();
    EXPECT_EQ(test_support::readFile(file.toStdString()), "JPEG");
  }
  host->reload();
  for (const QString& file : first) EXPECT_FALSE(QFile::exists(file)) << "an old copy is kept";
  EXPECT_NE(shown(), first);
}

}  // namespace
}  // namespace nolt::widget
