#include "host/capture_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "capture/inbox.h"
#include "host/testing/host_fixture.h"
#include "platform/file_types.h"
#include "platform/testing/sequential_uuid_source.h"
#include "tests/support/deadline.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using wire::JSONValue;

class CaptureImportTest : public testing::HostFixture {
 protected:
  fs::path write(IncomingRequest request, const capture::Payload* payload = nullptr) {
    request.createdAt = 100;
    return capture::writeCapture(inbox_, captureIDs_, request, payload);
  }
  std::vector<std::string> titlesFound(std::string query) {
    std::vector<std::string> titles;
    for (const Item& item : library_.search({{query}, {}, {}, {}}, 50).items)
      titles.push_back(item.title);
    return titles;
  }

  fs::path inbox_ = folder_ / "Incoming";
  fs::path rejected_ = folder_ / "Rejected";
  platform::testing::SequentialUUIDSource captureIDs_;
  CaptureImporter importer_{HostServices{library_, files_, images_, opener_, uuids_, clock_},
                            inbox_, rejected_, folder_ / "Trash"};
};

TEST_F(CaptureImportTest, TakesEveryWholeCaptureAndRemovesItsFolder) {
  library_.addCollection(
      {"C0000000-0000-0000-0000-000000000001", "Moodboard", library_.currentSpaceID()});
  IncomingRequest link;
  link.kind = IncomingRequest::Kind::link;
  link.url = "https://example.com/red-chair";
  link.tags = {"chair"};
  link.note = "for the lobby";
  link.collectionID = platform::UUID::parse("C0000000-0000-0000-0000-000000000001");
  IncomingRequest text;
  text.kind = IncomingRequest::Kind::text;
  text.text = "Quiet typography\nwith room";
  text.spaceID = platform::UUID::parse("0000AAAA-0000-0000-0000-000000000000");  // gone since
  IncomingRequest file;
  file.kind = IncomingRequest::Kind::file;
  file.fileName = "poster.png";
  file.title = "Festival poster";
  capture::Payload payload =
      capture::Payload::bytes("poster.png", testing::FakeImageCodec::image(30, 20));
  write(link);
  write(text);
  write(file, &payload);
  fs::create_directories(inbox_ / "still-being-written");

  ImportReport report = importer_.importAll();
  EXPECT_EQ(report.imported, 3);
  EXPECT_EQ(report.setAside, 0);
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(inbox_)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<fs::path>{"still-being-written"});

  EXPECT_EQ(titlesFound("lobby"), std::vector<std::string>{"example.com/red-chair"});
  EXPECT_EQ(titlesFound("moodboard"), std::vector<std::string>{"example.com/red-chair"});
  EXPECT_EQ(titlesFound("typography"), std::vector<std::string>{"Quiet typography"});
  std::vector<Item> posters = library_.search({{"festival"}, {}, {}, {}}, 5).items;
  ASSERT_EQ(posters.size(), 1u);
  EXPECT_EQ(posters[0].kind, ItemKind::image);
  EXPECT_EQ(posters[0].width, 30);
  EXPECT_EQ(posters[0].createdAt, 978307200 + 100);
  EXPECT_EQ(files_.read(posters[0].id, "poster.png"), testing::FakeImageCodec::image(30, 20));
  EXPECT_EQ(library_.search({{"typography"}, {}, {}, {}}, 5).items[0].spaceID,
            library_.currentSpaceID());
}

TEST_F(CaptureImportTest, ADateNoClockCouldHaveGivenBecomesTheTimeOfImport) {
  // The host's clock reads 1'796'000'001 s since 1970 and on at the first import.
  constexpr double kNow = 1'796'000'000 - 978307200;  // in seconds since the reference date
  struct Case {
    const char* text;
    double createdAt;  // as request.json holds it
    bool kept;
  } cases[] = {
      {"reference", 0, true},
      {"epoch", -978307200, true},
      {"prehistory", -978307200.5, false},
      {"ancient", -1e300, false},
      {"tomorrow", kNow + 86400, true},
      {"nextweek", kNow + 7 * 86400, false},
      {"forever", 1e300, false},
  };
  for (const Case& c : cases) {
    IncomingRequest request;
    request.kind = IncomingRequest::Kind::text;
    request.text = c.text;
    request.createdAt = c.createdAt;
    capture::writeCapture(inbox_, captureIDs_, request);
  }
  ASSERT_EQ(importer_.importAll().imported, 7);
  for (const Case& c : cases) {
    std::vector<Item> items = library_.search({{c.text}, {}, {}, {}}, 5).items;
    ASSERT_EQ(items.size(), 1u) << c.text;
    if (c.kept)
      EXPECT_EQ(items[0].createdAt, c.createdAt + 978307200) << c.text;
    else
      EXPECT_TRUE(items[0].createdAt > 1'796'000'000 && items[0].createdAt < 1'796'000'100)
          << c.text << " " << items[0].createdAt;
  }
}

