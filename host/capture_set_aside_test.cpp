// Setting a capture aside, and what a host stopped at each step of it leaves: the next pass
// finds the capture either whole in the inbox or whole in Rejected/ with its reason.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "host/capture_import.h"
#include "host/testing/host_fixture.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kID = "A0000000-0000-0000-0000-0000000000C1";
constexpr const char* kReason = "request.json isn't a capture request this host can read.\n";

class CaptureSetAsideTest : public testing::HostFixture {
 protected:
  CaptureSetAsideTest() { fs::create_directories(inbox_); }

  // An unreadable capture: request.json that is no request, and a payload.
  fs::path unreadable(const fs::path& at) {
    fs::create_directories(at);
    std::ofstream(at / "request.json") << "not json";
    std::ofstream(at / "photo.png") << "the user's picture";
    return at;
  }
  std::string read(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path inbox_ = folder_ / "Incoming";
  fs::path rejected_ = folder_ / "Rejected";
  CaptureImporter importer_{HostServices{library_, files_, images_, opener_, uuids_, clock_},
                            inbox_, rejected_, folder_ / "Trash"};
};

// Each case plants the state a host killed at one step leaves; one pass recovers it.
TEST_F(CaptureSetAsideTest, EveryStopLeavesTheCaptureWholeInOnePlace) {
  fs::path aside = rejected_ / kID;
  struct Case {
    const char* name;
    std::function<void()> plant;
  };
  const Case cases[] = {
      {"nothing done yet", [&] { unreadable(inbox_ / kID); }},
      {"reason staged, capture not moved",
       [&] {
         unreadable(inbox_ / kID);
         fs::create_directories(rejected_);
         std::ofstream(rejected_ / (std::string(".") + kID + ".reason")) << kReason;
       }},
      {"capture moved, reason not in it yet",
       [&] {
         unreadable(aside);
         std::ofstream(rejected_ / (std::string(".") + kID + ".reason")) << kReason;
       }},
      {"reason staged half written",
       [&] {
         unreadable(inbox_ / kID);
         fs::create_directories(rejected_);
         std::ofstream(rejected_ / (std::string(".") + kID + ".reason.tmp-1-0000abcd")) << "requ";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(inbox_);
    fs::remove_all(rejected_);
    fs::create_directories(inbox_);
    c.plant();
    importer_.importAll();
    EXPECT_TRUE(namesIn(inbox_).empty());
    EXPECT_EQ(namesIn(rejected_), std::vector<std::string>{kID});
    EXPECT_EQ(namesIn(aside),
              (std::vector<std::string>{"photo.png", "reason.txt", "request.json"}));
    EXPECT_EQ(read(aside / "reason.txt"), kReason);
    EXPECT_EQ(read(aside / "photo.png"), "the user's picture");
    EXPECT_EQ(fs::status(aside).permissions(), fs::perms::owner_all);
  }
}

TEST_F(CaptureSetAsideTest, SomethingThatIsNoFolderGetsAFolderOnlyOnceItIsIn) {
  fs::path fifo = inbox_ / kID;
  fs::path staged = rejected_ / (std::string(".") + kID + ".aside");
  const std::function<void()> stops[] = {
      [&] { ::mkfifo(fifo.c_str(), 0600); },
      // The folder made and its reason in, the FIFO not moved yet.
      [&] {
        ::mkfifo(fifo.c_str(), 0600);
        fs::create_directories(staged);
        std::ofstream(staged / "reason.txt") << "The capture isn't a folder.\n";
      },
      // The FIFO moved in, the folder not renamed yet.
      [&] {
        fs::create_directories(staged);
        std::ofstream(staged / "reason.txt") << "The capture isn't a folder.\n";
        ::mkfifo((staged / kID).c_str(), 0600);
      },
  };
  for (const auto& stop : stops) {
    fs::remove_all(inbox_);
    fs::remove_all(rejected_);
    fs::create_directories(inbox_);
    fs::create_directories(rejected_);
    stop();
    importer_.importAll();
    EXPECT_TRUE(namesIn(inbox_).empty());
    EXPECT_EQ(namesIn(rejected_), std::vector<std::string>{kID});
    EXPECT_TRUE(fs::is_fifo(rejected_ / kID / kID));
    EXPECT_EQ(read(rejected_ / kID / "reason.txt"), "The capture isn't a folder.\n");
  }
}

TEST_F(CaptureSetAsideTest, ACapturesOwnReasonFileIsKeptBesideTheHostsReason) {
  fs::path capture = unreadable(inbox_ / kID);
  std::ofstream(capture / "reason.txt") << "the user's file";
  importer_.importAll();
  EXPECT_EQ(read(rejected_ / kID / "reason.txt"), kReason);
  EXPECT_EQ(read(rejected_ / kID / "reason.txt.capture"), "the user's file");
}

// A removal that could not finish (a read-only inbox) leaves the taken capture's folder emptied,
// or with its payload alone; once it can go, it goes, and nothing is imported twice.
TEST_F(CaptureSetAsideTest, TheLeftoverFolderOfATakenCaptureGoesOnceItCan) {
  Item taken;
  taken.id = "00000000-0000-0000-0000-0000000000D1";
  taken.title = "kept once";
  taken.kind = ItemKind::text;
  taken.spaceID = library_.currentSpaceID().value_or("");
  taken.captureID = kID;
  library_.addItem(taken);
  for (bool withPayload : {false, true}) {
    fs::create_directories(inbox_ / kID);
    if (withPayload) std::ofstream(inbox_ / kID / "photo.png") << "x";
    fs::create_directories(inbox_ / "A0000000-0000-0000-0000-0000000000C2");
    importer_.importAll();
    EXPECT_FALSE(fs::exists(inbox_ / kID));
    // A folder still being written, of a capture nobody took, is left alone.
    EXPECT_TRUE(fs::exists(inbox_ / "A0000000-0000-0000-0000-0000000000C2"));
    EXPECT_EQ(library_.search({}, 5).total, 1);
  }
}

}  // namespace
}  // namespace nolt::host
