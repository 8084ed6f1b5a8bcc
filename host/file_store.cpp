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

namespace {

// Copies and reads go in pieces of this size, so no file is held whole to move it.
constexpr std::size_t kChunkBytes = 1 << 16;
// Deeper folders than this in a tree being removed are left for the next start.
constexpr int kMaxRemoveDepth = 64;

[[noreturn]] void failAt(const fs::path& path, std::string_view step, int error) {
  throw std::system_error(error, std::generic_category(), std::string(step) + " " + path.string());
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A file made under a fresh name beside its final one, put in place by commit(); until then
// it goes again when this goes.
class TemporaryFile {
 public:
  TemporaryFile(int folder, const std::string& name, const fs::path& shownPath)
      : folder_(folder), name_(name), shownPath_(shownPath) {
    static std::random_device entropy;
    // Another program may have put anything at a name it guessed: O_EXCL refuses it, and
    // another name is tried.
    for (int attempt = 0; !fd_; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".tmp-%d-%08x", static_cast<int>(getpid()), entropy());
      temporary_ = name + suffix;
      fd_ = UniqueFD(::openat(folder, temporary_.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (!fd_ && (errno != EEXIST || attempt == 100)) failAt(shownPath, "Can't create", errno);
    }
  }
  ~TemporaryFile() {
    if (!committed_) ::unlinkat(folder_, temporary_.c_str(), 0);
  }

  int fd() const { return fd_.get(); }
  void fail(std::string_view step, int error) { failAt(shownPath_, step, error); }
  // Flushes the file to disk and renames it over the final name; a link there is replaced.
  void commit() {
    if (::fsync(fd_.get()) != 0) fail("Can't write", errno);
    fd_ = UniqueFD();
    if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0)
      fail("Can't replace", errno);
    committed_ = true;
  }

 private:
  int folder_;
  std::string name_;
  fs::path shownPath_;
  std::string temporary_;
  UniqueFD fd_;
  bool committed_ = false;
};

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

UniqueFD& UniqueFD::operator=(UniqueFD&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFD::~UniqueFD() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFD openFolder(const fs::path& path, bool create) {
  if (create) {
    fs::path prefix;
    for (const fs::path& part : path) {
      prefix /= part;
      ::mkdir(prefix.c_str(), 0700);
    }
  }
  return UniqueFD(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFD openFolder(int folder, const std::string& name, bool create) {
  if (create) ::mkdirat(folder, name.c_str(), 0700);
  return UniqueFD(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFD openRegularFile(int folder, const std::string& name, struct stat& status) {
  UniqueFD file(
      ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file) return file;
  if (::fstat(file.get(), &status) != 0) return UniqueFD();
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    return UniqueFD();
  }
  return file;
}

std::optional<std::string> readAll(int fd, std::uint64_t maxBytes) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) > maxBytes)
    return std::nullopt;
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(status.st_size));
  char buffer[kChunkBytes];
  for (;;) {
    ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    // A file that grew after it was measured is still held to the limit.
    if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) return std::nullopt;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::vector<std::string> entryNames(int folder, std::size_t limit) {
  std::vector<std::string> names;
  DIR* directory = ::fdopendir(::dup(folder));
  if (!directory) return names;
  ::rewinddir(directory);  // the duplicate shares its position with `folder`
  while (names.size() < limit) {
    const dirent* entry = ::readdir(directory);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

void forEachEntry(int folder, std::size_t batch,
                  const std::function<void(const std::string& name)>& visit) {
  DIR* directory = ::fdopendir(::dup(folder));
  if (!directory) return;
  ::rewinddir(directory);
  std::vector<std::string> names;
  for (bool more = true; more;) {
    names.clear();
    while (names.size() < batch) {
      const dirent* entry = ::readdir(directory);
      if (!entry) {
        more = false;
        break;
      }
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) visit(name);
  }
  ::closedir(directory);
}

namespace {

void removeTreeAt(int folder, const std::string& name, int depth) {
  if (::unlinkat(folder, name.c_str(), 0) == 0 || errno == ENOENT) return;
  if (depth >= kMaxRemoveDepth) return;
  // Only a real folder is entered; a link is removed above as the link it is.
  UniqueFD inner = openFolder(folder, name);
  if (!inner) return;
  // A few rounds of bounded lists, so a folder of millions of names costs no memory to remove.
  for (int round = 0; round < 1000; ++round) {
    std::vector<std::string> names = entryNames(inner.get(), 4096);
    for (const std::string& entry : names) removeTreeAt(inner.get(), entry, depth + 1);
    if (names.size() < 4096) break;
  }
  ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

void removeTree(int folder, const std::string& name) { removeTreeAt(folder, name, 0); }

void writeFileAtomically(int folder, const std::string& name, std::string_view bytes,
                         const fs::path& shownPath) {
  TemporaryFile file(folder, name, shownPath);
  if (!writeAll(file.fd(), bytes)) file.fail("Can't write", errno);
  file.commit();
}

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
  UniqueFD folder = openFolder(path.parent_path());
  if (!folder) failAt(path.parent_path(), "Can't open", errno);
  writeFileAtomically(folder.get(), path.filename().string(), bytes, path);
}

void makePrivate(const fs::path& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) return;
  if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) return;
  UniqueFD file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file || ::fstat(file.get(), &status) != 0) return;
  if (status.st_uid != ::geteuid() || (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)))
    return;
  if (status.st_mode & 077) ::fchmod(file.get(), status.st_mode & 0700);
}

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
  UniqueFD item = openFolder(files.get(), safeName(itemID), true);
  if (!item) failAt(folder_ / itemID, "Can't open", errno);
  return item;
}

fs::path FileStore::save(const std::string& itemID, const std::string& name,
                         std::string_view bytes) {
  UniqueFD folder = itemFolder(itemID);
  fs::path path = pathOf(itemID, name);
  writeFileAtomically(folder.get(), safeName(name), bytes, path);
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
    if (!writeAll(copy.fd(), {buffer, static_cast<std::size_t>(n)}))
      copy.fail("Can't write", errno);
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

int FileStore::removeStrays(const std::function<bool(const std::string& itemID)>& isItem) {
  UniqueFD files = openFolder(folder_);
  if (!files) return 0;
  int removed = 0;
  for (const std::string& id : entryNames(files.get())) {
    if (isItem(id)) continue;
    removeTree(files.get(), id);
    ++removed;
  }
  return removed;
}

}  // namespace nolt::host
