#include "host/file_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "host/testing/host_fixture.h"
#include "platform/file_types.h"
#include "tests/support/planted_files.h"
#include "tests/support/scoped_umask.h"
#include "tests/support/temp_dir.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using test_support::linkStatus;
using test_support::readFile;

class FileStoreTest : public testing::HostFixture {
 protected:
  fs::path plant(const std::string& name, const std::string& text) {
    return test_support::plant(folder_, name, text);
  }
  UniqueFD openForReading(const fs::path& path) {
    return UniqueFD(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  }

  test_support::ScopedUmask umask_;
};

TEST_F(FileStoreTest, AdoptsASoleFileByLinkAndCopiesAFileWithAnotherName) {
  struct Case {
    const char* name;
    bool otherName;  // the inbox file is also linked from outside the inbox
  } cases[] = {{"sole.pdf", false}, {"shared.pdf", true}};
  for (const Case& c : cases) {
    fs::path source = plant(c.name, std::string("%PDF ") + c.name);
    fs::path outside = folder_ / (std::string("outside-") + c.name);
    if (c.otherName) fs::create_hard_link(source, outside);
    UniqueFD fd = openForReading(source);
    fs::path stored = files_.adopt("A0000000-0000-0000-0000-000000000001", c.name, fd.get());

    struct stat kept = linkStatus(stored), original = linkStatus(source);
    EXPECT_EQ(readFile(stored), std::string("%PDF ") + c.name);
    EXPECT_TRUE(S_ISREG(kept.st_mode)) << c.name;
    EXPECT_EQ(kept.st_mode & 0777, 0600u) << c.name;
    EXPECT_EQ(kept.st_ino == original.st_ino, !c.otherName) << c.name;
    if (c.otherName) {
      EXPECT_EQ(kept.st_nlink, 1u);
      EXPECT_EQ(original.st_nlink, 2u);
      EXPECT_EQ(linkStatus(outside).st_mode & 0777, 0644u);  // the user's file, untouched
    }
  }
}

TEST_F(FileStoreTest, AdoptRefusesAFileOverTheLimit) {
  fs::path big = plant("big.pdf", "");
  fs::resize_file(big, platform::kMaxFileBytes + 1);  // sparse: costs no disk
  fs::create_hard_link(big, folder_ / "second-name.pdf");
  UniqueFD fd = openForReading(big);
  EXPECT_THROW(files_.adopt("A0000000-0000-0000-0000-000000000002", "big.pdf", fd.get()),
               std::system_error);
  EXPECT_FALSE(fs::exists(files_.pathOf("A0000000-0000-0000-0000-000000000002", "big.pdf")));
}

TEST_F(FileStoreTest, ReadGivesOnlyRegularFilesOfTheStore) {
  files_.save("A0000000-0000-0000-0000-000000000003", "kept.png", "IMG 2 2");
  EXPECT_EQ(files_.read("A0000000-0000-0000-0000-000000000003", "kept.png"), "IMG 2 2");
  // A link stored by an older host that adopted whatever the inbox held.
  fs::path outside = plant("passwd", "root:x:0:0");
  fs::create_symlink(outside, files_.pathOf("A0000000-0000-0000-0000-000000000003", "p.pdf"));
  EXPECT_EQ(files_.read("A0000000-0000-0000-0000-000000000003", "p.pdf"), std::nullopt);
  EXPECT_EQ(files_.read("A0000000-0000-0000-0000-000000000009", "kept.png"), std::nullopt);
  EXPECT_EQ(linkStatus(folder_ / "Files" / "A0000000-0000-0000-0000-000000000003").st_mode & 0777,
            0700u);
}

}  // namespace
}  // namespace nolt::host
