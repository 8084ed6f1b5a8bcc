// The real nolt-host where its library or runtime folder was damaged or tampered with: it keeps
// every stored file, refuses what it can't serve safely with a line that says why, and one
// library is served by one host.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "platform/base64.h"
#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/testing/test_environment.h"
#include "tests/host/host_process.h"
#include "tests/host/real_host_test.h"
#include "tests/support/test_host_process.h"
#include "wire/cli_records.h"

namespace nolt::host_tests {
namespace {

namespace fs = std::filesystem;
using wire::JSONValue;

class HostSafetyTest : public RealHostTest {
 protected:
  fs::path library() const { return container() / "Library"; }

  // A host expected to refuse: it must end by itself, quickly.
  Result runHost(const Environment& env) { return runProgram({program()}, env, {}, 20); }

  // Every file under Library/Files with its bytes.
  std::map<std::string, std::string> storedFiles() {
    std::map<std::string, std::string> stored;
    if (!fs::exists(library() / "Files")) return stored;
    for (const auto& entry : fs::recursive_directory_iterator(library() / "Files"))
      if (entry.is_regular_file())
        stored[entry.path()] = test_support::readFile(entry.path()).value_or("");
    return stored;
  }

  // A library of `count` stored files, the host stopped afterwards.
  std::map<std::string, std::string> libraryOfFiles(int count) {
    startHost();
    for (int i = 0; i < count; ++i) {
      std::string bytes = "file " + std::to_string(i);
      // Appended, not added up: GCC 12 takes "f" + std::to_string(i) here for an overlapping
      // copy at -O3.
      std::string name = "f";
      name.append(std::to_string(i)).append(".pdf");
      ask("add_file", {{"name", name}, {"data", platform::base64::encode(bytes)}});
    }
    EXPECT_EQ(host_->stop(), 0);
    host_.reset();
    auto stored = storedFiles();
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(count));
    return stored;
  }
};

void makeForeignDatabase(const fs::path& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE items (name TEXT, price REAL); INSERT INTO items VALUES ('a', 1);",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// Whatever became of the database, no file it stored goes. An emptied or missing database
// beside stored files is damage: the host says so, naming the folder, and does not start.
TEST_F(HostSafetyTest, ADamagedDatabaseLosesNoStoredFile) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& database)> damage;
    const char* says;  // part of the refusal; empty when SQLite's own words do
  };
  const Case cases[] = {
      {"emptied", [](const fs::path& db) { fs::resize_file(db, 0); }, "is empty"},
      {"deleted", [](const fs::path& db) { fs::remove(db); }, "is missing"},
      {"truncated", [](const fs::path& db) { fs::resize_file(db, fs::file_size(db) / 2); }, ""},
      {"foreign",
       [](const fs::path& db) {
         fs::remove(db);
         makeForeignDatabase(db);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home_);
    auto stored = libraryOfFiles(3);
    fs::path database = library() / "library.sqlite";
    fs::remove(database.string() + "-wal");
    fs::remove(database.string() + "-shm");
    c.damage(database);
    Result result = runHost(env_);
    EXPECT_NE(result.status, 0) << result.err;
    EXPECT_NE(result.status, -1) << "the host did not end by itself";
    if (*c.says) {
      EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
      EXPECT_NE(result.err.find(library().string()), std::string::npos) << result.err;
    }
    EXPECT_EQ(storedFiles(), stored);
    stopHostsOf(home_);
  }
}

TEST_F(HostSafetyTest, AFreshLibraryStartsOnlyWhereNoFileIsStored) {
  startHost();
  EXPECT_EQ(ask("search", {{"limit", 5}}).subscript("total")->intValue(), 0);
  EXPECT_EQ(host_->stop(), 0);
  host_.reset();
  // A folder of Files with nothing in it holds nothing to lose.
  fs::remove(library() / "library.sqlite");
  fs::create_directories(library() / "Files");
  startHost();
}

// Each tampered runtime folder or record: the host ends non-zero with one line saying why, and
// writes nothing through a link.
TEST_F(HostSafetyTest, AHostThatCannotServeSaysWhyAndFails) {
  fs::path record = fs::path(runtime_) / (std::string(platform::kHostBundleID) + ".instance");
  fs::path target = outside_ / "target";
  struct Case {
    const char* name;
    std::function<std::string()> plant;  // the runtime folder to use
    const char* says;
  };
  const Case cases[] = {
      {"link at the record",
       [&] {
         fs::create_symlink(target, record);
         return runtime_;
       },
       "is a link"},
      {"folder at the record",
       [&] {
         fs::create_directories(record);
         return runtime_;
       },
       "Is a directory"},
      {"runtime folder is a file",
       [&] {
         std::ofstream(outside_ / "plain") << "x";
         return (outside_ / "plain").string();
       },
       "isn't a folder"},
      {"runtime folder others can write",
       [&] {
         ::chmod(runtime_.c_str(), 0777);
         return runtime_;
       },
       "can be written by other users"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(runtime_);
    fs::create_directories(runtime_);
    ::chmod(runtime_.c_str(), 0700);
    std::string runtime = c.plant();
    Result result = runHost(environmentFor(runtime));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    stopHostsOf(home_);
  }
}

TEST_F(HostSafetyTest, OneLibraryIsServedByOneHostWhateverItsRuntimeFolder) {
  startHost();
  // A second host of the same runtime folder leaves it to the first, quietly.
  EXPECT_EQ(runHost(env_).status, 0);
  std::string otherRuntime = dir_.path() + "/run2";
  fs::create_directories(otherRuntime);
  ::chmod(otherRuntime.c_str(), 0700);
  Result second = runHost(environmentFor(otherRuntime));
  EXPECT_EQ(second.status, 1) << second.err;
  EXPECT_NE(second.err.find("Another Nolt host is serving the library"), std::string::npos)
      << second.err;
}

}  // namespace
}  // namespace nolt::host_tests
