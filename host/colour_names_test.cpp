#include "host/colour_names.h"

#include <gtest/gtest.h>

#include <string>

namespace nolt::host {
namespace {

TEST(ColourWordTest, NamesColoursAsPeopleDo) {
  struct Case {
    std::string hex, word;
  } cases[] = {{"#000000", "black"}, {"#FFFFFF", "white"},  {"#808080", "grey"},
               {"#D62828", "red"},   {"#F4A261", "orange"}, {"#E9C46A", "yellow"},
               {"#2A9D8F", "teal"},  {"#3A86FF", "blue"},   {"#8338EC", "purple"},
               {"#FF006E", "pink"},  {"#6B4226", "brown"},  {"#87986A", "green"},
               {"red", ""}};
  for (const Case& c : cases) EXPECT_EQ(colourWord(c.hex), c.word) << c.hex;
}

}  // namespace
}  // namespace nolt::host
