#include "host/titles.h"

#include <gtest/gtest.h>

#include <string>

namespace nolt::host {
namespace {

TEST(TitleTest, TitlesFromTextAndFileNames) {
  EXPECT_EQ(titleOfText("  first line\nsecond"), "first line");
  EXPECT_EQ(titleOfText(std::string(70, 'a')), std::string(60, 'a') + "…");
  EXPECT_EQ(titleOfText("word " + std::string(30, 'b') + " " + std::string(40, 'c')),
            "word " + std::string(30, 'b') + "…");
  // Sixty characters, however many bytes each takes.
  EXPECT_EQ(titleOfText(std::string(59, 'a') + "é"), std::string(59, 'a') + "é");
  std::string chairs;
  for (int i = 0; i < 70; ++i) chairs += "椅";
  EXPECT_EQ(titleOfText(chairs), chairs.substr(0, 60 * 3) + "…");
  EXPECT_EQ(titleOfText(std::string(60, 'a') + "é"), std::string(60, 'a') + "…");
  EXPECT_EQ(titleOfFileName("Red chair.png"), "Red chair");
  EXPECT_EQ(titleOfFileName(".hidden"), ".hidden");
}

}  // namespace
}  // namespace nolt::host
