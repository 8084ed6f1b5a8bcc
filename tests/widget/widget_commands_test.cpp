// Runs the built nolt-widget's commands against a generated snapshot in a temporary HOME.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <boost/json.hpp>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/deadline.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "widget/scope_query.h"
#include "widget/timeline.h"

namespace nolt::widget {
namespace {

constexpr double kNewYear = 1767225600;
constexpr const char* kWork = "50000000-0000-4000-8000-000000000001";
constexpr const char* kHome = "50000000-0000-4000-8000-000000000002";
constexpr const char* kRefs = "C0000000-0000-4000-8000-000000000001";

std::string itemID(int n) {
  char text[37];
  std::snprintf(text, sizeof text, "%08x-1234-4321-8765-%012d", 0x9e3779b9u * n, n);
  return text;  // lower case on purpose: the output is upper case
}

// Twelve items; odd ones in Work, the first four in Refs (a collection of Home).
std::string snapshotText() {
  std::string items;
  for (int n = 1; n <= 12; ++n) {
    if (n > 1) items += ",";
    items += R"({"id":")" + itemID(n) + R"(","title":"Item )" + std::to_string(n) +
             R"(","weight":)" + std::to_string(n) + R"(,"collectionIDs":)" +
             (n <= 4 ? std::string(R"([")") + kRefs + R"("])" : "[]") +
             (n % 2 ? std::string(R"(,"spaceID":")") + kWork + "\"" : "") + "}";
  }
  return R"({"items":[)" + items + R"(],"spaces":[{"id":")" + kWork +
         R"(","name":"Work"},{"id":")" + kHome + R"(","name":"Home"}],"collections":[{"id":")" +
         kRefs + R"(","name":"Refs","spaceID":")" + kHome + R"("}]})";
}

using test_support::Result;

class WidgetCommandsTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.empty()); }

  void publish(const std::string& text) {
    std::filesystem::create_directories(container_ + "/Widget");
    std::ofstream(container_ + "/Widget/widget.json") << text;
  }

  Result run(std::vector<std::string> args, bool withDataHome = true, double timeout = 120) {
    args.insert(args.begin(), NOLT_BIN_DIR "/nolt-widget");
    test_support::Environment environment = {
        {"HOME", home_}, {"PATH", "/usr/bin:/bin"}, {"XDG_STATE_HOME", home_ + "/state"}};
    if (withDataHome) environment["XDG_DATA_HOME"] = home_ + "/data";
    test_support::passSanitizerSettings(environment);
    return test_support::runProgram(args, environment, {}, timeout);
  }

  // A thumbnail for every item, all one colour, so whichever is chosen shows it.
  void writeThumbnails() {
    for (int n = 1; n <= 12; ++n) {
      QImage thumbnail(40, 30, QImage::Format_RGB32);
      thumbnail.fill(QColor(0, 128, 255));
      std::string id = UUID::parse(itemID(n))->uuidString();
      ASSERT_TRUE(
          thumbnail.save(QString::fromStdString(container_ + "/Widget/" + id + ".jpg"), "PNG"));
    }
  }

  // The timeline the provider builds over the same file, as dates and identifiers.
  using Entries = std::vector<std::pair<double, std::vector<std::string>>>;
  Entries expectedTimeline(const ChooseScopeIntent& scope, Family family, double at) {
    Provider provider([this] { return loadSnapshot(container_); });
    Entries entries;
    for (const auto& entry : provider.timeline(scope, family, at).entries) {
      entries.push_back({entry.date, {}});
      for (const auto& item : entry.items) entries.back().second.push_back(item.id.uuidString());
    }
    return entries;
  }

  static Entries printedTimeline(const std::string& text) {
    Entries entries;
    boost::json::value parsed = boost::json::parse(text);
    for (const auto& entry : parsed.as_array()) {
      entries.push_back({entry.at("date").to_number<double>(), {}});
      for (const auto& id : entry.at("items").as_array())
        entries.back().second.push_back(std::string(id.as_string()));
    }
    return entries;
  }

  test_support::TempDir folder_;
  std::string home_ = folder_.path(), container_ = home_ + "/data/group.app.nolt";
};

