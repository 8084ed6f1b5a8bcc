#include "capture/inbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "capture/json_writer.h"
#include "platform/testing/sequential_uuid_source.h"
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

}  // namespace
}  // namespace nolt::capture
