// Every command's answer, and the files published, for generated libraries, compared with the
// answers recorded in host/testdata/: a change of queries or schema must not change one byte.
// host/testdata/library-v<N>.sqlite are libraries as earlier schemas wrote them; each must open
// in today's host and answer as it did.
//
// To record the answers anew (only when an answer is meant to change):
//   NOLT_RECORD_ANSWERS=$PWD/host/testdata build/tests/nolt_host_test --gtest_filter='Answers*'
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "host/command_handlers.h"
#include "host/publisher.h"
#include "host/testing/host_fixture.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/sequential_uuid_source.h"
#include "tests/support/temp_dir.h"
#include "wire/cli_records.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using wire::JSONArray;
using wire::JSONObject;

const fs::path kTestData = NOLT_TESTDATA_DIR;

// A small deterministic generator, the same on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return state_ >> 33;
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
  template <typename T, std::size_t N>
  const T& pick(const T (&values)[N]) {
    return values[below(N)];
  }

 private:
  std::uint64_t state_;
};

std::string numberedID(char prefix, std::size_t n) {
  char text[40];
  std::snprintf(text, sizeof text, "%c0000000-0000-4000-8000-%012zu", prefix, n);
  return text;
}

const char* const kWords[] = {"warm", "chair",  "lamp", "brass",   "oak",   "linen",      "red",
                              "bold", "quiet",  "grid", "type",    "serif", "onboarding", "plans",
                              "tile", "sunset", "leaf", "ceramic", "glass"};
const char* const kTags[] = {"warm",      "Warm", "bold", "calm",    "idea",   "Idea",
                             "furniture", "type", "grid", "pricing", "plants", "vivid"};
const char* const kSites[] = {"https://example.com/", "https://www.Shop.example.org/",
                              "https://type.example.net/", "https://example.com/a/"};
const char* const kColours[] = {"#F08A24", "#1D3557", "#E63946", "#A8DADC", "#457B9D",
                                "#2A9D8F", "#E9C46A", "#264653", "#F4A261", "#FFFFFF"};

struct Names {
  std::vector<std::string> spaces;
  std::vector<Collection> collections;
  std::vector<std::string> items;
};

