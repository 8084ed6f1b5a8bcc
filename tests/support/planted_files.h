// tests/support/planted_files.h - files a test puts in its folder, and what stands at a name
// (the name itself, never what a link there names).
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace nolt::test_support {

// Fails the test when nothing stands at `path`.
inline struct stat linkStatus(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status;
}

// Writes `text` to folder/name, whose parent folder must exist, and gives its path.
inline std::filesystem::path plant(const std::filesystem::path& folder, const std::string& name,
                                   const std::string& text) {
  std::filesystem::path path = folder / name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace nolt::test_support
