// The real nolt-host against a shared container that other programs have tampered with: links,
// hard links, pipes, huge files and odd addresses in the inbox, links where the host publishes.
// Each case plants its trap, lets the host take the inbox and checks that nothing outside the
// container changed and nothing outside became part of the library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "capture/inbox.h"
#include "platform/command_port.h"
#include "platform/file_types.h"
#include "platform/identifiers.h"
#include "platform/testing/test_environment.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"
#include "tests/host/host_process.h"
#include "tests/host/real_host_test.h"
#include "tests/support/deadline.h"
#include "tests/support/scoped_umask.h"
#include "tests/support/test_host_process.h"
#include "wire/cli_records.h"

namespace nolt::host_tests {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using test_support::readFile;
using wire::JSONValue;

struct stat linkStatus(const fs::path& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status;
}

unsigned modeOf(const fs::path& path) { return linkStatus(path).st_mode & 0777; }

// A sparse file: no disk taken, but reading it whole would take its size in memory.
void sparse(const fs::path& path, std::uintmax_t size) {
  std::ofstream(path).close();
  fs::resize_file(path, size);
}

// What can be seen of a file without following it: enough to tell any change.
struct FileState {
  mode_t mode;
  nlink_t links;
  off_t size;
  std::string text;  // small regular files and link targets
  friend bool operator==(const FileState&, const FileState&) = default;
};

std::map<std::string, FileState> stateOf(const fs::path& folder) {
  std::map<std::string, FileState> state;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat status = linkStatus(entry.path());
    FileState file{status.st_mode, status.st_nlink, status.st_size, {}};
    if (S_ISREG(status.st_mode) && status.st_size < 65536)
      file.text = readFile(entry.path()).value_or("");
    if (S_ISLNK(status.st_mode)) file.text = fs::read_symlink(entry.path());
    state[entry.path()] = file;
  }
  return state;
}

class HostileContainerTest : public RealHostTest {
 protected:
  HostileContainerTest() {
    std::ofstream(outside_ / "passwd") << "root:x:0:0:root:/root:/bin/sh\n";
    std::ofstream(outside_ / "notes.txt") << "the user's own notes\n";
    fs::create_directories(inbox());
  }

  fs::path inbox() const { return container() / "Incoming"; }
  fs::path rejected(const fs::path& capture) const {
    return container() / "Rejected" / capture.filename();
  }
  std::string reasonFor(const fs::path& capture) const {
    fs::path reason = rejected(capture) / "reason.txt";
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(reason))) << reason;
    return readFile(reason).value_or("");
  }

  fs::path capture(IncomingRequest request, const capture::Payload* payload = nullptr) {
    request.createdAt = platform::secondsSinceReferenceDate(std::chrono::system_clock::now());
    return capture::writeCapture(inbox(), *uuids_, request, payload);
  }
  fs::path fileCapture(const std::string& name) {
    IncomingRequest request;
    request.kind = IncomingRequest::Kind::file;
    request.fileName = name;
    return capture(request);
  }

  // Starts the host and waits until it has taken everything from the inbox.
  void importInbox() {
    startHost();
    // A taken capture leaves the inbox by a rename into Library/Removing, and is deleted
    // there right after.
    fs::path removing = container() / "Library" / "Removing";
    auto taken = [&] {
      std::error_code error;
      return fs::is_empty(inbox()) &&
             (!fs::exists(removing, error) || fs::is_empty(removing, error));
    };
    EXPECT_TRUE(test_support::waitUntil(30, taken)) << "the host left captures in the inbox";
  }

  JSONValue itemCount() { return *ask("search", {{"limit", 200}}).subscript("total"); }

  // Every stored file is a regular, private file of the library's own: one name, an inode no
  // file outside has.
  std::vector<fs::path> storedFiles() {
    std::vector<fs::path> stored;
    fs::path files = container() / "Library" / "Files";
    if (!fs::exists(files)) return stored;
    std::set<ino_t> outsideInodes;
    for (const auto& entry : fs::recursive_directory_iterator(outside_))
      outsideInodes.insert(linkStatus(entry.path()).st_ino);
    for (const auto& entry : fs::recursive_directory_iterator(files)) {
      struct stat status = linkStatus(entry.path());
      if (S_ISDIR(status.st_mode)) continue;
      stored.push_back(entry.path());
      EXPECT_TRUE(S_ISREG(status.st_mode)) << entry.path();
      EXPECT_EQ(status.st_nlink, 1u) << entry.path();
      EXPECT_EQ(status.st_mode & 0777, 0600u) << entry.path();
      EXPECT_FALSE(outsideInodes.count(status.st_ino)) << entry.path();
    }
    return stored;
  }

  std::unique_ptr<platform::UUIDSource> uuids_ = platform::makeRandomUUIDSource();
};

TEST_F(HostileContainerTest, AReasonFileThatIsALinkIsNotWrittenThrough) {
  auto before = stateOf(outside_);
  fs::path folder = inbox() / "A0000000-0000-0000-0000-000000000001";
  fs::create_directories(folder);
  std::ofstream(folder / "request.json") << "{\"kind\":";
  fs::create_symlink(outside_ / "passwd", folder / "reason.txt");
  importInbox();
  EXPECT_EQ(stateOf(outside_), before);
  EXPECT_EQ(reasonFor(folder), "request.json isn't a capture request this host can read.\n");
}

