#include "host/file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "platform/file_types.h"

namespace nolt::host {

namespace fs = std::filesystem;
using platform::openFolder;
using platform::openRegularFile;
using platform::readAll;
using platform::removeTree;
using platform::TemporaryFile;

namespace {

// The files receive() makes; never an item's id.
constexpr std::string_view kIncomingPrefix = ".incoming-";

// Copies go in pieces of this size, so no file is held whole to move it.
constexpr std::size_t kChunkBytes = 1 << 16;

[[noreturn]] void failAt(const fs::path& path, std::string_view step, int error) {
  throw std::system_error(error, std::generic_category(), std::string(step) + " " + path.string());
}

// Links the open file under `name` when it has no other name; false when it can't or when
// another name appeared meanwhile (the link is taken back then).
bool linkSoleName(int source, int folder, const std::string& name) {
  // The descriptor's own inode, not whatever the capture's name points at by now.
  std::string self = "/proc/self/fd/" + std::to_string(source);
  if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  struct stat status;
  if (::fstat(source, &status) == 0 && status.st_nlink == 2) return true;
  ::unlinkat(folder, name.c_str(), 0);
  return false;
}

}  // namespace

std::string FileStore::safeName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos)
    return "file";
  return std::string(name);
}

fs::path FileStore::pathOf(const std::string& itemID, const std::string& name) const {
  return folder_ / itemID / safeName(name);
}

UniqueFD FileStore::itemFolder(const std::string& itemID) {
  UniqueFD files = openFolder(folder_, true);
  if (!files) failAt(folder_, "Can't open", errno);
  struct stat status;
  if (beforeNewFolder_ &&
      ::fstatat(files.get(), safeName(itemID).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
      errno == ENOENT)
    beforeNewFolder_(itemID);
  // Made here, so a full disk or a failing one is reported as what it is, not as the missing
  // folder the open after it would find.
  if (::mkdirat(files.get(), safeName(itemID).c_str(), 0700) != 0 && errno != EEXIST)
    failAt(folder_ / itemID, "Can't create", errno);
  UniqueFD item = openFolder(files.get(), safeName(itemID), true);
  if (!item) failAt(folder_ / itemID, "Can't open", errno);
  return item;
}

fs::path FileStore::save(const std::string& itemID, const std::string& name,
                         std::string_view bytes) {
  UniqueFD folder = itemFolder(itemID);
  fs::path path = pathOf(itemID, name);
  platform::writeFileAtomically(folder.get(), safeName(name), bytes, path);
  return path;
}

fs::path FileStore::adopt(const std::string& itemID, const std::string& name, int source) {
  UniqueFD folder = itemFolder(itemID);
  std::string stored = safeName(name);
  fs::path path = pathOf(itemID, name);
  struct stat status;
  if (::fstat(source, &status) != 0) failAt(path, "Can't read the file for", errno);
  if (!S_ISREG(status.st_mode)) failAt(path, "Can't store", EINVAL);
  if (static_cast<std::uint64_t>(status.st_size) > platform::kMaxFileBytes)
    failAt(path, "Can't store", EFBIG);
  ::unlinkat(folder.get(), stored.c_str(), 0);
  if (status.st_nlink == 1 && status.st_uid == ::geteuid()) {
    // The file is about to be the library's alone; it is private from now on.
    if (::fchmod(source, 0600) == 0 && linkSoleName(source, folder.get(), stored)) return path;
  }
  TemporaryFile copy(folder.get(), stored, path);
  char buffer[kChunkBytes];
  std::uint64_t copied = 0;
  for (;;) {
    ssize_t n = ::pread(source, buffer, sizeof buffer, static_cast<off_t>(copied));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) copy.fail("Can't read the file for", errno);
    if (n == 0) break;
    copied += static_cast<std::uint64_t>(n);
    if (copied > platform::kMaxFileBytes) copy.fail("Can't store", EFBIG);
    copy.write({buffer, static_cast<std::size_t>(n)});
  }
  copy.commit();
  return path;
}

IncomingFile::~IncomingFile() {
  if (folder_) ::unlinkat(folder_.get(), name_.c_str(), 0);
}

std::unique_ptr<IncomingFile> FileStore::receive() {
  UniqueFD files = openFolder(folder_, true);
  if (!files) failAt(folder_, "Can't open", errno);
  static std::random_device entropy;
  for (int attempt = 0;; ++attempt) {
    char name[48];
    std::snprintf(name, sizeof name, ".incoming-%d-%08x%08x", static_cast<int>(getpid()), entropy(),
                  entropy());
    UniqueFD file(
        ::openat(files.get(), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file) return std::make_unique<IncomingFile>(std::move(files), name, std::move(file));
    if (errno != EEXIST || attempt == 100) failAt(folder_ / name, "Can't create", errno);
  }
}

std::optional<std::string> FileStore::read(const std::string& itemID,
                                           const std::string& name) const {
  UniqueFD files = openFolder(folder_);
  if (!files) return std::nullopt;
  UniqueFD item = openFolder(files.get(), safeName(itemID));
  if (!item) return std::nullopt;
  struct stat status;
  UniqueFD file = openRegularFile(item.get(), safeName(name), status);
  if (!file) return std::nullopt;
  return readAll(file.get(), platform::kMaxFileBytes);
}

void FileStore::remove(const std::string& itemID) {
  if (UniqueFD files = openFolder(folder_)) removeTree(files.get(), safeName(itemID));
}

int FileStore::removeStrays(const std::vector<std::string>& removable,
                            const std::function<bool(const std::string& itemID)>& isItem) {
  UniqueFD files = openFolder(folder_);
  if (!files) return 0;
  platform::forEachEntry(files.get(), 1000, [&](const std::string& name) {
    if (name.starts_with(kIncomingPrefix)) ::unlinkat(files.get(), name.c_str(), 0);
  });
  int removed = 0;
  for (const std::string& id : removable) {
    if (safeName(id) != id || isItem(id)) continue;
    struct stat status;
    if (::fstatat(files.get(), id.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    removeTree(files.get(), id);
    ++removed;
  }
  return removed;
}

}  // namespace nolt::host
