#include "safari/base64.h"

#include <gtest/gtest.h>

namespace nolt::safari {
namespace {

TEST(Base64Test, DecodesOnlyStrictText) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  } cases[] = {
      {"", ""},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QUJDRA==", "ABCD"},
      {"/+8=", "\xFF\xEF"},
      {"QUJD\n", std::nullopt},
      {"QU\r\nJD", std::nullopt},
      {"QU JD", std::nullopt},
      {"QQ", std::nullopt},
      {"QQ=", std::nullopt},
      {"Q===", std::nullopt},
      {"====", std::nullopt},
      {"QQ==QQ==", std::nullopt},
      {"_-8=", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeBase64(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace nolt::safari
