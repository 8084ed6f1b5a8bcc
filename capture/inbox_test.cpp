#include "capture/inbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/careful_files.h"
#include "platform/file_types.h"
#include "platform/testing/sequential_uuid_source.h"
#include "tests/support/hostile_files.h"
#include "tests/support/test_host_process.h"

namespace nolt::capture {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const fs::path& folder) {
  std::vector<std::string> result;
  for (const auto& entry : fs::directory_iterator(folder))
    result.push_back(entry.path().filename());
  std::sort(result.begin(), result.end());
  return result;
}

IncomingRequest fileRequest() {
  IncomingRequest request;
  request.kind = IncomingRequest::Kind::file;
  request.fileName = "image.png";
  request.createdAt = 10;
  return request;
}

class InboxTest : public ::testing::Test {
 protected:
  test_support::TempDir dir_;
  fs::path inbox_ = fs::path(dir_.path()) / "group.app.nolt" / "Incoming";
  platform::testing::SequentialUUIDSource uuids_;
};

TEST_F(InboxTest, AnInboxThatIsALinkIsNeverWrittenThrough) {
  fs::create_directories(inbox_.parent_path());
  fs::path elsewhere = fs::path(dir_.path()) / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_symlink(elsewhere, inbox_);
  Payload payload = Payload::bytes("image.png", "\x89PNG");
  EXPECT_THROW(writeCapture(inbox_, uuids_, fileRequest(), &payload), std::system_error);
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(InboxTest, WritesPayloadAndRequestIntoAFreshFolder) {
  Payload payload = Payload::bytes("image.png", std::string("\x89PNG\0\x01", 6));
  fs::path first = writeCapture(inbox_, uuids_, fileRequest(), &payload);
  fs::path second = writeCapture(inbox_, uuids_, fileRequest(), &payload);

  EXPECT_EQ(first, inbox_ / "00000000-0000-4000-8000-000000000001");
  EXPECT_EQ(second, inbox_ / "00000000-0000-4000-8000-000000000002");
  EXPECT_THAT(names(first), ::testing::ElementsAre("image.png", "request.json"));
  EXPECT_EQ(test_support::readFile(first / "image.png"), payload.data);
  EXPECT_EQ(IncomingRequest::decode(*test_support::readFile(first / "request.json")),
            fileRequest());
}

TEST_F(InboxTest, CopiesAPayloadFile) {
  ASSERT_TRUE(dir_.write("source.pdf", "%PDF-1.7"));
  Payload payload = Payload::copyOf("a.pdf", dir_.file("source.pdf"));
  fs::path folder = writeCapture(inbox_, uuids_, fileRequest(), &payload);
  EXPECT_EQ(test_support::readFile(folder / "a.pdf"), "%PDF-1.7");
}

TEST_F(InboxTest, AFailedRequestWriteLeavesNoRequest) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& folder, IncomingRequest& request)> spoil;
    std::vector<std::string> left;
  } cases[] = {
      {"not encodable",
       [](const fs::path&, IncomingRequest& r) { r.createdAt = INFINITY; },
       {"image.png"}},
      {"rename refused",
       [](const fs::path& folder, IncomingRequest&) {
         fs::create_directory(folder / "request.json");
         fs::create_directory(folder / "request.json" / "keep");
       },
       {"image.png", "request.json"}},
  };
  for (const Case& c : cases) {
    fs::path folder = newCaptureFolderURL(inbox_, uuids_);
    createCaptureFolder(folder);
    writePayload(folder, Payload::bytes("image.png", "x"));
    IncomingRequest request = fileRequest();
    c.spoil(folder, request);
    EXPECT_ANY_THROW(writeRequest(folder, request)) << c.name;
    EXPECT_EQ(names(folder), c.left) << c.name;
    EXPECT_FALSE(fs::is_regular_file(folder / "request.json")) << c.name;
  }
}

