#include "platform/careful_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/planted_files.h"
#include "tests/support/scoped_umask.h"
#include "tests/support/temp_dir.h"

namespace nolt::platform {
namespace {

namespace fs = std::filesystem;
using test_support::linkStatus;
using test_support::readFile;

class CarefulFilesTest : public ::testing::Test {
 protected:
  fs::path plant(const std::string& name, const std::string& text) {
    return test_support::plant(folder_, name, text);
  }

  test_support::ScopedUmask umask_;
  test_support::TempDir temporary_;
  fs::path folder_ = temporary_.path();
};

// Each of these must come back at once, with nothing read: a FIFO nobody writes blocks a plain
// open() for ever, and /dev/zero never ends.
TEST_F(CarefulFilesTest, ReadersRefuseWhatIsNotARegularFileWithoutBlocking) {
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", folder_ / "zero");
  fs::create_symlink(plant("real.json", "{}"), folder_ / "link.json");
  fs::create_directories(folder_ / "folder");
  struct stat status;
  for (const char* name : {"fifo", "zero", "link.json", "folder", "missing"}) {
    SCOPED_TRACE(name);
    std::string path = (folder_ / name).string();
    EXPECT_FALSE(readRegularFile(path, 1 << 20));
    EXPECT_FALSE(openRegularFile(path, status));
  }
  // A file a user names may be a link they made; the thing it names must still be a file.
  EXPECT_TRUE(openNamedFile((folder_ / "link.json").string(), status));
  for (const char* name : {"fifo", "zero", "folder"}) {
    SCOPED_TRACE(name);
    errno = 0;
    EXPECT_FALSE(openNamedFile((folder_ / name).string(), status));
    EXPECT_EQ(errno, EINVAL);
  }
}

TEST_F(CarefulFilesTest, AFolderThatCannotBeMadeSaysWhyNotThatItIsMissing) {
  // sysfs refuses new folders even to root, as a full or failing disk would with its own error.
  errno = 0;
  EXPECT_FALSE(openFolder("/sys/nolt-test-folder/inner", true));
  EXPECT_TRUE(errno == EPERM || errno == EACCES) << std::strerror(errno);
  UniqueFD sys = openFolder("/sys");
  ASSERT_TRUE(sys);
  errno = 0;
  EXPECT_FALSE(openFolder(sys.get(), "nolt-test-folder", true));
  EXPECT_TRUE(errno == EPERM || errno == EACCES) << std::strerror(errno);
}

TEST_F(CarefulFilesTest, ReadsStopAtTheirCap) {
  plant("small.json", std::string(100, 'x'));
  plant("large.json", std::string(101, 'x'));
  EXPECT_EQ(readRegularFile((folder_ / "small.json").string(), 100), std::string(100, 'x'));
  EXPECT_FALSE(readRegularFile((folder_ / "large.json").string(), 100));
  // A sparse file of 3 GiB is refused by its size, before a byte of it is held.
  {
    UniqueFD huge(::open((folder_ / "huge.json").c_str(), O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(::ftruncate(huge.get(), 3ll << 30), 0);
  }
  EXPECT_FALSE(readRegularFile((folder_ / "huge.json").string(), kMaxSnapshotBytes));
}

TEST_F(CarefulFilesTest, TemporaryFilesOfAKilledWriterAreFoundAndOnlyThose) {
  fs::create_directories(folder_ / "Widget");
  UniqueFD widget = openFolder((folder_ / "Widget").string());
  for (const char* name : {"widget.json.tmp-123-0a1b2c3d", "A.jpeg.tmp-9-ffffffff"})
    plant(std::string("Widget/") + name, "half");
  for (const char* name : {"widget.json", "A.jpeg", "notes.tmp-x-0a1b2c3d", "a.tmp-1-123",
                           ".tmp-1-0a1b2c3d", "b.tmp--0a1b2c3d"})
    plant(std::string("Widget/") + name, "keep");
  EXPECT_TRUE(isTemporaryName("widget.json.tmp-123-0a1b2c3d"));
  EXPECT_FALSE(isTemporaryName("widget.json"));
  EXPECT_EQ(removeTemporaryFiles(widget.get()), 2);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_ / "Widget"))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"widget.json", "A.jpeg", "notes.tmp-x-0a1b2c3d",
                                         "a.tmp-1-123", ".tmp-1-0a1b2c3d", "b.tmp--0a1b2c3d"}));
}

