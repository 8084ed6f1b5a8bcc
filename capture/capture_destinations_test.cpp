#include "capture/capture_destinations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/careful_files.h"
#include "platform/testing/test_environment.h"
#include "tests/support/hostile_files.h"
#include "tests/support/test_host_process.h"

namespace nolt::capture {
namespace {

using Place = CaptureDestinations::Place;

constexpr const char* kSpace = "11111111-1111-4111-8111-111111111111";
constexpr const char* kCollection = "22222222-2222-4222-8222-222222222222";

std::string place(std::string id, std::string extra = "") {
  return R"({"id":")" + id +
         R"(","name":"Work","emoji":"","symbol":"briefcase","tintName":"blue")" + extra + "}";
}

TEST(CaptureDestinationsTest, DecodesTheHostsFile) {
  std::string json = R"({"currentSpaceID":")" + std::string(kSpace) + R"(","spaces":[)" +
                     place(kSpace, R"(,"unknown":[1,2])") + R"(],"collections":[)" +
                     place(kCollection, R"(,"spaceID":")" + std::string(kSpace) + "\"") + "," +
                     place(kCollection, R"(,"spaceID":null)") + R"(],"version":2})";
  std::optional<CaptureDestinations> d = CaptureDestinations::decode(json);
  ASSERT_TRUE(d);
  platform::UUID space = *platform::UUID::parse(kSpace);
  EXPECT_EQ(d->currentSpaceID, space);
  ASSERT_EQ(d->spaces.size(), 1u);
  EXPECT_EQ(d->spaces[0].name, "Work");
  EXPECT_EQ(d->spaces[0].emoji, "");
  EXPECT_EQ(d->spaces[0].spaceID, std::nullopt);
  ASSERT_EQ(d->collections.size(), 2u);
  EXPECT_EQ(d->collections[0].spaceID, space);
  EXPECT_EQ(d->collections[1].spaceID, std::nullopt);
  EXPECT_EQ(CaptureDestinations::decode(d->encoded()), d);
}

TEST(CaptureDestinationsTest, AnyFaultFailsTheWholeFile) {
  std::string good = place(kSpace);
  const char* cases[] = {
      R"({"spaces":[]})",
      R"({"collections":[]})",
      R"({"spaces":null,"collections":[]})",
      R"({"spaces":[],"collections":[],"currentSpaceID":"x"})",
      R"({"spaces":[{"id":"11111111-1111-4111-8111-111111111111","name":"a","symbol":"",)"
      R"("tintName":""}],"collections":[]})",
      R"({"spaces":[{"id":"11111111-1111-4111-8111-111111111111","name":"a","emoji":7,)"
      R"("symbol":"","tintName":""}],"collections":[]})",
      R"({"spaces":[{"id":"nope","name":"a","emoji":"","symbol":"","tintName":""}],)"
      R"("collections":[]})",
      R"({"spaces":[1],"collections":[]})",
      R"({"spaces":[],"collections":[]})"
      "}",
      "",
  };
  for (const char* json : cases) EXPECT_FALSE(CaptureDestinations::decode(json)) << json;
  EXPECT_TRUE(CaptureDestinations::decode(R"({"spaces":[)" + good + R"(],"collections":[]})"));
}

TEST(CaptureDestinationsTest, EncodesAbsentSpacesByLeavingThemOut) {
  CaptureDestinations d;
  EXPECT_EQ(d.encoded(), R"({"spaces":[],"collections":[]})");
  d.spaces.push_back({*platform::UUID::parse(kSpace), "A/B", "\xF0\x9F\x8E\xA8", "", "", {}});
  EXPECT_EQ(d.encoded(), R"({"spaces":[{"id":"11111111-1111-4111-8111-111111111111","name":"A\/B",)"
                         "\"emoji\":\"\xF0\x9F\x8E\xA8\",\"symbol\":\"\",\"tintName\":\"\"}],"
                         R"("collections":[]})");
}

// The browser's reply carries the file's content as a value: the same members, keys sorted.
TEST(CaptureDestinationsTest, TheValueHoldsWhatTheFileHolds) {
  platform::UUID space = *platform::UUID::parse(kSpace);
  CaptureDestinations d;
  d.spaces.push_back({space, "A/B", "\xF0\x9F\x8E\xA8", "s", "t", {}});
  d.collections.push_back({*platform::UUID::parse(kCollection), "C", "", "", "", space});
  for (auto current : {std::optional<platform::UUID>(), std::optional(space)}) {
    d.currentSpaceID = current;
    EXPECT_EQ(d.toJSON(), wire::JSONValue::decode(d.encoded()));
  }
}

TEST(CaptureDestinationsTest, LoadingFallsBackToEmpty) {
  test_support::TempDir home;
  platform::testing::TestEnvironment env;
  EXPECT_EQ(loadDestinations(env), CaptureDestinations{}) << "no container";

  env.variables["XDG_DATA_HOME"] = home.path();
  EXPECT_EQ(loadDestinations(env), CaptureDestinations{}) << "no file";

  ASSERT_TRUE(home.write("group.app.nolt/destinations.json",
                         R"({"spaces":[],"collections":[)" + place(kCollection) + "]"));
  EXPECT_EQ(loadDestinations(env), CaptureDestinations{}) << "cut short";

  ASSERT_TRUE(home.write("group.app.nolt/destinations.json",
                         R"({"spaces":[],"collections":[)" + place(kCollection) + "]}"));
  EXPECT_EQ(loadDestinations(env).collections.size(), 1u);

  std::filesystem::remove(home.file("group.app.nolt/destinations.json"));
  std::filesystem::create_directory(home.file("group.app.nolt/destinations.json"));
  EXPECT_EQ(loadDestinations(env), CaptureDestinations{}) << "a folder";
}

// Whatever stands at the name, the reader ends at once with the empty value; a good file reached
// through a link is not the host's file either.
TEST(CaptureDestinationsTest, HostileFilesReadAsEmptyAtOnce) {
  test_support::TempDir home;
  platform::testing::TestEnvironment env;
  env.variables["XDG_DATA_HOME"] = home.path();
  std::string good = R"({"spaces":[],"collections":[)" + place(kCollection) + "]}";
  ASSERT_TRUE(home.write("elsewhere.json", good));
  std::string path = home.file("group.app.nolt/destinations.json");
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, platform::kMaxDestinationsBytes,
                                           home.file("elsewhere.json")));
    CaptureDestinations loaded{{}, {Place{}}, {}};
    EXPECT_TRUE(test_support::endsWithin(
        1, [&] { loaded = loadDestinations(env); }, path));
    EXPECT_EQ(loaded, CaptureDestinations{});
  }
}

}  // namespace
}  // namespace nolt::capture