// Spaces, collections (two of one name in different spaces, one in no space), items with
// ties in dates and in several collections, notes on items and on their own, rules.
Names generate(Library& library, std::size_t itemCount, std::uint64_t seed) {
  Random random(seed);
  Names names;
  names.spaces.push_back(*library.currentSpaceID());
  library.addSpace({numberedID('B', 2), "Work", "💼", "briefcase", "orange"});
  library.addSpace({numberedID('B', 3), "Home", "🏡", "house", "green"});
  names.spaces.push_back(numberedID('B', 2));
  names.spaces.push_back(numberedID('B', 3));
  const std::pair<const char*, int> collections[] = {
      {"Typography", 0}, {"Ideas", 1}, {"Ideas", 2}, {"Checkout", 1}, {"Loose", -1}, {"Rooms", 2}};
  for (std::size_t i = 0; i < std::size(collections); ++i) {
    Collection collection{numberedID('C', i + 1), collections[i].first, std::nullopt};
    if (collections[i].second >= 0) collection.spaceID = names.spaces[collections[i].second];
    library.addCollection(collection);
    names.collections.push_back(collection);
  }
  std::size_t noteCount = 0;
  auto noteText = [&] {
    std::string text = std::string(random.pick(kWords)) + " " + random.pick(kWords);
    if (random.chance(30)) text += " and more " + std::string(random.pick(kWords));
    return text;
  };
  for (std::size_t n = 0; n < itemCount; ++n) {
    Item item;
    item.id = numberedID('A', n + 1);
    int kind = static_cast<int>(random.below(3));
    item.kind = kind == 0 ? ItemKind::link : kind == 1 ? ItemKind::image : ItemKind::text;
    item.title = std::string(random.pick(kWords)) + " " + random.pick(kWords);
    if (item.kind == ItemKind::link)
      item.url = std::string(random.pick(kSites)) + std::to_string(n);
    if (item.kind == ItemKind::image) {
      item.fileName = "picture" + std::to_string(n) + ".png";
      item.mimeType = "image/png";
      item.width = 640;
      item.height = 480;
      double left = 1;
      for (int c = 0; c < 3 && left > 0.05; ++c) {
        double weight = c == 2 ? left : left * (0.3 + 0.1 * static_cast<double>(random.below(5)));
        item.colors.push_back({random.pick(kColours), weight});
        left -= weight;
      }
      if (random.chance(50)) item.sourceURL = std::string(random.pick(kSites)) + "page";
    }
    if (item.kind == ItemKind::text) item.text = noteText();
    std::size_t space = random.below(3);
    item.spaceID = names.spaces[space];
    for (const Collection& collection : names.collections)
      if ((collection.spaceID == item.spaceID || !collection.spaceID) && random.chance(40))
        item.collectionIDs.push_back(collection.id);
    for (std::size_t t = random.below(4); t > 0; --t) item.tags.push_back(random.pick(kTags));
    item.favorite = random.chance(10);
    // Three items share each minute: ties in dates are ordered by when they were added.
    auto minute = n / 3;
    item.createdAt = 1'700'000'000.0 + static_cast<double>(minute) * 60;
    std::optional<Note> note;
    if (random.chance(25)) {
      note = Note{};
      note->id = numberedID('D', ++noteCount);
      note->text = noteText();
      note->itemID = item.id;
      note->createdAt = item.createdAt;
    }
    library.addItem(item, note);
    names.items.push_back(item.id);
  }
  // Later notes: some on items (a second note at the same instant as the first), some on a
  // space or collection of their own, some rules.
  for (std::size_t n = 0; n < itemCount / 4 + 3; ++n) {
    Note note;
    note.id = numberedID('D', ++noteCount);
    note.text = noteText();
    note.title = random.chance(50) ? std::string(random.pick(kWords)) : "";
    note.rule = random.chance(20);
    for (std::size_t t = random.below(3); t > 0; --t) note.tags.push_back(random.pick(kTags));
    note.createdAt = 1'700'000'000.0 + static_cast<double>(random.below(itemCount / 2 + 1)) * 60;
    int where = static_cast<int>(random.below(3));
    if (where == 0 && !names.items.empty()) {
      note.itemID = names.items[random.below(names.items.size())];
    } else if (where == 1) {
      const Collection& collection = names.collections[random.below(names.collections.size())];
      note.collectionID = collection.id;
      note.spaceID = collection.spaceID;
    } else {
      note.spaceID = names.spaces[random.below(names.spaces.size())];
    }
    library.addNote(note);
  }
  return names;
}

// FNV-1a: the recorded answers are kept as hashes, so the record stays small.
std::string hashOf(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
  char out[32];
  std::snprintf(out, sizeof out, "%016llx %zu", static_cast<unsigned long long>(hash), text.size());
  return out;
}