TEST_F(WidgetCommandsTest, TimelinePrintsSixEntriesOfTheProvider) {
  publish(snapshotText());
  const struct {
    std::vector<std::string> args;
    ChooseScopeIntent scope;
    Family family;
  } cases[] = {
      {{}, {}, Family::systemSmall},
      {{"--family", "medium"}, {}, Family::systemMedium},
      {{"--family=large", "--scope", kWork}, {UUID::parse(kWork)}, Family::systemLarge},
      {{"--family", "large", "--scope", kRefs}, {UUID::parse(kRefs)}, Family::systemLarge},
      {{"--family", "large", "--scope", "dead0000-0000-4000-8000-000000000000"},
       {UUID::parse("DEAD0000-0000-4000-8000-000000000000")},
       Family::systemLarge},
  };
  for (const auto& c : cases) {
    auto args = c.args;
    args.insert(args.begin(), {"timeline", "--at", "1767225600"});
    Result result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(printedTimeline(result.out), expectedTimeline(c.scope, c.family, kNewYear));
    EXPECT_EQ(result.out.back(), '\n');
  }
  Result large = run({"timeline", "--family", "large", "--at", "1767225600.5"});
  auto entries = boost::json::parse(large.out).as_array();
  ASSERT_EQ(entries.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[i].at("date").to_number<double>(), kNewYear + 0.5 + 14400 * i);
    EXPECT_EQ(entries[i].at("items").as_array().size(), 4u);
  }
  EXPECT_EQ(large.out.substr(0, 29), R"([{"date": 1767225600.5, "item)");
}

