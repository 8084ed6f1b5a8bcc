// host/library_folder.h - the folder that holds the library (library.sqlite and Files/), and
// what is settled about it before the database opens: that one host serves it, and that a
// missing database beside stored files is damage, not a fresh start.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "host/library.h"
#include "platform/careful_files.h"

namespace nolt::host {

// The library can't be served; what() says why and names the folder, for a person to read.
class LibraryFolderError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An exclusive flock on <folder>/library.lock for the host's whole life, whatever runtime
// folder the host found: two hosts of one user can see different runtime folders (another
// XDG_RUNTIME_DIR) yet the same library. Throws LibraryFolderError when another host holds it
// or the lock can't be made.
platform::UniqueFD lockLibraryFolder(const std::filesystem::path& folder);

// Throws LibraryFolderError when the database is missing or empty while Files/ holds stored
// files: a new library started there would know none of them. Only a folder without stored
// files starts a new library.
void checkLibraryIntact(const std::filesystem::path& folder);

// The library at `database`; on a disk too full for SQLite's shared-memory file, opened as
// its only connection (`alone`), so that it still answers and writes again once there is
// room. Throws StoreError.
struct OpenedLibrary {
  std::unique_ptr<Library> library;
  bool alone = false;
};
OpenedLibrary openLibrary(const std::filesystem::path& database);

// SQLite gives the -wal and -shm files beside `database` the database's own mode, so a run on a
// read-only database leaves them read-only too, and they would block every later start once
// the database is writable again. Ours are made 0600 again whenever the database is writable
// by us.
void keepCompanionsWritable(const std::filesystem::path& database);

}  // namespace nolt::host
