#include "safari/safari_handler.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/careful_files.h"
#include "platform/identifiers.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/recording_notification_center.h"
#include "platform/testing/sequential_uuid_source.h"
#include "platform/testing/test_environment.h"
#include "safari/native_messaging.h"
#include "tests/support/hostile_files.h"
#include "tests/support/test_host_process.h"

namespace nolt::safari {
namespace {

namespace fs = std::filesystem;
using platform::testing::RecordingNotificationCenter;
using platform::testing::SequentialUUIDSource;
using platform::testing::TestEnvironment;

constexpr const char* kCurrent = "CCCCCCCC-CCCC-4CCC-8CCC-CCCCCCCCCCCC";
constexpr const char* kSpace = "AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA";
constexpr const char* kCollection = "BBBBBBBB-BBBB-4BBB-8BBB-BBBBBBBBBBBB";
constexpr const char* kFirst = "00000000-0000-4000-8000-000000000001";

class TestContext final : public ExtensionContext {
 public:
  std::vector<ExtensionItem> items;
  std::vector<std::vector<ExtensionItem>> completions;

  const std::vector<ExtensionItem>& inputItems() const override { return items; }
  void completeRequest(std::vector<ExtensionItem> reply) override {
    completions.push_back(std::move(reply));
  }
};

// Every file under the container's inbox, by path relative to it, with its content.
std::map<std::string, std::string> inboxFiles(const fs::path& inbox) {
  std::map<std::string, std::string> files;
  if (!fs::exists(inbox)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(inbox)) {
    std::string name = fs::relative(entry.path(), inbox);
    files[name] = entry.is_directory() ? "<folder>" : *test_support::readFile(entry.path());
  }
  return files;
}

class SafariHandlerTest : public ::testing::Test {
 protected:
  SafariHandlerTest() { env_.variables["XDG_DATA_HOME"] = home_.path(); }

  // The reply to one message, checking that the request was completed exactly once.
  std::string send(std::optional<std::string> messageJSON) {
    TestContext context;
    wire::JSONObject userInfo;
    if (messageJSON)
      userInfo.set(std::string(SFExtensionMessageKey), wire::JSONValue::decode(*messageJSON));
    context.items.push_back({userInfo});
    return run(context);
  }

  std::string run(TestContext& context) {
    SafariWebExtensionHandler handler({env_, uuids_, notifications_, clock_});
    handler.beginRequest(context);
    EXPECT_EQ(context.completions.size(), 1u);
    if (context.completions.size() != 1 || context.completions[0].size() != 1) return "";
    const wire::JSONValue* reply = context.completions[0][0].userInfo->find(SFExtensionMessageKey);
    return reply ? reply->encode(wire::JSONEncoding::plain) : "";
  }

  void writeDestinations() {
    ASSERT_TRUE(home_.write(
        "group.app.nolt/destinations.json",
        std::string(R"({"spaces":[],"collections":[],"currentSpaceID":")") + kCurrent + "\"}"));
  }

  fs::path inbox() const { return fs::path(home_.path()) / "group.app.nolt/Incoming"; }

