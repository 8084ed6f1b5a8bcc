#include "host/library_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "host/store_failure.h"
#include "tests/support/temp_dir.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 0777;
}

// A run on a read-only database leaves its -wal and -shm read-only; once the database is
// writable again they must not keep the next start from opening it.
TEST(LibraryFolderTest, CompanionsOfAWritableDatabaseAreMadeWritable) {
  test_support::TempDir temporary;
  fs::path database = fs::path(temporary.path()) / "library.sqlite";
  for (const char* name : {"library.sqlite", "library.sqlite-wal", "library.sqlite-shm"}) {
    std::ofstream(fs::path(temporary.path()) / name) << "x";
    ::chmod((fs::path(temporary.path()) / name).c_str(), 0400);
  }
  keepCompanionsWritable(database);
  EXPECT_EQ(modeOf(database.string() + "-wal"), 0400u);  // the database is still read-only
  ::chmod(database.c_str(), 0600);
  keepCompanionsWritable(database);
  EXPECT_EQ(modeOf(database.string() + "-wal"), 0600u);
  EXPECT_EQ(modeOf(database.string() + "-shm"), 0600u);
}

TEST(LibraryFolderTest, ASecondLockOnTheFolderIsRefused) {
  test_support::TempDir temporary;
  platform::UniqueFD first = lockLibraryFolder(temporary.path());
  EXPECT_TRUE(first);
  EXPECT_THROW(lockLibraryFolder(temporary.path()), LibraryFolderError);
}

// What people read when the disk fails them: what happened, in Nolt's words.
TEST(StoreFailureTest, SaysWhatTheDiskDid) {
  struct Case {
    const char* sqlite;
    const char* says;
  };
  const Case cases[] = {
      {"Library error: database or disk is full", "The disk is full"},
      {"Library error: attempt to write a readonly database", "read-only"},
      {"Library error: disk I/O error", "couldn't read or write its library"},
      {"Library error: no such table: items", "couldn't answer that request"},
  };
  for (const Case& c : cases)
    EXPECT_NE(storeFailureText(StoreError(c.sqlite)).find(c.says), std::string::npos) << c.sqlite;
  std::system_error full(ENOSPC, std::generic_category(), "Can't create /x/Files/ID");
  EXPECT_NE(fileFailureText(full).find("The disk is full"), std::string::npos);
  EXPECT_NE(fileFailureText(full).find("/x/Files/ID"), std::string::npos);
}

}  // namespace
}  // namespace nolt::host
