#include "host/command_handlers.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/testing/host_fixture.h"
#include "platform/base64.h"
#include "wire/cli_records.h"

namespace nolt::host {
namespace {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;
namespace base64 = platform::base64;

class CommandHandlersTest : public testing::HostFixture {
 protected:
  JSONValue run(std::string_view command, JSONObject arguments = {}) {
    return handlers_.handle(command, arguments);
  }
  // The error text a command fails with; empty when it succeeds.
  std::string errorOf(std::string_view command, JSONObject arguments) {
    try {
      handlers_.handle(command, arguments);
      return {};
    } catch (const CommandError& error) {
      return error.what();
    }
  }
  std::string addLink(std::string url, JSONObject more = {}) {
    more.set("url", std::move(url));
    return *run("add_link", more).subscript("id")->string();
  }
  std::vector<std::string> titlesFound(JSONObject arguments) {
    std::vector<std::string> titles;
    JSONValue result = run("search", arguments);
    for (const JSONValue& item : *result.subscript("items")->array())
      titles.push_back(*item.subscript("title")->string());
    return titles;
  }
  std::string spaceID(std::string_view name) {
    for (const Space& space : library_.spaces())
      if (space.name == name) return space.id;
    return {};
  }
};

TEST_F(CommandHandlersTest, SearchMatchesTitlesTagsNotesURLsAndCollections) {
  library_.addCollection(
      {"C0000000-0000-0000-0000-000000000001", "Pricing pages", spaceID("Personal")});
  addLink("https://example.com/chairs",
          {{"title", "Red lounge chair"}, {"tags", JSONArray{"furniture"}}});
  addLink("https://shop.example.org/lamp", {{"title", "Desk lamp"}, {"note", "warm brass finish"}});
  addLink("https://stripe.example/pricing", {{"title", "Plans"}, {"collection", "pricing pages"}});

  struct Case {
    std::string query;
    std::vector<std::string> titles;
  } cases[] = {
      {"chair", {"Red lounge chair"}},
      {"red lou", {"Red lounge chair"}},                 // every word, each as a prefix
      {"#furniture", {"Red lounge chair"}},              // a tag, exactly
      {"#FURNITURE", {"Red lounge chair"}},              // in any case
      {"#furn", {}},                                     // tags are not prefixes
      {"brass", {"Desk lamp"}},                          // the item's note
      {"shop.example.org", {"Desk lamp"}},               // its address
      {"pricing", {"Plans"}},                            // its collection's name
      {"", {"Plans", "Desk lamp", "Red lounge chair"}},  // newest first
      {"\"* OR NEAR(", {}},                              // FTS syntax is only words here
      {"!!!", {}},
      {"chair #nothing", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(titlesFound({{"query", c.query}}), c.titles) << "query " << c.query;
}

TEST_F(CommandHandlersTest, SearchLimitDefaultsTo20AndStopsAt200) {
  for (int i = 0; i < 205; ++i) addLink("https://example.com/" + std::to_string(i));
  struct Case {
    JSONObject arguments;
    std::size_t count;
  } cases[] = {
      {{}, 20},
      {{{"limit", 5}}, 5},
      {{{"limit", "7"}}, 7},
      {{{"limit", 1000}}, 200},
      {{{"limit", 0}}, 0},
      {{{"limit", nullptr}}, 20},
      {{{"limit", 2.9}}, 2},
  };
  for (const Case& c : cases) {
    JSONValue result = run("search", c.arguments);
    EXPECT_EQ(result.subscript("items")->array()->size(), c.count)
        << JSONValue(c.arguments).prettyText();
    EXPECT_EQ(*result.subscript("total"), JSONValue(205));
  }
}

TEST_F(CommandHandlersTest, BadArgumentsGetTextsPeopleUnderstand) {
  std::string link = addLink("https://example.com/a");
  struct Case {
    std::string command;
    JSONObject arguments;
    std::string error;
  } cases[] = {
      {"search", {{"limit", "many"}}, "“limit” must be a whole number."},
      {"search", {{"limit", -3}}, "“limit” can't be negative."},
      {"search", {{"space", "Nowhere"}}, "There's no space named “Nowhere”."},
      {"search", {{"collection", "Nope"}}, "There's no collection named “Nope”."},
      {"search", {{"query", JSONArray{}}}, "“query” must be text."},
      {"item", {}, "Which item? Give its ID, from search."},
      {"item", {{"id", "abc"}}, "“abc” isn't an item ID; search shows them."},
      {"item",
       {{"id", "00000000-0000-0000-0000-0000000000FF"}},
       "No item has the ID 00000000-0000-0000-0000-0000000000FF."},
      {"image", {{"id", link}, {"size", 0}}, "“size” must be at least 1 pixel."},
      {"image", {{"id", link}, {"size", "big"}}, "“size” must be a whole number."},
      {"add_link",
       {{"url", "ftp://example.com/x"}},
       "“ftp://example.com/x” isn't an http or https address."},
      {"add_link", {{"url", "example.com"}}, "“example.com” isn't an http or https address."},
      {"add_link", {}, "Which page? Give its http or https address."},
      {"add_file",
       {{"name", "notes.txt"}, {"data", "aGk="}},
       "Nolt saves images, videos and PDFs; notes.txt isn't one."},
      {"add_file",
       {{"name", "a.png"}, {"data", "not base64!"}},
       "The content of a.png isn't Base64."},
      {"add_file",
       {{"path", "/tmp/a.png"}},
       "Send the file's name and its content as Base64 (\"name\" and \"data\")."},
      {"add_note", {{"text", "   "}}, "A note needs some text."},
      {"brief", {}, "Which collection? Give its name or ID, from list_collections."},
      {"collections", {{"space", "Mars"}}, "There's no space named “Mars”."},
      {"reticulate", {}, "Nolt doesn't know the command “reticulate”."},
  };
  for (const Case& c : cases) EXPECT_EQ(errorOf(c.command, c.arguments), c.error) << c.command;
  EXPECT_EQ(changes_, 1);  // only the link that was added
}

TEST_F(CommandHandlersTest, UnknownKeysAreIgnored) {
  std::string id = addLink("https://example.com/a", {{"colour", "red"}, {"tags", "one"}});
  JSONValue item = run("item", {{"id", id}, {"verbose", true}});
  EXPECT_EQ(*item.subscript("tags"), JSONValue(JSONArray{"one"}));
  EXPECT_EQ(*item.subscript("title"), JSONValue("example.com/a"));
}

TEST_F(CommandHandlersTest, AddFileStoresTheFileAndImageScalesIt) {
  std::string data = base64::encode(testing::FakeImageCodec::image(4000, 3000));
  JSONValue added =
      run("add_file",
          {{"name", "Red chair.PNG"}, {"data", data}, {"tags", JSONArray{"#red", "red", " "}}});
  std::string id = *added.subscript("id")->string();
  EXPECT_EQ(*added.subscript("title"), JSONValue("Red chair"));
  EXPECT_EQ(files_.read(id, "Red chair.PNG"), testing::FakeImageCodec::image(4000, 3000));

  JSONValue item = run("item", {{"id", id}});
  EXPECT_EQ(*item.subscript("kind"), JSONValue("image"));
  EXPECT_EQ(*item.subscript("tags"), JSONValue(JSONArray{"red"}));
  EXPECT_EQ(*item.subscript("width"), JSONValue(4000));
  EXPECT_EQ(item.subscript("colors")->array()->size(), 2u);

  struct Case {
    JSONObject size;
    int longestSide;
  } cases[] = {{{}, 1024}, {{{"size", 300}}, 300}, {{{"size", 5000}}, 2048}};
  for (const Case& c : cases) {
    JSONObject arguments = c.size;
    arguments.set("id", id);
    JSONValue image = run("image", arguments);
    EXPECT_EQ(images_.lastLongestSide, c.longestSide);
    EXPECT_EQ(*image.subscript("mimeType"), JSONValue("image/jpeg"));
    EXPECT_EQ(base64::decode(*image.subscript("data")->string(), base64::Mode::strict),
              testing::FakeImageCodec::image(c.longestSide, c.longestSide * 3 / 4));
  }
}

TEST_F(CommandHandlersTest, VideosAndPDFsGetAPoster) {
  for (std::string name : {"clip.mov", "paper.pdf"}) {
    std::string id = *run("add_file", {{"name", name}, {"data", "AAAA"}}).subscript("id")->string();
    JSONValue image = run("image", {{"id", id}, {"size", 64}});
    std::string kind = name == "clip.mov" ? "0" : "1";
    EXPECT_EQ(base64::decode(*image.subscript("data")->string(), base64::Mode::strict),
              "POSTER " + kind + " " + id);
  }
}

TEST_F(CommandHandlersTest, SpacesAndCollectionsListWhatTheProgramsRead) {
  library_.addSpace({"B0000000-0000-0000-0000-000000000002", "Work", "💼", "", ""});
  library_.addCollection({"C0000000-0000-0000-0000-000000000001", "Moodboard", spaceID("Work")});
  library_.addCollection({"C0000000-0000-0000-0000-000000000002", "Reading", spaceID("Personal")});
  addLink("https://example.com/a", {{"space", "work"}, {"collection", "Moodboard"}});
  addLink("https://example.com/b", {{"collection", "C0000000-0000-0000-0000-000000000001"}});

  JSONValue spaces = run("spaces");
  ASSERT_EQ(spaces.array()->size(), 2u);
  EXPECT_EQ(*(*spaces.array())[1].subscript("name"), JSONValue("Work"));
  EXPECT_EQ(*(*spaces.array())[1].subscript("emoji"), JSONValue("💼"));
  EXPECT_EQ(*(*spaces.array())[1].subscript("items"), JSONValue(2));  // the collection's space

  JSONValue all = run("collections");
  ASSERT_EQ(all.array()->size(), 2u);
  EXPECT_EQ(*(*all.array())[0].subscript("items"), JSONValue(2));
  EXPECT_EQ(*(*all.array())[0].subscript("space"), JSONValue("Work"));
  JSONValue personal = run("collections", {{"space", "Personal"}});
  ASSERT_EQ(personal.array()->size(), 1u);
  EXPECT_EQ(*(*personal.array())[0].subscript("name"), JSONValue("Reading"));
}

TEST_F(CommandHandlersTest, CollectionNamesThatRepeatNeedTheirSpace) {
  library_.addSpace({"B0000000-0000-0000-0000-000000000002", "Work", "", "", ""});
  library_.addCollection({"C0000000-0000-0000-0000-000000000001", "Ideas", spaceID("Work")});
  library_.addCollection({"C0000000-0000-0000-0000-000000000002", "Ideas", spaceID("Personal")});
  EXPECT_EQ(errorOf("brief", {{"collection", "Ideas"}}),
            "Several spaces have a collection named “Ideas”; name the space too.");
  JSONValue brief = run("brief", {{"collection", "ideas"}, {"space", "Work"}});
  EXPECT_EQ(*brief.subscript("collection")->subscript("id"),
            JSONValue("C0000000-0000-0000-0000-000000000001"));
}

TEST_F(CommandHandlersTest, ABriefSaysWhatSetsTheBoardApart) {
  library_.addCollection(
      {"C0000000-0000-0000-0000-000000000001", "Night club", spaceID("Personal")});
  for (int i = 0; i < 4; ++i)
    addLink("https://example.com/calm" + std::to_string(i), {{"tags", JSONArray{"calm"}}});
  addLink("https://example.com/neon",
          {{"collection", "Night club"}, {"tags", JSONArray{"neon", "calm"}}});
  run("add_note",
      {{"text", "Only on the club board"}, {"rule", true}, {"collection", "Night club"}});
  run("add_note", {{"text", "Everywhere"}, {"rule", true}});
  JSONValue brief = run("brief", {{"collection", "night CLUB"}});
  EXPECT_EQ(*brief.subscript("distinct")->subscript("tags"), JSONValue(JSONArray{"neon"}));
  EXPECT_EQ(brief.subscript("references")->array()->size(), 1u);
  EXPECT_EQ(brief.subscript("rules")->array()->size(), 2u);
  // The board's own rules stay out of the taste of the whole library.
  EXPECT_EQ(run("taste").subscript("rules")->array()->size(), 1u);
}

TEST_F(CommandHandlersTest, NotesAndRules) {
  JSONValue saved =
      run("add_note",
          {{"text", "Use 8 px spacing\nalways"}, {"rule", true}, {"tags", JSONArray{"layout"}}});
  EXPECT_EQ(*saved.subscript("title"), JSONValue("Use 8 px spacing"));
  run("add_note", {{"text", "Buy milk"}, {"title", "Errand"}});
  addLink("https://example.com/a", {{"note", "love the header"}});

  auto titles = [&](JSONObject arguments) {
    std::vector<std::string> found;
    JSONValue result = run("notes", arguments);
    for (const JSONValue& note : *result.subscript("notes")->array())
      found.push_back(*note.subscript("title")->string() + "|" + *note.subscript("text")->string());
    return found;
  };
  EXPECT_EQ(titles({{"rules_only", true}}),
            std::vector<std::string>{"Use 8 px spacing|Use 8 px spacing\nalways"});
  EXPECT_EQ(titles({{"query", "#layout"}}).size(), 1u);
  EXPECT_EQ(titles({{"query", "milk"}}), std::vector<std::string>{"Errand|Buy milk"});
  EXPECT_EQ(titles({}).size(), 3u);

  JSONValue taste = run("taste");
  ASSERT_EQ(taste.subscript("rules")->array()->size(), 1u);
  EXPECT_EQ(*(*taste.subscript("why")->array())[0].subscript("text"), JSONValue("love the header"));
}

TEST_F(CommandHandlersTest, TasteWeighsColoursTagsAndSites) {
  images_.palette = {{"#FF0000", 1.0}};
  run("add_file", {{"name", "a.png"},
                   {"data", base64::encode(testing::FakeImageCodec::image(10, 10))},
                   {"tags", JSONArray{"warm"}}});
  run("add_file", {{"name", "b.png"},
                   {"data", base64::encode(testing::FakeImageCodec::image(10, 10))},
                   {"tags", JSONArray{"Warm"}}});
  images_.palette = {{"#0000FF", 1.0}};
  run("add_file",
      {{"name", "c.png"}, {"data", base64::encode(testing::FakeImageCodec::image(10, 10))}});
  addLink("https://www.example.com/x");
  addLink("https://example.com/y", {{"tags", JSONArray{"cool"}}});

  JSONValue taste = run("taste");
  const JSONArray& palette = *taste.subscript("palette")->array();
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(*palette[0].subscript("hex"), JSONValue("#FF0000"));
  EXPECT_EQ(*palette[0].subscript("weight"), JSONValue(0.667));
  const JSONArray& tags = *taste.subscript("tags")->array();
  EXPECT_EQ(*tags[0].subscript("tag"), JSONValue("Warm"));  // spelt as most recently
  EXPECT_EQ(*tags[0].subscript("count"), JSONValue(2));
  EXPECT_EQ(*(*taste.subscript("sites")->array())[0].subscript("site"), JSONValue("example.com"));
  EXPECT_EQ(*(*taste.subscript("sites")->array())[0].subscript("count"), JSONValue(2));
}

TEST_F(CommandHandlersTest, OpenHandsTheLinkOrFileToTheOpener) {
  std::string link = addLink("https://example.com/a");
  std::string file =
      *run("add_file", {{"name", "p.pdf"}, {"data", "AAAA"}}).subscript("id")->string();
  run("open", {{"id", link}});
  run("open", {{"id", file}});
  EXPECT_EQ(opener_.opened,
            (std::vector<std::string>{"https://example.com/a",
                                      (folder_ / "Files" / file / "p.pdf").string()}));
  opener_.failure = "no opener";
  EXPECT_EQ(errorOf("open", {{"id", link}}), "Couldn't open “example.com/a”: no opener");
}

TEST_F(CommandHandlersTest, RespondAnswersEveryRequestWithOneResponse) {
  struct Case {
    std::string request;
    wire::CLIResponse response;
  } cases[] = {
      {"not json", {std::nullopt, "Nolt couldn't read the request."}},
      {R"({"command":"spaces"})", {std::nullopt, "Nolt couldn't read the request."}},
      {R"({"command":"nope","arguments":{}})",
       {std::nullopt, "Nolt doesn't know the command “nope”."}},
      {R"({"command":"add_note","arguments":{"text":"hi"}})",
       {JSONObject{{"id", "00000000-0000-4000-8000-000000000001"}, {"title", "hi"}}, std::nullopt}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wire::CLIResponse::decode(handlers_.respond(c.request)), c.response) << c.request;
}

// What a query request answers: the error text, or "found N" with the count of results.
std::string queryOutcome(CommandHandlers& handlers, const std::string& command,
                         const std::string& query) {
  wire::CLIRequest request{command, JSONObject{{"query", query}}};
  wire::CLIResponse response = wire::CLIResponse::decode(handlers.respond(request.encode()));
  if (response.error) return *response.error;
  const JSONValue* list = response.result->subscript(command == "search" ? "items" : "notes");
  return "found " + std::to_string(list->array()->size());
}

std::string repeated(std::string_view word, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) (text += word) += ' ';
  return text;
}

std::string numbered(std::string_view prefix, int count, std::string_view separator = " ") {
  std::string text;
  for (int i = 0; i < count; ++i) (text += prefix) += std::to_string(i) += separator;
  return text;
}

TEST_F(CommandHandlersTest, QueriesAreBoundedAndRepeatsCountOnce) {
  const std::string tooMany = "Search for at most 64 different words and tags at a time.";
  addLink("https://example.com/board",
          {{"title", numbered("w", 64)}, {"tags", JSONArray{"red"}}, {"note", "milk"}});
  run("add_note", {{"text", "Buy milk"}, {"tags", JSONArray{"errand"}}});
  struct Case {
    std::string command, query, outcome;
  } cases[] = {
      {"search", numbered("w", 64), "found 1"},  // exactly the cap
      {"search", numbered("w", 65), tooMany},
      {"search", numbered("w", 32) + numbered("#t", 33), tooMany},  // words and tags together
      {"search", numbered("#t", 1000), tooMany},
      {"search", numbered("w", 65, "."), tooMany},  // one word of many parts
      {"search", repeated("W0 w0 #red #RED", 20'000), "found 1"},
      {"notes", numbered("w", 1000), tooMany},
      {"notes", numbered("#t", 1000), tooMany},
      {"notes", repeated("milk MILK #errand", 20'000), "found 1"},
      {"notes", repeated("milk", 20'000), "found 2"},
      {"search", std::string(1001, 'a'), "A search word or tag can be at most 1000 characters."},
      {"notes", "#" + std::string(1001, 'a'),
       "A search word or tag can be at most 1000 characters."},
      {"notes", std::string(1000, 'a'), "found 0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(queryOutcome(handlers_, c.command, c.query), c.outcome)
        << c.command << " " << c.query.substr(0, 40);
}

TEST_F(CommandHandlersTest, TheLibrarysOwnErrorTextNeverReachesAReply) {
  std::string path = (folder_ / "library.sqlite").string();
  std::optional<Library> library;
  library.emplace(path);
  {
    Database database(path);
    database.execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN "
        "SELECT RAISE(ABORT, 'internal detail'); END");
  }
  CommandHandlers handlers(HostServices{*library, files_, images_, opener_, uuids_, clock_});
  std::string reply = handlers.respond(R"({"command":"add_note","arguments":{"text":"hi"}})");
  EXPECT_EQ(wire::CLIResponse::decode(reply).error, "Nolt's library couldn't answer that request.");
}

}  // namespace
}  // namespace nolt::host