TEST_F(WidgetCommandsTest, TimelineWithoutASnapshotHasNoItems) {
  Result result = run({"timeline", "--at", "0"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, R"([{"date": 0, "items": []}, {"date": 14400, "items": []}, )"
                        R"({"date": 28800, "items": []}, {"date": 43200, "items": []}, )"
                        R"({"date": 57600, "items": []}, {"date": 72000, "items": []}])"
                        "\n");
  publish(snapshotText().substr(0, 100));  // cut short: the whole snapshot is refused
  EXPECT_EQ(run({"timeline", "--at", "0"}).out, result.out);
}

// Dates are written as every JSON text here writes numbers: whole seconds in plain digits.
TEST_F(WidgetCommandsTest, WholeDatesArePrintedWithoutAnExponent) {
  Result result = run({"timeline", "--at", "1700000000"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, 64),
            R"([{"date": 1700000000, "items": []}, {"date": 1700014400, "items")");
}

TEST_F(WidgetCommandsTest, TimelineFallsBackToTheContainerUnderHome) {
  std::filesystem::create_directories(home_ + "/.local/share/group.app.nolt/Widget");
  std::ofstream(home_ + "/.local/share/group.app.nolt/Widget/widget.json") << snapshotText();
  Result result = run({"timeline", "--at", "1767225600"}, /*withDataHome=*/false);
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(boost::json::parse(result.out).as_array()[0].at("items").as_array().size(), 1u);
}

TEST_F(WidgetCommandsTest, ScopesListsSpacesThenCollections) {
  EXPECT_EQ(run({"scopes"}).out, "");
  publish(snapshotText());
  Result result = run({"scopes"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            std::string(kWork) + "  Work\n" + kHome + "  Home\n" + kRefs + "  Refs \u2014 Home\n");
}

TEST_F(WidgetCommandsTest, RenderWritesTheFamilysSizeTimesTheScale) {
  publish(snapshotText());
  writeThumbnails();
  const struct {
    std::vector<std::string> args;
    int width, height;
  } cases[] = {
      {{}, 170, 170},
      {{"--family", "medium"}, 364, 170},
      {{"--family", "large", "--scale", "2"}, 728, 764},
      {{"--family", "small", "--scale", "3", "--scope", kHome}, 510, 510},  // Home has no items
  };
  for (const auto& c : cases) {
    std::string png = home_ + "/out.png";
    auto args = c.args;
    args.insert(args.begin(), {"render", "--at", "1767225600"});
    args.push_back(png);
    Result result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.size(), QSize(c.width, c.height));
    QColor centre = image.pixelColor(c.width / 4, c.height / 4);  // inside the first tile
    if (c.args.size() == 6) {
      EXPECT_EQ(centre, QColor(Qt::black));  // the empty state's background
    } else {
      EXPECT_EQ(centre, QColor(0, 128, 255));
    }
  }
}

// Stopped as a session ends, the widget takes its private folder of thumbnail copies with it.
TEST_F(WidgetCommandsTest, SIGTERMEndsTheWidgetAndItsThumbnailCopies) {
  publish(snapshotText());
  writeThumbnails();
  std::filesystem::path temporary = home_ + "/tmp";
  std::filesystem::create_directories(temporary);
  std::filesystem::create_directory(home_ + "/run");
  std::filesystem::permissions(home_ + "/run", std::filesystem::perms::owner_all);
  test_support::Subprocess::Options options;
  options.argv = {NOLT_BIN_DIR "/nolt-widget"};
  options.environment = {{"HOME", home_},
                         {"PATH", "/usr/bin:/bin"},
                         {"XDG_STATE_HOME", home_ + "/state"},
                         {"XDG_DATA_HOME", home_ + "/data"},
                         {"TMPDIR", temporary.string()},
                         {"XDG_RUNTIME_DIR", home_ + "/run"},
                         {"QT_QPA_PLATFORM", "offscreen"}};
  test_support::passSanitizerSettings(options.environment);
  test_support::Subprocess widget(std::move(options));
  ASSERT_TRUE(widget.started());
  // The widget shows its first entry from copies in a folder of its own.
  auto copies = [&] {
    std::error_code error;
    for (const auto& folder : std::filesystem::directory_iterator(temporary, error))
      if (!std::filesystem::is_empty(folder.path(), error)) return true;
    return false;
  };
  ASSERT_TRUE(test_support::waitUntil(60, copies)) << "no thumbnail was copied";
  widget.signal(SIGTERM);
  EXPECT_EQ(test_support::exitCode(widget.wait(30)), 0);
  EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

// FIFOs where the host's files belong: every command ends at once, as if they were missing.
TEST_F(WidgetCommandsTest, FIFOsInPlaceOfTheHostsFilesHoldNothingUp) {
  std::filesystem::create_directories(container_ + "/Widget");
  ASSERT_EQ(::mkfifo((container_ + "/Widget/widget.json").c_str(), 0600), 0);
  Result timeline = run({"timeline", "--at", "0"}, true, 10);
  ASSERT_EQ(timeline.status, 0) << timeline.err;
  EXPECT_EQ(timeline.out.substr(0, 27), R"([{"date": 0, "items": []}, )");
  Result scopes = run({"scopes"}, true, 10);
  EXPECT_EQ(scopes.status, 0);
  EXPECT_EQ(scopes.out, "");

  std::filesystem::remove(container_ + "/Widget/widget.json");
  publish(snapshotText());
  for (int n = 1; n <= 12; ++n) {
    std::string id = UUID::parse(itemID(n))->uuidString();
    ASSERT_EQ(::mkfifo((container_ + "/Widget/" + id + ".jpg").c_str(), 0600), 0);
  }
  std::string png = home_ + "/out.png";
  Result render = run({"render", "--at", "1767225600", png}, true, 10);
  ASSERT_EQ(render.status, 0) << render.err;
  QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(170, 170));
  EXPECT_EQ(image.pixelColor(40, 40), QColor(0x1a, 0x1a, 0x1a));  // the placeholder
}

TEST_F(WidgetCommandsTest, RefusesBadArgumentsWithStatusOne) {
  const std::vector<std::string> cases[] = {
      {"timeline", "--family", "huge"},
      {"timeline", "--scope", "not-a-uuid"},
      {"timeline", "--at", "soon"},
      {"timeline", "--at"},
      {"timeline", "--colour", "red"},
      {"scopes", "extra"},
      {"render", "--scale", "0", "out.png"},
      {"render"},
      {"--name", "../escape"},
  };
  for (const auto& args : cases) {
    Result result = run(args);
    EXPECT_EQ(result.status, 1) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(result.err.rfind("nolt-widget: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace nolt::widget
