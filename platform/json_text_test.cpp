#include "platform/json_text.h"

#include <gtest/gtest.h>

namespace nolt::platform::json {
namespace {

TEST(UTF8Test, SequencesAreWholeCharactersOrTheirLongestStart) {
  struct Case {
    std::string bytes;
    std::size_t length;
    bool valid;
  } cases[] = {
      {"a", 1, true},
      {"\xC3\xA9", 2, true},
      {"\xE2\x82\xAC", 3, true},
      {"\xF0\x9F\x8E\xA8", 4, true},
      {"\xF4\x8F\xBF\xBF", 4, true},  // U+10FFFF, the last one
      {"\x80", 1, false},             // a continuation byte alone
      {"\xC0\xAF", 1, false},         // overlong leads are never valid
      {"\xC1\xBF", 1, false},
      {"\xE0\x9F\x80", 1, false},  // overlong three-byte form
      {"\xED\xA0\x80", 1, false},  // a surrogate
      {"\xF0\x8F\xBF\xBF", 1, false},
      {"\xF4\x90\x80\x80", 1, false},  // beyond U+10FFFF
      {"\xF5\x80\x80\x80", 1, false},
      {"\xE2\x82", 2, false},  // cut short by the end
      {"\xE2\x82x", 2, false},
      {"\xF0\x9F\x8E", 3, false},
      {"\xF0\x9F\x8Ex", 3, false},
  };
  for (const Case& c : cases) {
    bool valid = !c.valid;
    EXPECT_EQ(utf8SequenceAt(c.bytes, 0, valid), c.length) << testing::PrintToString(c.bytes);
    EXPECT_EQ(valid, c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(utf8SequenceLength(c.bytes, 0), c.valid ? c.length : 0)
        << testing::PrintToString(c.bytes);
  }
}

TEST(UTF8Test, FirstInvalidByteIsFoundWhereverItSits) {
  // ASCII goes eight bytes at a time: a bad byte or character at every offset around those
  // words, and one cut short by the end.
  for (std::size_t at = 0; at < 20; ++at) {
    std::string ascii(at, 'a');
    EXPECT_EQ(firstInvalidUTF8(ascii + "\xFF" + std::string(20, 'b')), at) << at;
    EXPECT_EQ(firstInvalidUTF8(ascii + "\xE2\x82"), at) << at;
    EXPECT_EQ(firstInvalidUTF8(ascii + "\xE2\x82\xAC" + std::string(9, 'b')), std::string::npos)
        << at;
    EXPECT_EQ(firstInvalidUTF8(ascii + "\xC3\xA9\xC3" + std::string(9, 'b')), at + 2) << at;
  }
  EXPECT_EQ(firstInvalidUTF8(""), std::string::npos);
}

// One rule for every writer: the repaired text, and the same inside a JSON string.
TEST(UTF8Test, OneReplacementPerBrokenSequenceEverywhere) {
  const std::string r = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"plain ascii", "plain ascii"},
      {"caf\xC3\xA9 \xF0\x9F\x8E\xA8", "caf\xC3\xA9 \xF0\x9F\x8E\xA8"},
      {"a\xFF"
       "b",
       "a" + r + "b"},
      {"\xC0\xAF", r + r},  // overlong lead bytes are never valid
      {"\xE2\x82"
       "x",
       r + "x"},                            // a cut-short sequence is one replacement
      {"\xF0\x9F\x8E", r},                  // also at the very end
      {"\xED\xA0\x80", r + r + r},          // a surrogate: the lead cannot go on with A0
      {"\xF4\x90\x80\x80", r + r + r + r},  // beyond U+10FFFF
      {"\x80\x80", r + r},
      {"12345678\xE9", "12345678" + r},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(replaceInvalidUTF8(bytes), text) << ::testing::PrintToString(bytes);
    std::string quoted;
    appendString(quoted, bytes, false);
    EXPECT_EQ(quoted, "\"" + text + "\"") << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace nolt::platform::json
