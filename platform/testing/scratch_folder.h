// platform/testing/scratch_folder.h - a folder for the files of a fuzz target that lives for
// the whole run: made under $TMPDIR (else /tmp) at first use, removed with everything in it
// when the run ends (a crash leaves it, beside the crash's own input).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace nolt::platform::testing {

class ScratchFolder {
 public:
  explicit ScratchFolder(const char* name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base && base[0] == '/' ? base : "/tmp") + "/" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace nolt::platform::testing