TEST_F(InboxTest, FailuresNameWhatFailed) {
  ASSERT_TRUE(dir_.write("group.app.nolt", "a file where the container should be"));
  try {
    writeCapture(inbox_, uuids_, fileRequest());
    FAIL() << "wrote into a file";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("could not create the folder"));
    EXPECT_THAT(e.what(), ::testing::HasSubstr("00000000-0000-4000-8000-000000000001"));
  }
}

TEST_F(InboxTest, PayloadNamesStayInsideTheFolder) {
  fs::path folder = newCaptureFolderURL(inbox_, uuids_);
  createCaptureFolder(folder);
  for (const char* name : {"", ".", "..", "../escape", "a/b"})
    EXPECT_THROW(writePayload(folder, Payload::bytes(name, "x")), std::system_error) << name;
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_FALSE(fs::exists(inbox_ / "escape"));
}

TEST_F(InboxTest, AFailedPayloadLeavesTheFolderAsItWas) {
  fs::path folder = newCaptureFolderURL(inbox_, uuids_);
  createCaptureFolder(folder);
  EXPECT_THROW(writePayload(folder, Payload::copyOf("a.png", dir_.file("missing.png"))),
               std::system_error);
  EXPECT_TRUE(fs::is_empty(folder));

  writePayload(folder, Payload::bytes("a.png", "first"));
  EXPECT_THROW(writePayload(folder, Payload::bytes("a.png", "second")), std::system_error);
  EXPECT_THROW(writePayload(folder, Payload::copyOf("a.png", dir_.file("missing.png"))),
               std::system_error);
  EXPECT_EQ(test_support::readFile(folder / "a.png"), "first");
}

// A copied file is one a person named: a link they made is followed, but what the host would set
// aside, or what never ends, is refused before the payload file is made.
TEST_F(InboxTest, CopiesOnlyRegularFilesWithinTheLimit) {
  ASSERT_TRUE(dir_.write("elsewhere/real.pdf", "%PDF"));
  fs::path folder = newCaptureFolderURL(inbox_, uuids_);
  createCaptureFolder(folder);
  std::string source = dir_.file("shared/a.pdf");
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_TRUE(test_support::plantHostile(c.kind, source, platform::kMaxFileBytes,
                                           dir_.file("elsewhere/real.pdf")));
    std::string refusal;
    EXPECT_TRUE(test_support::endsWithin(
        1,
        [&] {
          try {
            writePayload(folder, Payload::copyOf("a.pdf", source));
          } catch (const RefusedCapture& e) {
            refusal = e.what();
          }
        },
        source));
    if (c.kind == test_support::Hostile::linkOutOfFolder) {
      EXPECT_EQ(refusal, "");
      EXPECT_EQ(test_support::readFile(folder / "a.pdf"), "%PDF");
    } else {
      EXPECT_EQ(refusal, c.kind == test_support::Hostile::overCap ? "a.pdf is over 200 MB."
                                                                  : "Can't read a.pdf.");
      EXPECT_TRUE(fs::is_empty(folder));
    }
  }
}

// The host sets aside a request.json over its limit, so such a capture is never begun.
TEST_F(InboxTest, ARequestOverTheHostsLimitIsRefusedBeforeAnythingIsWritten) {
  IncomingRequest request;
  request.kind = IncomingRequest::Kind::link;
  request.url = "https://example.com/";
  request.createdAt = 10;
  request.note = std::string(platform::kMaxCaptureRequestBytes, 'n');
  EXPECT_THROW(writeCapture(inbox_, uuids_, request), RefusedCapture);
  EXPECT_FALSE(fs::exists(inbox_));
  fs::path folder = newCaptureFolderURL(inbox_, uuids_);
  createCaptureFolder(folder);
  EXPECT_THROW(writeRequest(folder, request), RefusedCapture);
  EXPECT_TRUE(fs::is_empty(folder));

  request.note = std::string(platform::kMaxCaptureRequestBytes - 200, 'n');
  EXPECT_LE(encodeRequest(request).size(), platform::kMaxCaptureRequestBytes);
  writeRequest(folder, request);
  EXPECT_TRUE(fs::exists(folder / "request.json"));
}

}  // namespace
}  // namespace nolt::capture
