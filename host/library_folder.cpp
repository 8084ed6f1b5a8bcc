#include "host/library_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nolt::host {

namespace fs = std::filesystem;

namespace {

// The files FileStore::receive() makes hold nothing anyone kept.
bool isStoredEntry(const std::string& name) { return !name.starts_with(".incoming-"); }

}  // namespace

platform::UniqueFD lockLibraryFolder(const fs::path& folder) {
  fs::path path = folder / "library.lock";
  platform::UniqueFD lock(
      ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!lock)
    throw LibraryFolderError("Can't lock the library in " + folder.string() + ": " +
                             std::strerror(errno) + ".");
  int rc;
  do {
    rc = ::flock(lock.get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK)
    throw LibraryFolderError("Another Nolt host is serving the library in " + folder.string() +
                             "; one library is served by one host at a time.");
  if (rc != 0)
    throw LibraryFolderError("Can't lock the library in " + folder.string() + ": " +
                             std::strerror(errno) + ".");
  return lock;
}

void checkLibraryIntact(const fs::path& folder) {
  fs::path database = folder / "library.sqlite";
  struct stat status;
  bool missing = ::lstat(database.c_str(), &status) != 0 && errno == ENOENT;
  bool empty = !missing && S_ISREG(status.st_mode) && status.st_size == 0;
  if (!missing && !empty) return;  // SQLite judges the rest, and refuses what it can't read
  platform::UniqueFD files = platform::openFolder((folder / "Files").string());
  if (!files) return;
  for (const std::string& name : platform::entryNames(files.get(), 64))
    if (isStoredEntry(name))
      throw LibraryFolderError(
          "The library's database " + database.string() + " is " + (missing ? "missing" : "empty") +
          ", but " + (folder / "Files").string() +
          " holds stored files. A new library there would lose them, so Nolt won't start: "
          "put back library.sqlite (from a backup), or move " +
          folder.string() + " away to start a new library.");
}

OpenedLibrary openLibrary(const fs::path& database) {
  try {
    return {std::make_unique<Library>(database.string()), false};
  } catch (const StoreError& error) {
    std::string_view text = error.what();
    if (text.find("disk I/O error") == std::string_view::npos &&
        text.find("disk is full") == std::string_view::npos)
      throw;
  }
  return {std::make_unique<Library>(database.string(), Library::Sharing::alone), true};
}

void keepCompanionsWritable(const fs::path& database) {
  struct stat status;
  if (::lstat(database.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_uid != ::geteuid() || !(status.st_mode & S_IWUSR))
    return;
  for (const char* suffix : {"-wal", "-shm"}) {
    std::string companion = database.string() + suffix;
    if (::lstat(companion.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_uid == ::geteuid() && (status.st_mode & 0777) != 0600)
      ::chmod(companion.c_str(), 0600);
  }
}

}  // namespace nolt::host
