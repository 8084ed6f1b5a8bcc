#include "host/capture_import.h"

#include <gtest/gtest.h>

#include <fstream>

#include "capture/inbox.h"
#include "capture/testing/capture_fakes.h"
#include "host/testing/host_fixture.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using link::JSONValue;

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
  capture::testing::SequentialUUIDSource captureIDs_;
  CaptureImporter importer_{
      HostServices{library_, files_, images_, opener_, uuids_, [this] { return tick(); }}, inbox_,
      rejected_, folder_ / "Trash"};
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
  files_.save("00000000-0000-0000-0000-0000000000FF", "stray.pdf", "x");
  EXPECT_EQ(
      files_.removeStrays([&](const std::string& id) { return library_.item(id).has_value(); }), 1);
  EXPECT_FALSE(fs::exists(folder_ / "Files" / "00000000-0000-0000-0000-0000000000FF"));
  EXPECT_EQ(library_.search({}, 5).items.size(), 1u);
  EXPECT_TRUE(files_.read(library_.search({}, 5).items[0].id, "kept.pdf"));
}

}  // namespace
}  // namespace nolt::host
