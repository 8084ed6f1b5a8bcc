#include "cli/commands/rendering.h"

#include <gtest/gtest.h>

#include <functional>

namespace nolt::commands {
namespace {

using wire::JSONValue;

struct Case {
  const char* name;
  std::function<Rendered(const JSONValue&)> render;
  std::string result;  // JSON text
  std::string out;
  std::string err;
};

Rendered search(const JSONValue& v) { return renderSearch(v); }
Rendered notes(const JSONValue& v) { return {renderNotes(v), ""}; }
Rendered spaces(const JSONValue& v) { return {renderSpaces(v), ""}; }
Rendered collections(const JSONValue& v) { return {renderCollections(v), ""}; }
Rendered noteSaved(const JSONValue& v) { return {renderNoteSaved(v), ""}; }
Rendered json(const JSONValue& v) { return {renderJSON(v), ""}; }

TEST(RenderingTest, EveryShapeOfResult) {
  const std::string three = R"([{"id":"a","title":"A"},{"id":"b","title":"B"},{"id":"c"}])";
  const std::string lines = "a  A\nb  B\nc  \n";
  Case cases[] = {
      {"total equal", search, R"({"items":)" + three + R"(,"total":3})", lines, "3 items\n"},
      {"total larger", search, R"({"items":)" + three + R"(,"total":10})", lines,
       "3 of 10 items\n"},
      {"total smaller", search, R"({"items":)" + three + R"(,"total":2})", lines, "2 items\n"},
      {"no total", search, R"({"items":)" + three + "}", lines, "3 items\n"},
      {"total as text", search, R"({"items":)" + three + R"(,"total":"12"})", lines,
       "3 of 12 items\n"},
      {"total unusable", search, R"({"items":[],"total":"many"})", "", "0 items\n"},
      {"no items", search, R"({"total":5})", "", "0 of 5 items\n"},
      {"not an object", search, "null", "", "0 items\n"},
      {"numbers as ids", search, R"({"items":[{"id":42,"title":4.5}]})", "42  4.5\n", "1 items\n"},
      {"tags", search, R"({"items":[{"id":"a","title":"T","tags":["red","ui",3,true]}]})",
       "a  T  #red #ui #3\n", "1 items\n"},
      {"tag as one string", search, R"({"items":[{"id":"a","title":"T","tags":"x"}]})",
       "a  T  #x\n", "1 items\n"},
      {"no tags", search, R"({"items":[{"id":"a","title":"T","tags":[]}]})", "a  T\n", "1 items\n"},
      {"item not an object", search, R"({"items":["a",null]})", "  \n  \n", "2 items\n"},

      {"rule and blank lines", notes,
       R"({"notes":[{"id":"n","title":"Grid","rule":true,"text":"one\n\ntwo\n"}]})",
       "n  Grid  [rule]\n    one\n    two\n", ""},
      {"rule not a bool", notes,
       R"({"notes":[{"id":"n","title":"A","rule":"true"},{"id":"m","title":"B","rule":1}]})",
       "n  A\nm  B\n", ""},
      {"note not an object", notes, R"({"notes":[7,{"id":"x","text":""}]})", "  \nx  \n", ""},
      {"notes missing", notes, R"({"items":[]})", "", ""},

      {"spaces", spaces,
       R"([{"id":"s1","emoji":"🏠","name":"Home"},{"id":"s2","emoji":"","name":"Work"},)"
       R"({"id":"s3","emoji":true},5])",
       "s1  🏠 Home\ns2  Work\ns3  \n  \n", ""},
      {"spaces not an array", spaces, R"({"spaces":[]})", "", ""},

      {"collections", collections,
       R"([{"id":"c","name":"Moodboard","items":12,"space":"Work"},{"id":"d","name":"X"},)"
       R"({"id":"e","name":"Y","items":"3","space":""},{"id":"f","items":2.9,"space":false}])",
       "c  Moodboard  (12 in Work)\nd  X  (0 in ?)\ne  Y  (3 in )\nf    (2 in ?)\n", ""},
      {"collections not an array", collections, "null", "", ""},

      {"saved note", noteSaved, R"({"id":"N1"})", "Saved note N1\n", ""},
      {"saved note without id", noteSaved, "{}", "Saved note \n", ""},
      {"no result", json, "null", "null\n", ""},
  };
  for (const Case& c : cases) {
    Rendered rendered = c.render(JSONValue::decode(c.result));
    EXPECT_EQ(rendered.out, c.out) << c.name;
    EXPECT_EQ(rendered.err, c.err) << c.name;
  }
}

// Scripts read these lines one per item, so a line break inside a name must not start another.
TEST(RenderingTest, SingleLineFieldsStayOnOneLine) {
  Case cases[] = {
      {"search", search,
       R"({"items":[{"id":"a","title":"Red\nlounge\r\nchair\tseat","tags":["x\ny","z\u2028w"]}]})",
       "a  Red lounge chair seat  #x y #z w\n", "1 items\n"},
      {"every vertical space", search,
       R"({"items":[{"id":"a\n","title":"1\u000b2\f3\r4\u00855\u20286\u20297\n\n8"}]})",
       "a   1 2 3 4 5 6 7  8\n", "1 items\n"},
      {"notes", notes,
       R"({"notes":[{"id":"n","title":"Grid\r\nrules","rule":true,"text":"one\ntwo\tcols"}]})",
       "n  Grid rules  [rule]\n    one\n    two\tcols\n", ""},
      {"spaces", spaces, R"([{"id":"s","emoji":"🏠\n","name":"Home\nWork"}])", "s  🏠  Home Work\n",
       ""},
      {"collections", collections,
       R"([{"id":"c","name":"Mood\nboard","items":2,"space":"Work\r\nshop"}])",
       "c  Mood board  (2 in Work shop)\n", ""},
      {"saved note", noteSaved, R"({"id":"N\n1"})", "Saved note N 1\n", ""},
  };
  for (const Case& c : cases) {
    Rendered rendered = c.render(JSONValue::decode(c.result));
    EXPECT_EQ(rendered.out, c.out) << c.name;
    EXPECT_EQ(rendered.err, c.err) << c.name;
  }
}

TEST(RenderingTest, TerminalSafeReplacesControlsOnly) {
  struct {
    std::string text, safe;
  } cases[] = {
      {"plain é 🏠\tand\nlines", "plain é 🏠\tand\nlines"},
      {"\x1b]0;owned\x07title", "\xEF\xBF\xBD]0;owned\xEF\xBF\xBDtitle"},
      {"a\rb\x7f",
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
      {"\xC2\x9B"
       "2J\xC2\xA0",
       "\xEF\xBF\xBD"
       "2J\xC2\xA0"},  // C1 CSI goes, no-break space stays
      {"\x9B"
       "2J\xFF",
       "\xEF\xBF\xBD"
       "2J\xEF\xBF\xBD"},                              // not UTF-8
      {"\xE2\x82", "\xEF\xBF\xBD"},                    // cut short: one character
      {"\xE2\x80\xAEgpj.exe", "\xEF\xBF\xBDgpj.exe"},  // right-to-left override
      {"\xE2\x81\xA7x\xE2\x81\xA9\xE2\x80\x8F",
       "\xEF\xBF\xBDx\xEF\xBF\xBD\xE2\x80\x8F"},  // isolates go, marks stay
  };
  for (const auto& c : cases) EXPECT_EQ(terminalSafe(c.text), c.safe) << c.text;
}

// Escapes only inside strings, so the text still decodes to the same value.
TEST(RenderingTest, TerminalSafeJSONEscapesWhatTerminalsObey) {
  const std::string value =
      "\x7F\xC2\x85\xC2\x9B\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9 é 🏠 \xE2\x80\x8F";
  JSONValue original{wire::JSONObject{{value, wire::JSONArray{value, 7}}}};
  std::string safe = terminalSafeJSON(original.prettyText());
  EXPECT_EQ(JSONValue::decode(safe), original);
  const std::string escaped = R"("\u007f\u0085\u009b\u202a\u202e\u2066\u2069 é 🏠 )"
                              "\xE2\x80\x8F\"";
  EXPECT_EQ(safe, "{\n  " + escaped + " : [\n    " + escaped + ",\n    7\n  ]\n}");
}

}  // namespace
}  // namespace nolt::commands
