#include "platform/wall_clock.h"

#include <gtest/gtest.h>

namespace nolt::platform {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(WallClockTest, ReadingsKeepTheDigitsFilesAlwaysHad) {
  struct Case {
    system_clock::time_point at;
    double since1970;
    double sinceReferenceDate;
  } cases[] = {
      {system_clock::time_point{}, 0, -978307200},
      {sys_days{2001y / January / 1}, 978307200, 0},
      {sys_days{2001y / January / 1} + 1500ms, 978307201.5, 1.5},
      {sys_days{2026y / January / 1} + 123456789ns, 1767225600.1234567, 788918400.1234567},
      {sys_days{1999y / December / 31}, 946598400, -31708800},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(secondsSince1970(c.at), c.since1970) << c.since1970;
    EXPECT_EQ(secondsSinceReferenceDate(c.at), c.sinceReferenceDate) << c.since1970;
  }
}

TEST(WallClockTest, AnyDateReadFromAFileIsAnInstant) {
  // Far beyond what a clock reading holds, as a damaged or hostile file may say.
  for (double seconds : {0.0, 1.5, -2.0, 1e300, -1e300})
    EXPECT_EQ(secondsSince1970(instantSinceReferenceDate(seconds)), seconds + 978307200) << seconds;
}

TEST(WallClockTest, TheSystemClockTellsTheTimeOfDay) {
  system_clock::time_point now = makeSystemWallClock()->now();
  // 2026-01-01T00:00:00Z is 788918400 s after the reference date.
  EXPECT_GT(secondsSinceReferenceDate(now), 788918400);
  EXPECT_LT(secondsSinceReferenceDate(now), 788918400 + 100.0 * 365 * 86400);
}

}  // namespace
}  // namespace nolt::platform