  test_support::TempDir home_;
  TestEnvironment env_;
  SequentialUUIDSource uuids_;
  // 1.5 s after the reference date, so createdAt reads 1.5.
  platform::testing::FakeWallClock clock_{std::chrono::sys_days{std::chrono::year{2001} / 1 / 1} +
                                          std::chrono::milliseconds{1500}};
  RecordingNotificationCenter notifications_;
};

const std::string kBadMessage = R"({"error":"badMessage","ok":false})";
const std::string kOK = R"({"ok":true})";
const std::string kRequestTail = R"("tags":[],"note":"","createdAt":1.5})";

TEST_F(SafariHandlerTest, SavesAndRefusesAsTheMessageSays) {
  struct Case {
    const char* name;
    std::string message;
    std::string reply;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"empty message", "{}", kBadMessage, {}},
      {"action not a string", R"({"action":5,"url":"https://a.example"})", kBadMessage, {}},
      {"unknown action", R"({"action":"saveText","url":"https://a.example"})", kBadMessage, {}},
      {"page without url", R"({"action":"savePage"})", kBadMessage, {}},
      {"page with relative url", R"({"action":"savePage","url":"a/b"})", kBadMessage, {}},
      {"image with line break", R"({"action":"saveImage","data":"QUJD\nQUJD"})", kBadMessage, {}},
      {"image without data", R"({"action":"saveImage","mime":"image/png"})", kBadMessage, {}},
      {"page with everything",
       std::string(
           R"({"action":"savePage","url":"https://a.example/p?q","title":"T","note":"n",)") +
           R"("tags":["a","b"],"spaceID":")" + kSpace + R"(","collectionID":")" + kCollection +
           "\"}",
       kOK,
       {{kFirst, "<folder>"},
        {std::string(kFirst) + "/request.json",
         std::string(R"({"kind":"link","url":"https:\/\/a.example\/p?q","spaceID":")") + kSpace +
             R"(","collectionID":")" + kCollection +
             R"(","tags":["a","b"],"note":"n","createdAt":1.5})"}}},
      {"page with mixed tags and a bad space",
       R"({"action":"savePage","url":"file:///tmp/x","tags":["a",1],"spaceID":"x","collectionID":7})",
       kOK,
       {{kFirst, "<folder>"},
        {std::string(kFirst) + "/request.json",
         std::string(R"({"kind":"link","url":"file:\/\/\/tmp\/x","spaceID":")") + kCurrent + "\"," +
             kRequestTail}}},
      {"image of a known type",
       R"({"action":"saveImage","data":"QUJD","mime":"image/jpeg","title":"T","pageURL":"https://a.example/","note":"ignored","tags":["x"]})",
       kOK,
       {{kFirst, "<folder>"},
        {std::string(kFirst) + "/image.jpeg", "ABC"},
        {std::string(kFirst) + "/request.json",
         std::string(
             R"({"kind":"file","fileName":"image.jpeg","sourceURL":"https:\/\/a.example\/",)") +
             R"("title":"T","spaceID":")" + kCurrent + "\"," + kRequestTail}}},
      {"image of an unknown type, bad page",
       R"({"action":"saveImage","data":"","mime":"image/x-unheard-of","pageURL":"not a url"})",
       kOK,
       {{kFirst, "<folder>"},
        {std::string(kFirst) + "/image.png", ""},
        {std::string(kFirst) + "/request.json",
         std::string(R"({"kind":"file","fileName":"image.png","spaceID":")") + kCurrent + "\"," +
             kRequestTail}}},
  };
  for (const Case& c : cases) {
    fs::remove_all(inbox());
    uuids_.count = 0;
    notifications_.posted.clear();
    writeDestinations();
    EXPECT_EQ(send(c.message), c.reply) << c.name;
    EXPECT_EQ(inboxFiles(inbox()), c.files) << c.name;
    EXPECT_EQ(notifications_.posted.size(), c.reply == kOK ? 1u : 0u) << c.name;
  }
}

TEST_F(SafariHandlerTest, ImageExtensionsComeFromTheTypeTable) {
  struct Case {
    const char* mime;  // null: no "mime" key
    const char* file;
  } cases[] = {{nullptr, "image.png"},      {"image/png", "image.png"},
               {"image/jpg", "image.jpeg"}, {"image/webp", "image.webp"},
               {"IMAGE/GIF", "image.gif"},  {"application/pdf", "image.pdf"},
               {"text/html", "image.png"},  {"", "image.png"}};
  for (const Case& c : cases) {
    std::string message = R"({"action":"saveImage","data":"QQ==")";
    if (c.mime) message += std::string(R"(,"mime":")") + c.mime + "\"";
    std::string folder = uuids_.numbered(uuids_.count + 1).uuidString();
    EXPECT_EQ(send(message + "}"), kOK) << c.mime;
    EXPECT_TRUE(fs::exists(inbox() / folder / c.file)) << (c.mime ? c.mime : "none");
  }
}

TEST_F(SafariHandlerTest, DestinationsAreReadAfreshAndNeverPosted) {
  EXPECT_EQ(send(R"({"action":"destinations"})"),
            R"({"destinations":{"collections":[],"spaces":[]},"ok":true})");
  ASSERT_TRUE(home_.write("group.app.nolt/destinations.json",
                          std::string(R"({"spaces":[{"id":")") + kSpace +
                              R"(","name":"Work/Home","emoji":"","symbol":"s","tintName":"t",)"
                              R"("extra":1}],"collections":[],"currentSpaceID":")" +
                              kSpace + "\"}"));
  EXPECT_EQ(send(R"({"action":"destinations","url":"https://a.example"})"),
            std::string(R"({"destinations":{"collections":[],"currentSpaceID":")") + kSpace +
                R"(","spaces":[{"emoji":"","id":")" + kSpace +
                R"(","name":"Work\/Home","symbol":"s","tintName":"t"}]},"ok":true})");
  EXPECT_TRUE(notifications_.posted.empty());
  EXPECT_FALSE(fs::exists(inbox()));
}

