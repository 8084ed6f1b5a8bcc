// Captures taken in batches: a host killed at any step of a batch loses no capture and takes
// none twice; a stop request ends the import between captures with what was taken committed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "capture/inbox.h"
#include "host/capture_import.h"
#include "host/testing/host_fixture.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;

// A host's parts over one folder: the library file, its file store, inbox and trash.
struct HostParts {
  explicit HostParts(const fs::path& folder, unsigned firstID)
      : library((folder / "library.sqlite").string()), files(folder / "Files") {
    uuids.count = firstID;
  }
  Library library;
  FileStore files;
  testing::FakeImageCodec images;
  testing::RecordingOpener opener;
  platform::testing::SequentialUUIDSource uuids;
  platform::testing::FakeWallClock clock{
      std::chrono::sys_seconds{std::chrono::seconds{1'796'000'000}}};
  HostServices services() { return {library, files, images, opener, uuids, clock}; }
};

CaptureImporter importerOf(HostParts& parts, const fs::path& folder) {
  return CaptureImporter(parts.services(), folder / "Incoming", folder / "Rejected",
                         folder / "Trash");
}

// Writes `count` captures, every third a file; returns their folder names.
std::vector<std::string> writeCaptures(const fs::path& inbox, int count) {
  platform::testing::SequentialUUIDSource names;
  names.count = 5000;
  std::vector<std::string> written;
  for (int i = 0; i < count; ++i) {
    IncomingRequest request;
    request.createdAt = 100 + i;
    std::string number = std::to_string(i);
    request.title = std::string("capture ").append(number);
    std::optional<capture::Payload> payload;
    if (i % 3 == 0) {
      request.kind = IncomingRequest::Kind::file;
      request.fileName = std::string("p").append(number).append(".png");
      payload = capture::Payload::bytes(*request.fileName, testing::FakeImageCodec::image(4, 4));
    } else {
      request.kind = IncomingRequest::Kind::link;
      request.url = std::string("https://example.com/").append(number);
    }
    written.push_back(capture::writeCapture(inbox, names, request, payload ? &*payload : nullptr)
                          .filename()
                          .string());
  }
  return written;
}

// How many items each capture became.
std::map<std::string, int> itemsPerCapture(Library& library) {
  std::map<std::string, int> counts;
  for (const Item& item : library.items({}))
    if (item.captureID) ++counts[*item.captureID];
  return counts;
}

TEST(CaptureBatchTest, AHostKilledAtAnyStepOfABatchLosesNoCaptureAndTakesNoneTwice) {
  for (const char* step : {"adopted", "committed", "removed"}) {
    SCOPED_TRACE(step);
    test_support::TempDir temporary;
    ASSERT_FALSE(temporary.path().empty());
    fs::path folder = temporary.fsPath();
    std::vector<std::string> captures = writeCaptures(folder / "Incoming", 9);
    { HostParts made(folder, 0); }  // the library exists before the host that is killed

    int reached[2];
    ASSERT_EQ(::pipe(reached), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The host to kill: it tells the test when it reached the step, then waits to die.
      HostParts parts(folder, 0);
      CaptureImporter importer = importerOf(parts, folder);
      importer.onBatchStep = [&](std::string_view now) {
        if (now != step) return;
        (void)!::write(reached[1], "x", 1);
        for (;;) ::pause();
      };
      importer.importAll();
      ::_exit(0);
    }
    char signal = 0;
    EXPECT_EQ(::read(reached[0], &signal, 1), 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(reached[0]);
    ::close(reached[1]);

    // As the killed host left it: every capture committed or still in the inbox, never lost.
    HostParts restarted(folder, 1000);
    std::map<std::string, int> taken = itemsPerCapture(restarted.library);
    for (const std::string& name : captures)
      EXPECT_TRUE(taken[name] == 1 || fs::exists(folder / "Incoming" / name / "request.json"))
          << name;

    // The next host takes the rest, and nothing twice.
    CaptureImporter importer = importerOf(restarted, folder);
    importer.importAll();
    taken = itemsPerCapture(restarted.library);
    for (const std::string& name : captures) EXPECT_EQ(taken[name], 1) << name;
    EXPECT_TRUE(fs::is_empty(folder / "Incoming"));
    for (const Item& item : restarted.library.items({})) {
      if (item.fileName) {
        EXPECT_TRUE(restarted.files.read(item.id, *item.fileName)) << item.title;
      }
    }
  }
}

TEST(CaptureBatchTest, AStopRequestEndsTheImportWithWhatWasTakenCommitted) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  fs::path folder = temporary.fsPath();
  std::vector<std::string> captures = writeCaptures(folder / "Incoming", 10);
  HostParts parts(folder, 0);
  CaptureImporter importer = importerOf(parts, folder);
  int asked = 0;
  ImportReport report = importer.importAll([&] { return ++asked > 4; });
  EXPECT_EQ(report.imported, 4);
  EXPECT_EQ(itemsPerCapture(parts.library).size(), 4u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Incoming"), fs::directory_iterator()),
            6);
  EXPECT_EQ(importer.importAll().imported, 6);
  EXPECT_EQ(itemsPerCapture(parts.library).size(), 10u);
}

}  // namespace
}  // namespace nolt::host