TEST_F(CaptureImportTest, UnreadableCapturesAreSetAsideWithTheirReason) {
  IncomingRequest missing;
  missing.kind = IncomingRequest::Kind::file;
  missing.fileName = "gone.pdf";
  struct Case {
    fs::path folder;
    std::string reason;
  } cases[] = {
      {write(missing), "The capture's file gone.pdf isn't in its folder.\n"},
      {inbox_ / "A0000000-0000-0000-0000-00000000000B",
       "request.json isn't a capture request this host can read.\n"},
  };
  fs::create_directories(cases[1].folder);
  std::ofstream(cases[1].folder / "request.json")
      << R"({"kind":"image","tags":[],"note":"","createdAt":0})";

  ImportReport report = importer_.importAll();
  EXPECT_EQ(report.setAside, 2);
  for (const Case& c : cases) {
    EXPECT_FALSE(fs::exists(c.folder));
    std::ifstream reason(rejected_ / c.folder.filename() / kReasonFileName);
    std::string text((std::istreambuf_iterator<char>(reason)), {});
    EXPECT_EQ(text, c.reason);
    EXPECT_TRUE(fs::exists(rejected_ / c.folder.filename() / "request.json"));
  }
}

TEST_F(CaptureImportTest, AFolderLeftBehindAfterItsItemCommittedIsNotTakenTwice) {
  IncomingRequest link;
  link.kind = IncomingRequest::Kind::link;
  link.url = "https://example.com/once";
  fs::path folder = write(link);
  fs::path copy = folder_ / "copy";
  fs::copy(folder, copy);
  importer_.importAll();
  // As if the host had been killed after the commit and before removing the folder.
  fs::rename(copy, folder);
  EXPECT_EQ(importer_.importAll().imported, 1);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(library_.search({}, 10).total, 1);
}

TEST_F(CaptureImportTest, FilesOfItemsThatNeverCommittedAreRemoved) {
  handlers_.handle("add_file", {{"name", "kept.pdf"}, {"data", "AAAA"}});
  std::string kept = library_.search({}, 5).items[0].id;
  files_.save("00000000-0000-0000-0000-0000000000FF", "stray.pdf", "x");
  files_.save("00000000-0000-0000-0000-0000000000EE", "unrecorded.pdf", "x");
  // Only recorded ids go, and never one whose item is there.
  EXPECT_EQ(
      files_.removeStrays({"00000000-0000-0000-0000-0000000000FF", kept},
                          [&](const std::string& id) { return library_.item(id).has_value(); }),
      1);
  EXPECT_FALSE(fs::exists(folder_ / "Files" / "00000000-0000-0000-0000-0000000000FF"));
  EXPECT_TRUE(fs::exists(folder_ / "Files" / "00000000-0000-0000-0000-0000000000EE"));
  EXPECT_EQ(library_.search({}, 5).items.size(), 1u);
  EXPECT_TRUE(files_.read(library_.search({}, 5).items[0].id, "kept.pdf"));
}