TEST_F(SafariHandlerTest, WithoutAContainerEverySaveIsNoContainer) {
  env_.variables.clear();
  for (const char* message : {"{}", R"({"action":"savePage","url":"https://a.example"})",
                              R"({"action":"saveImage","data":"QQ=="})"})
    EXPECT_EQ(send(message), R"({"error":"noContainer","ok":false})") << message;
  EXPECT_EQ(send(R"({"action":"destinations"})"),
            R"({"destinations":{"collections":[],"spaces":[]},"ok":true})");
  EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(SafariHandlerTest, AMessageMissingFromTheRequestIsEmpty) {
  TestContext noItems;
  EXPECT_EQ(run(noItems), kBadMessage);
  TestContext noUserInfo;
  noUserInfo.items.push_back({});
  EXPECT_EQ(run(noUserInfo), kBadMessage);
  EXPECT_EQ(send(std::nullopt), kBadMessage);
  EXPECT_EQ(send(R"(["savePage"])"), kBadMessage);
  EXPECT_EQ(send(R"("destinations")"), kBadMessage);
}

TEST_F(SafariHandlerTest, FailedWritesAreReportedAndNotPosted) {
  ASSERT_TRUE(home_.write("group.app.nolt", "not a folder"));
  std::string reply = send(R"({"action":"savePage","url":"https://a.example"})");
  EXPECT_NE(reply.find(R"("ok":false)"), std::string::npos) << reply;
  EXPECT_NE(reply.find("could not create the folder"), std::string::npos) << reply;
  EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(SafariHandlerTest, IdenticalSavesMakeTwoCaptures) {
  const char* message = R"({"action":"savePage","url":"https://a.example"})";
  EXPECT_EQ(send(message), kOK);
  EXPECT_EQ(send(message), kOK);
  EXPECT_EQ(inboxFiles(inbox()).size(), 4u);
  EXPECT_EQ(notifications_.posted,
            std::vector<std::string>(2, std::string(platform::kIncomingNotificationName)));
}

// Every save reads destinations.json, so whatever stands there must not hold up a reply.
TEST_F(SafariHandlerTest, HostileDestinationsFilesReadAsNoneAtOnce) {
  ASSERT_TRUE(home_.write("elsewhere.json", std::string(R"({"spaces":[],"collections":[],)") +
                                                R"("currentSpaceID":")" + kCurrent + "\"}"));
  std::string path = home_.file("group.app.nolt/destinations.json");
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, platform::kMaxDestinationsBytes,
                                           home_.file("elsewhere.json")));
    std::string listed, saved;
    EXPECT_TRUE(test_support::endsWithin(
        1,
        [&] {
          listed = send(R"({"action":"destinations"})");
          saved = send(R"({"action":"savePage","url":"https://a.example"})");
        },
        path));
    EXPECT_EQ(listed, R"({"destinations":{"collections":[],"spaces":[]},"ok":true})");
    EXPECT_EQ(saved, kOK);
  }
}

TEST_F(SafariHandlerTest, ADestinationsReplyFitsInOneBrowserMessage) {
  // 6,000 collections of long names make about 1.9 MB of reply.
  auto place = [](int n, const char* space) {
    char id[40];
    std::snprintf(id, sizeof id, "%08X-0000-4000-8000-000000000000", n);
    std::string text = std::string(R"({"id":")") + id + R"(","name":")" + std::string(200, 'n') +
                       R"(","emoji":"","symbol":"folder","tintName":"blue")";
    if (space) text += std::string(R"(,"spaceID":")") + space + "\"";
    return text + "}";
  };
  std::string spaces, collections;
  for (int n = 0; n < 3; ++n) spaces.append(n ? "," : "").append(place(n + 1, nullptr));
  for (int n = 0; n < 6000; ++n) collections.append(n ? "," : "").append(place(n + 100, kSpace));
  ASSERT_TRUE(home_.write("group.app.nolt/destinations.json",
                          R"({"spaces":[)" + spaces + R"(],"collections":[)" + collections +
                              R"(],"currentSpaceID":")" + kCurrent + "\"}"));
  std::string reply = send(R"({"action":"destinations"})");
  EXPECT_LE(reply.size(), kMaxReplySize);
  EXPECT_GT(reply.size(), kMaxReplySize - 300) << "room left for another collection";
  wire::JSONValue decoded = wire::JSONValue::decode(reply);
  const wire::JSONObject& destinations = *decoded.object()->find("destinations")->object();
  EXPECT_EQ(destinations.find("spaces")->array()->size(), 3u);
  const wire::JSONArray& kept = *destinations.find("collections")->array();
  ASSERT_GT(kept.size(), 1000u);
  EXPECT_LT(kept.size(), 6000u);
  EXPECT_EQ(*kept.front().object()->find("id")->string(), "00000064-0000-4000-8000-000000000000");
  EXPECT_EQ(*destinations.find("currentSpaceID")->string(), kCurrent);
}

// The host sets aside a request.json over its limit, so the save is refused, not answered ok.
TEST_F(SafariHandlerTest, ACaptureTooLargeForTheHostIsRefused) {
  std::string note(platform::kMaxCaptureRequestBytes + 1, 'n');
  std::string url = "https://a.example/" + std::string(20 << 20, 'u');
  for (const std::string& message :
       {R"({"action":"savePage","url":"https://a.example","note":")" + note + "\"}",
        R"({"action":"savePage","url":")" + url + "\"}",
        R"({"action":"saveImage","data":"QQ==","title":")" + note + "\"}"}) {
    EXPECT_EQ(send(message), R"({"error":"The capture is over 16 MB.","ok":false})");
    EXPECT_FALSE(fs::exists(inbox()));
    EXPECT_TRUE(notifications_.posted.empty());
  }
}

}  // namespace
}  // namespace nolt::safari
