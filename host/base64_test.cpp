#include "host/base64.h"

#include <gtest/gtest.h>

namespace nolt::host {
namespace {

TEST(Base64Test, RoundTripsEveryLength) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << i;
    bytes += static_cast<char>(i * 37);
  }
  EXPECT_EQ(base64Encode("hello"), "aGVsbG8=");
}

TEST(Base64Test, RefusesWhatIsNotBase64) {
  for (std::string text : {"a", "aGk=a", "aGk===", "a-b_", "aGVsbG8=\x01", "abc=="})
    EXPECT_EQ(base64Decode(text), std::nullopt) << text;
  EXPECT_EQ(base64Decode("aGVs\nbG8="), "hello");
  EXPECT_EQ(base64Decode("aGVsbG8"), "hello");
}

}  // namespace
}  // namespace nolt::host
