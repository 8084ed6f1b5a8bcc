// The public JSON parser conformance files: y_ must decode, n_ must fail, i_ must not crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "wire/json_value.h"

namespace nolt::wire {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(JSONTestSuiteTest, EveryFileMeetsItsVerdict) {
  fs::path dir = fs::path(NOLT_TESTDATA_DIR) / "JSONTestSuite";
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int counted = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".json") continue;
    std::string text = readAll(entry.path());
    ++counted;
    bool decoded = true;
    try {
      JSONValue v = JSONValue::decode(text);
      // What decodes must survive a round trip through every encoder setting.
      for (auto e : {JSONEncoding::plain, JSONEncoding::stream, JSONEncoding::pretty})
        EXPECT_EQ(JSONValue::decode(v.encode(e)), v) << name;
    } catch (const JSONDecodingError&) {
      decoded = false;
    }
    if (name.starts_with("y_")) {
      EXPECT_TRUE(decoded) << name << " must decode";
    } else if (name.starts_with("n_")) {
      EXPECT_FALSE(decoded) << name << " must fail";
    }
  }
  EXPECT_GT(counted, 300);
}

}  // namespace
}  // namespace nolt::wire