// Each request beside the hash of its reply, one per line, and the published files.
std::map<std::string, std::string> answersOf(Library& library, const Names& names,
                                             const fs::path& folder) {
  FileStore files(folder / "Files");
  testing::FakeImageCodec images;
  testing::RecordingOpener opener;
  platform::testing::SequentialUUIDSource uuids;
  platform::testing::FakeWallClock clock{
      std::chrono::sys_seconds{std::chrono::seconds{1'700'100'000}}};
  CommandHandlers handlers{HostServices{library, files, images, opener, uuids, clock}, {}};
  std::vector<wire::CLIRequest> requests = {
      {"search", JSONObject{}},
      {"search", JSONObject{{"query", "warm"}}},
      {"search", JSONObject{{"query", "warm"}, {"limit", 200}}},
      {"search", JSONObject{{"query", "#warm"}}},
      {"search", JSONObject{{"query", "#Idea chair"}}},
      {"search", JSONObject{{"query", "red lamp chair"}}},
      {"search", JSONObject{{"query", "orange"}}},
      {"search", JSONObject{{"query", "zzzz"}}},
      {"search", JSONObject{{"query", "oak"}, {"space", "Work"}}},
      {"search", JSONObject{{"query", "lamp"}, {"collection", "Ideas"}, {"space", "Home"}}},
      {"search", JSONObject{{"collection", "Typography"}, {"limit", 200}}},
      {"search", JSONObject{{"query", "ceramic #furniture"}, {"limit", 0}}},
      {"taste", JSONObject{}},
      {"taste", JSONObject{{"space", "Work"}}},
      {"taste", JSONObject{{"collection", "Typography"}}},
      {"taste", JSONObject{{"collection", "Loose"}}},
      {"notes", JSONObject{}},
      {"notes", JSONObject{{"query", "brass"}}},
      {"notes", JSONObject{{"query", "#idea warm"}}},
      {"notes", JSONObject{{"rules_only", true}}},
      {"notes", JSONObject{{"space", "Work"}}},
      {"notes", JSONObject{{"collection", "Typography"}}},
      {"spaces", JSONObject{}},
      {"collections", JSONObject{}},
      {"collections", JSONObject{{"space", "Work"}}},
  };
  for (const Collection& collection : names.collections) {
    JSONObject arguments{{"collection", collection.id}};
    requests.push_back({"brief", arguments});
  }
  requests.push_back({"brief", JSONObject{{"collection", "Ideas"}, {"space", "Home"}}});
  for (std::size_t i : {std::size_t{0}, names.items.size() / 2, names.items.size() - 1})
    requests.push_back({"item", JSONObject{{"id", names.items[i]}}});

  std::map<std::string, std::string> answers;
  for (const wire::CLIRequest& request : requests) {
    std::string text = request.encode();
    answers[text] = hashOf(handlers.respond(text));
  }
  Publisher publisher(library, files, images, folder / "container", clock);
  publisher.publish();
  for (const char* name : {"destinations.json", "Widget/widget.json"})
    answers[name] =
        hashOf(test_support::readFile((folder / "container" / name).string()).value_or(""));
  return answers;
}

// Compares with host/testdata/<name>, or writes it when recording.
void expectRecorded(const std::map<std::string, std::string>& answers, const std::string& name) {
  if (const char* record = std::getenv("NOLT_RECORD_ANSWERS")) {
    std::ofstream out(fs::path(record) / name);
    for (const auto& [request, hash] : answers) out << hash << '\t' << request << '\n';
    return;
  }
  std::ifstream in(kTestData / name);
  ASSERT_TRUE(in) << name;
  std::map<std::string, std::string> recorded;
  for (std::string line; std::getline(in, line);) {
    std::size_t tab = line.find('\t');
    recorded[line.substr(tab + 1)] = line.substr(0, tab);
  }
  EXPECT_EQ(recorded.size(), answers.size());
  for (const auto& [request, hash] : answers) EXPECT_EQ(recorded[request], hash) << request;
}

TEST(AnswersTest, AGeneratedLibraryAnswersAsRecorded) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  Library library(temporary.file("library.sqlite"));
  Names names = generate(library, 1200, 7);
  expectRecorded(answersOf(library, names, temporary.fsPath()), "answers-1200.txt");
}

// Libraries written by earlier hosts (host/testdata/library-v<N>.sqlite, made by that host from
// the same generator as below) open in today's host, keep every item and answer as they did.
// Today's code cannot write them again; recording keeps them and records the answers only.
class OlderSchemaTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OlderSchemaTest, OpensAndAnswersAsItDid) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  fs::path copy = temporary.fsPath() / "library.sqlite";
  fs::copy_file(kTestData / GetParam(), copy);
  Names names;
  {
    Library scratch(":memory:");
    names = generate(scratch, 60, 11);  // the same names, to ask about
  }
  Library library(copy.string());
  expectRecorded(answersOf(library, names, temporary.fsPath()), "answers-v0.txt");
  for (const std::string& id : names.items) EXPECT_TRUE(library.item(id)) << id;
}

INSTANTIATE_TEST_SUITE_P(AnswersTest, OlderSchemaTest,
                         ::testing::Values("library-v0.sqlite", "library-v1.sqlite"));

}  // namespace
}  // namespace nolt::host
