#include "host/item_presentation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nolt::host {
namespace {

TEST(IsoDateTest, EveryRecordedNumberIsADateOfFourDigitYears) {
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {1767225600.9, "2026-01-01T00:00:00Z"},
      {-0.5, "1969-12-31T23:59:59Z"},
      {-62135596800, "0001-01-01T00:00:00Z"},
      {-1e300, "0000-01-01T00:00:00Z"},
      {1e300, "9999-12-31T23:59:59Z"},
      {std::nan(""), "0000-01-01T00:00:00Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(isoDate(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace nolt::host
