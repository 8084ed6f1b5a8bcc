#include "cli/commands/arguments.h"

#include <gtest/gtest.h>

namespace nolt::commands {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;
using Words = std::vector<std::string>;

TEST(ParseArgumentsTest, SplitsWordsFlagsAndOptions) {
  struct Case {
    Words words;
    Words positionals;
    std::set<std::string, std::less<>> flags;
    Options options;
  } cases[] = {
      {{}, {}, {}, {}},
      {{"--space", "Work", "search", "red", "chair"},
       {"search", "red", "chair"},
       {},
       {{"space", "Work"}}},
      {{"search", "red", "--json", "chair", "--rules"},
       {"search", "red", "chair"},
       {"json", "rules"},
       {}},
      // A dangling option becomes a word, dashes and all.
      {{"search", "red", "--space"}, {"search", "red", "--space"}, {}, {}},
      // The value is taken whatever it looks like.
      {{"--help", "search"}, {}, {}, {{"help", "search"}}},
      {{"--space", "--json", "x"}, {"x"}, {}, {{"space", "--json"}}},
      // No "=" form, no single dash, "--" is an option with the empty name.
      {{"--limit=5", "6", "-h"}, {"-h"}, {}, {{"limit=5", "6"}}},
      {{"--", "a", "b"}, {"b"}, {}, {{"", "a"}}},
      {{"--rule", "--rule"}, {}, {"rule"}, {}},
      {{"--tag", "a", "--tag", ""}, {}, {}, {{"tag", "a"}, {"tag", ""}}},
  };
  for (const Case& c : cases) {
    ParsedArguments parsed = parseArguments(c.words);
    EXPECT_EQ(parsed.positionals, c.positionals);
    EXPECT_EQ(parsed.flags, c.flags);
    EXPECT_EQ(parsed.options, c.options);
  }
}

TEST(ParseArgumentsTest, LastOptionWinsAndAllOptionsKeepsOrder) {
  ParsedArguments parsed =
      parseArguments({"--space", "A", "--tag", "x", "--space", "B", "--tag", "y", "--tag", "x"});
  EXPECT_EQ(parsed.lastOption("space"), "B");
  EXPECT_EQ(parsed.lastOption("collection"), std::nullopt);
  EXPECT_EQ(parsed.allOptions("tag"), (Words{"x", "y", "x"}));
  EXPECT_EQ(parsed.allOptions("note"), Words{});
}

}  // namespace
}  // namespace nolt::commands