// What other programs can leave in the inbox: each case is set aside with its reason, and
// nothing it points at is read, adopted or written.
TEST_F(CaptureImportTest, HostileCapturesAreSetAsideWithoutFollowingThem) {
  fs::path outside = folder_ / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "passwd") << "root:x:0:0";
  std::ofstream(outside / "request.json")
      << R"({"kind":"file","fileName":"passwd","tags":[],"note":"","createdAt":0})";
  IncomingRequest file;
  file.kind = IncomingRequest::Kind::file;
  IncomingRequest link;
  link.kind = IncomingRequest::Kind::link;
  // A file capture with `plantAt` run on where its payload goes.
  auto withPayload = [&](std::string name, std::function<void(const fs::path&)> plantAt) {
    return [&, name, plantAt] {
      file.fileName = name;
      fs::path folder = write(file);
      plantAt(folder / name);
      return folder;
    };
  };

  struct Case {
    std::string name;
    std::function<fs::path()> plant;  // makes the capture, returns its folder
    std::string reason;
  } cases[] = {
      {"payload link",
       withPayload(
           "passwd.pdf",
           [&](const fs::path& payload) { fs::create_symlink(outside / "passwd", payload); }),
       "The capture's file passwd.pdf is a link, not a file.\n"},
      {"folder link",
       [&] {
         fs::path folder = inbox_ / "A0000000-0000-0000-0000-0000000000F1";
         fs::create_symlink(outside, folder);
         return folder;
       },
       "The capture is a link, not a folder.\n"},
      {"payload pipe",
       withPayload("pipe.pdf", [](const fs::path& payload) { mkfifo(payload.c_str(), 0600); }),
       "The capture's file pipe.pdf isn't a plain file.\n"},
      {"request link",
       [&] {
         fs::path folder = inbox_ / "A0000000-0000-0000-0000-0000000000F2";
         fs::create_directories(folder);
         fs::create_symlink(outside / "request.json", folder / "request.json");
         return folder;
       },
       "request.json is a link, not a file.\n"},
      {"over the size limit",
       withPayload("huge.pdf",
                   [](const fs::path& payload) {
                     std::ofstream(payload).close();
                     fs::resize_file(payload, platform::kMaxFileBytes + 1);  // sparse
                   }),
       "The capture's file huge.pdf is over 200 MB.\n"},
      {"script link",
       [&] {
         link.url = "javascript:alert(1)";
         return write(link);
       },
       "The capture's link isn't an http or https address.\n"},
      {"file link",
       [&] {
         link.url = "file:///etc/passwd";
         return write(link);
       },
       "The capture's link isn't an http or https address.\n"},
      {"reason link",
       [&] {
         fs::path folder = inbox_ / "A0000000-0000-0000-0000-0000000000F3";
         fs::create_directories(folder);
         std::ofstream(folder / "request.json") << "not json";
         fs::create_symlink(outside / "passwd", folder / kReasonFileName);
         return folder;
       },
       "request.json isn't a capture request this host can read.\n"},
  };
  for (Case& c : cases) {
    fs::create_directories(inbox_);
    fs::path folder = c.plant();
    ImportReport report = importer_.importAll();
    EXPECT_EQ(report.setAside, 1) << c.name;
    EXPECT_EQ(report.imported, 0) << c.name;
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder))) << c.name;
    fs::path aside = rejected_ / folder.filename();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(aside / kReasonFileName))) << c.name;
    std::ifstream reason(aside / kReasonFileName);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(reason)), {}), c.reason) << c.name;
    EXPECT_EQ(fs::status(aside).permissions(), fs::perms::owner_all) << c.name;
  }
  EXPECT_EQ(library_.search({}, 10).total, 0);
  EXPECT_FALSE(fs::exists(folder_ / "Files") && !fs::is_empty(folder_ / "Files"));
  // Everything outside is as it was: nothing moved out, nothing written into.
  std::ifstream passwd(outside / "passwd");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(passwd)), {}), "root:x:0:0");
  EXPECT_TRUE(fs::exists(outside / "request.json"));
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 2);
}

TEST_F(CaptureImportTest, APayloadWithAnotherNameIsCopiedNotShared) {
  fs::path outside = folder_ / "scan.pdf";
  std::ofstream(outside) << "%PDF the user's own";
  IncomingRequest file;
  file.kind = IncomingRequest::Kind::file;
  file.fileName = "scan.pdf";
  fs::path folder = write(file);
  fs::create_hard_link(outside, folder / "scan.pdf");

  EXPECT_EQ(importer_.importAll().imported, 1);
  std::vector<Item> items = library_.search({}, 5).items;
  ASSERT_EQ(items.size(), 1u);
  fs::path stored = files_.pathOf(items[0].id, "scan.pdf");
  struct stat kept {
  }, original{};
  ASSERT_EQ(::lstat(stored.c_str(), &kept), 0);
  ASSERT_EQ(::lstat(outside.c_str(), &original), 0);
  EXPECT_TRUE(S_ISREG(kept.st_mode));
  EXPECT_EQ(kept.st_nlink, 1u);
  EXPECT_NE(kept.st_ino, original.st_ino);
  // The inbox's name goes with the capture, deleted from the trash on the importer's thread.
  EXPECT_TRUE(test_support::waitUntil(
      10, [&] { return ::lstat(outside.c_str(), &original) == 0 && original.st_nlink == 1u; }));
  EXPECT_EQ(files_.read(items[0].id, "scan.pdf"), "%PDF the user's own");
}

TEST_F(CaptureImportTest, ThingsInTheInboxThatAreNoFolderAreSetAsideOrLeft) {
  fs::create_directories(inbox_);
  mkfifo((inbox_ / "A0000000-0000-0000-0000-0000000000F4").c_str(), 0600);
  std::ofstream(inbox_ / "notes.txt") << "a stray file";
  ImportReport report = importer_.importAll();
  EXPECT_EQ(report.setAside, 1);
  EXPECT_TRUE(fs::is_fifo(rejected_ / "A0000000-0000-0000-0000-0000000000F4" /
                          "A0000000-0000-0000-0000-0000000000F4"));
  EXPECT_TRUE(fs::exists(inbox_ / "notes.txt"));
  // A capture set aside twice keeps both reasons.
  fs::create_directories(inbox_ / "A0000000-0000-0000-0000-0000000000F4");
  std::ofstream(inbox_ / "A0000000-0000-0000-0000-0000000000F4" / "request.json") << "{";
  EXPECT_EQ(importer_.importAll().setAside, 1);
  EXPECT_TRUE(fs::exists(rejected_ / "A0000000-0000-0000-0000-0000000000F4-2" / "request.json"));
}

}  // namespace
}  // namespace nolt::host
