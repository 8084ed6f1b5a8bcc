#include "platform/careful_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace nolt::platform {

namespace {

// Reads go in pieces of this size, so a file is never asked for more than it may hold.
constexpr std::size_t kChunkBytes = 1 << 16;
// Deeper folders than this in a tree being removed are left for the next start.
constexpr int kMaxRemoveDepth = 64;
constexpr std::string_view kTemporaryMark = ".tmp-";

[[noreturn]] void failAt(const std::string& path, std::string_view step, int error) {
  throw std::system_error(error, std::generic_category(), std::string(step) + " " + path);
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

UniqueFD keepIfRegular(UniqueFD file, struct stat& status) {
  if (!file) return file;
  if (::fstat(file.get(), &status) != 0) return UniqueFD();
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    return UniqueFD();
  }
  return file;
}

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

// The error of a failed mkdir tells more than the ENOENT of opening what it did not make: a
// full disk, a failing one, a read-only folder.
UniqueFD openMade(UniqueFD folder, int mkdirError) {
  if (!folder && errno == ENOENT && mkdirError != 0) errno = mkdirError;
  return folder;
}

int mkdirError(int result) { return result == 0 || errno == EEXIST ? 0 : errno; }

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

UniqueFD openFolder(const std::string& path, bool create) {
  int error = 0;
  if (create) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
      if (int made = mkdirError(::mkdir(path.substr(0, slash).c_str(), 0700)); !error) error = made;
    if (int made = mkdirError(::mkdir(path.c_str(), 0700)); !error) error = made;
  }
  return openMade(UniqueFD(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                  error);
}

UniqueFD openFolder(int folder, const std::string& name, bool create) {
  int error = create ? mkdirError(::mkdirat(folder, name.c_str(), 0700)) : 0;
  return openMade(
      UniqueFD(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
      error);
}

UniqueFD openRegularFile(int folder, const std::string& name, struct stat& status) {
  return keepIfRegular(
      UniqueFD(::openat(folder, name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)),
      status);
}

UniqueFD openRegularFile(const std::string& path, struct stat& status) {
  return keepIfRegular(
      UniqueFD(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)),
      status);
}

UniqueFD openNamedFile(const std::string& path, struct stat& status) {
  return keepIfRegular(UniqueFD(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)),
                       status);
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
    if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
      errno = EFBIG;
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::optional<std::string> readRegularFile(const std::string& path, std::uint64_t maxBytes) {
  struct stat status;
  UniqueFD file = openRegularFile(path, status);
  if (!file) return std::nullopt;
  return readAll(file.get(), maxBytes);
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

void removeTree(int folder, const std::string& name) { removeTreeAt(folder, name, 0); }

TemporaryFile::TemporaryFile(int folder, const std::string& name, const std::string& shownPath)
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

TemporaryFile::~TemporaryFile() {
  if (!committed_) ::unlinkat(folder_, temporary_.c_str(), 0);
}

void TemporaryFile::fail(std::string_view step, int error) const {
  failAt(shownPath_, step, error);
}

void TemporaryFile::write(std::string_view bytes) {
  if (!writeAll(fd_.get(), bytes)) fail("Can't write", errno);
}

void TemporaryFile::commit() {
  if (::fsync(fd_.get()) != 0) fail("Can't write", errno);
  fd_ = UniqueFD();
  if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0)
    fail("Can't replace", errno);
  committed_ = true;
}

void writeFileAtomically(int folder, const std::string& name, std::string_view bytes,
                         const std::string& shownPath) {
  TemporaryFile file(folder, name, shownPath);
  file.write(bytes);
  file.commit();
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
  std::size_t slash = path.find_last_of('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  UniqueFD folder = openFolder(parent);
  if (!folder) failAt(parent, "Can't open", errno);
  writeFileAtomically(folder.get(), path.substr(slash + 1), bytes, path);
}

bool isTemporaryName(std::string_view name) {
  std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || mark == 0) return false;
  std::string_view rest = name.substr(mark + kTemporaryMark.size());
  std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || rest.size() - dash - 1 != 8) return false;
  return std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(dash),
                     [](char c) { return c >= '0' && c <= '9'; }) &&
         std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(dash) + 1, rest.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

int removeTemporaryFiles(int folder) {
  int removed = 0;
  forEachEntry(folder, 4096, [&](const std::string& name) {
    if (isTemporaryName(name) && ::unlinkat(folder, name.c_str(), 0) == 0) ++removed;
  });
  return removed;
}

void makePrivate(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) return;
  if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) return;
  UniqueFD file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file || ::fstat(file.get(), &status) != 0) return;
  if (status.st_uid != ::geteuid() || (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)))
    return;
  if (status.st_mode & 077) ::fchmod(file.get(), status.st_mode & 0700);
}

}  // namespace nolt::platform
