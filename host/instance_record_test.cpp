#include "host/instance_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;

TEST(InstanceRecordTest, OneHostAtATimeLaunchingThenRunning) {
  test_support::TempDir temporary;
  ASSERT_FALSE(temporary.path().empty());
  fs::path folder = temporary.path();
  std::string path = (folder / "app.nolt.Nolt.instance").string();
  auto word = [&] {
    std::string text(16, '\0');
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return std::string("<no record>");
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    return text;
  };
  {
    std::optional<InstanceRecord> first = InstanceRecord::acquire(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(word(), "launching\n");
    EXPECT_FALSE(InstanceRecord::acquire(path));
    first->setRunning();
    EXPECT_EQ(word(), "running\n");
  }
  EXPECT_TRUE(InstanceRecord::acquire(path));  // a record nobody holds is stale
}

}  // namespace
}  // namespace nolt::host
