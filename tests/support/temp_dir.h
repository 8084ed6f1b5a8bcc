// tests/support/temp_dir.h - a scoped temporary folder for a test's files, and reading a file back.
// Every test writes only below one of these; it goes with everything in it, however the test
// ends (an assertion that returns early included).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::test_support {

// A fresh folder under $TMPDIR (else /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when no folder could be made.
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  std::filesystem::path fsPath() const { return path_; }
  // Writes `text` to file(name), creating parent folders; false when that fails.
  bool write(std::string_view name, std::string_view text) const;

 private:
  std::string path_;
};

// Whole contents of a file; none when it cannot be read.
std::optional<std::string> readFile(const std::string& path);

}  // namespace nolt::test_support