TEST_F(CarefulFilesTest, WritingAtomicallyReplacesPlantedLinksAndNeverWritesThroughThem) {
  fs::path outside = plant("outside.txt", "secret");
  fs::path target = folder_ / "shared" / "destinations.json";
  fs::create_directories(target.parent_path());
  // Links at every temporary name a writer could guess, and at the file itself.
  for (int n = 0; n < 200; ++n)
    fs::create_symlink(
        outside, target.string() + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(n));
  fs::create_symlink(outside, target);

  writeFileAtomically(target.string(), "{\"spaces\":[]}");
  writeFileAtomically(target.string(), "{\"spaces\":[1]}");

  EXPECT_EQ(readFile(outside), "secret");
  struct stat status = linkStatus(target);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(readFile(target), "{\"spaces\":[1]}");
  // Only the planted links remain beside it: no temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 201);
}

TEST_F(CarefulFilesTest, WritingIntoAFolderThatIsALinkFails) {
  fs::create_directories(folder_ / "elsewhere");
  fs::create_symlink(folder_ / "elsewhere", folder_ / "Widget");
  EXPECT_THROW(writeFileAtomically((folder_ / "Widget" / "widget.json").string(), "{}"),
               std::system_error);
  EXPECT_TRUE(fs::is_empty(folder_ / "elsewhere"));
}

TEST_F(CarefulFilesTest, MakePrivateTightensOnlyWhatItIsGiven) {
  fs::create_directories(folder_ / "Library");
  fs::path database = plant("Library/library.sqlite", "db");
  fs::path outside = plant("notes.txt", "the user's");
  fs::create_symlink(outside, folder_ / "Library" / "library.sqlite-wal");
  for (const char* name : {"Library", "Library/library.sqlite", "Library/library.sqlite-wal",
                           "Library/library.sqlite-shm"})
    makePrivate((folder_ / name).string());
  EXPECT_EQ(linkStatus(folder_ / "Library").st_mode & 0777, 0700u);
  EXPECT_EQ(linkStatus(database).st_mode & 0777, 0600u);
  EXPECT_EQ(linkStatus(outside).st_mode & 0777, 0644u);
  EXPECT_FALSE(fs::exists(folder_ / "Library" / "library.sqlite-shm"));
}

TEST_F(CarefulFilesTest, RemoveTreeRemovesLinksNotWhatTheyPointAt) {
  fs::create_directories(folder_ / "outside" / "deep");
  plant("outside/deep/keep.txt", "keep");
  fs::create_directories(folder_ / "trash" / "capture" / "sub");
  plant("trash/capture/sub/a.txt", "a");
  fs::create_symlink(folder_ / "outside", folder_ / "trash" / "capture" / "link");
  fs::create_symlink(folder_ / "outside" / "deep" / "keep.txt",
                     folder_ / "trash" / "capture" / "f");
  UniqueFD trash = openFolder((folder_ / "trash").string());
  removeTree(trash.get(), "capture");
  EXPECT_FALSE(fs::exists(folder_ / "trash" / "capture"));
  EXPECT_EQ(readFile(folder_ / "outside" / "deep" / "keep.txt"), "keep");
}

TEST_F(CarefulFilesTest, EveryEntryIsVisitedInBatchesEvenWhileBeingRemoved) {
  fs::create_directories(folder_ / "inbox");
  for (int i = 0; i < 2500; ++i) std::ofstream(folder_ / "inbox" / std::to_string(i));
  UniqueFD inbox = openFolder((folder_ / "inbox").string());
  std::set<std::string> seen;
  std::string last;
  int unordered = 0;
  forEachEntry(inbox.get(), 1000, [&](const std::string& name) {
    if (seen.size() % 1000 != 0 && name < last) ++unordered;  // sorted within each batch
    last = name;
    seen.insert(name);
    ::unlinkat(inbox.get(), name.c_str(), 0);
  });
  EXPECT_EQ(seen.size(), 2500u);
  EXPECT_EQ(unordered, 0);
  EXPECT_TRUE(fs::is_empty(folder_ / "inbox"));
}

}  // namespace
}  // namespace nolt::platform
