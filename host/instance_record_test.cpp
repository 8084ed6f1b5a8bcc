#include "host/instance_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace nolt::host {
namespace {

namespace fs = std::filesystem;

TEST(InstanceRecordTest, OneHostAtATimeLaunchingThenRunning) {
  char pattern[] = "/tmp/nolt-instance-XXXXXX";
  fs::path folder = mkdtemp(pattern);
  std::string path = (folder / "app.nolt.Nolt.instance").string();
  auto word = [&] {
    std::string text(16, '\0');
    FILE* f = std::fopen(path.c_str(), "r");
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
  fs::remove_all(folder);
}

}  // namespace
}  // namespace nolt::host