TEST_F(HostileContainerTest, PublishedFilesReplaceLinksPlantedAtTheirNames) {
  auto before = stateOf(outside_);
  fs::create_directories(container() / "Widget");
  fs::create_symlink(outside_ / "passwd", container() / "destinations.json");
  fs::create_symlink(outside_ / "notes.txt", container() / "Widget" / "widget.json");
  startHost();
  // Links at the temporary names a writer using its process id and a counter would pick.
  for (int n = 0; n < 64; ++n)
    for (const char* name : {"destinations.json", "Widget/widget.json"})
      fs::create_symlink(outside_ / "passwd",
                         container() / (std::string(name) + ".tmp-" + std::to_string(host_->pid()) +
                                        "-" + std::to_string(n)));
  ask("add_link", {{"url", "https://example.com/published"}});  // publishes again
  host_->stop();
  EXPECT_EQ(stateOf(outside_), before);
  for (const char* name : {"destinations.json", "Widget/widget.json"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(container() / name))) << name;
    EXPECT_EQ(modeOf(container() / name), 0600u) << name;
  }
  EXPECT_NE(
      readFile(container() / "Widget" / "widget.json").value_or("").find("example.com/published"),
      std::string::npos);
}

TEST_F(HostileContainerTest, LinksInTheInboxAreSetAsideNotFollowed) {
  // A capture folder elsewhere, reached through a link in the inbox.
  fs::create_directories(outside_ / "capture");
  std::ofstream(outside_ / "capture" / "request.json")
      << R"({"kind":"file","fileName":"notes.pdf","tags":[],"note":"","createdAt":0})";
  std::ofstream(outside_ / "capture" / "notes.pdf") << "%PDF private";
  auto before = stateOf(outside_);
  fs::path linkedFolder = inbox() / "A0000000-0000-0000-0000-000000000002";
  fs::create_symlink(outside_ / "capture", linkedFolder);
  fs::path linkedFile = fileCapture("passwd.pdf");
  fs::create_symlink(outside_ / "passwd", linkedFile / "passwd.pdf");

  importInbox();
  EXPECT_EQ(itemCount(), JSONValue(0));
  EXPECT_EQ(stateOf(outside_), before);
  EXPECT_TRUE(storedFiles().empty());
  EXPECT_EQ(reasonFor(linkedFolder), "The capture is a link, not a folder.\n");
  EXPECT_EQ(reasonFor(linkedFile), "The capture's file passwd.pdf is a link, not a file.\n");
}

TEST_F(HostileContainerTest, APayloadWithANameOutsideIsCopied) {
  fs::path scan = outside_ / "scan.pdf";
  std::ofstream(scan) << "%PDF the user's scan";
  auto before = stateOf(outside_);
  fs::create_hard_link(scan, fileCapture("scan.pdf") / "scan.pdf");

  importInbox();
  EXPECT_EQ(itemCount(), JSONValue(1));
  EXPECT_EQ(stateOf(outside_), before);
  std::vector<fs::path> stored = storedFiles();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(readFile(stored[0]), "%PDF the user's scan");
}

TEST_F(HostileContainerTest, PayloadsOverTheLimitAreSetAsideUnread) {
  fs::path picture = fileCapture("huge.png");
  fs::path document = fileCapture("huge.pdf");
  sparse(picture / "huge.png", 1ull << 30);
  sparse(document / "huge.pdf", 4ull << 30);
  fs::path limit = fileCapture("limit.pdf");
  sparse(limit / "limit.pdf", platform::kMaxFileBytes);

  importInbox();
  EXPECT_EQ(reasonFor(picture), "The capture's file huge.png is over 200 MB.\n");
  EXPECT_EQ(reasonFor(document), "The capture's file huge.pdf is over 200 MB.\n");
  EXPECT_EQ(itemCount(), JSONValue(1));  // exactly the limit is taken
  std::ifstream status("/proc/" + std::to_string(host_->pid()) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmHWM:")) {
      EXPECT_LT(std::stol(line.substr(6)), 512 * 1024) << line;  // kB
    }
  EXPECT_EQ(storedFiles().size(), 1u);
}

TEST_F(HostileContainerTest, TheLibraryIsPrivateWhateverTheUmask) {
  test_support::ScopedUmask umask;
  fs::remove_all(container());
  fs::create_directories(inbox());  // as a capture program makes it: 0755
  capture::Payload payload = capture::Payload::bytes("plan.pdf", "%PDF plan");
  IncomingRequest request;
  request.kind = IncomingRequest::Kind::file;
  request.fileName = "plan.pdf";
  capture(request, &payload);
  importInbox();
  fs::path library = container() / "Library";
  EXPECT_EQ(modeOf(library), 0700u);
  for (const char* name : {"library.sqlite", "library.sqlite-wal", "library.sqlite-shm"})
    EXPECT_EQ(modeOf(library / name), 0600u) << name;
  EXPECT_EQ(storedFiles().size(), 1u);
  host_->stop();

  // A library an older host left readable is tightened; the user's own files stay as they are.
  fs::permissions(library, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(library / "library.sqlite",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  std::ofstream(container() / "mine.txt") << "mine";
  startHost();
  EXPECT_EQ(modeOf(library), 0700u);
  EXPECT_EQ(modeOf(library / "library.sqlite"), 0600u);
  EXPECT_EQ(modeOf(container() / "mine.txt"), 0644u);
}

TEST_F(HostileContainerTest, LinkCapturesMustBeWebAddresses) {
  IncomingRequest link;
  link.kind = IncomingRequest::Kind::link;
  link.url = "javascript:alert(document.cookie)";
  fs::path script = capture(link);
  link.url = "file:///etc/passwd";
  fs::path file = capture(link);
  link.url = "https://example.com/kept";
  capture(link);

  importInbox();
  EXPECT_EQ(itemCount(), JSONValue(1));
  for (const fs::path& folder : {script, file})
    EXPECT_EQ(reasonFor(folder), "The capture's link isn't an http or https address.\n");
}

}  // namespace
}  // namespace nolt::host_tests
