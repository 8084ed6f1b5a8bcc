// platform/careful_files.h - the careful file layer: how every program opens, reads and writes
// files it did not make itself in this run (the shared container, the runtime folder, files a
// user names). Other programs, and other users, can put anything at those names: a link, a
// FIFO that blocks an open() for ever, a device that never ends, a file of gigabytes, or a
// file swapped for one of those between a check and the open. So:
//   - nothing is opened through a link at its last step (links users name themselves aside);
//   - every open is O_NONBLOCK, and the type is checked on the open descriptor, not the name;
//   - every read has a cap that suits the file, and stops there even when the file grows;
//   - files are created fresh (O_EXCL) under a temporary name and renamed into place.
// Nothing here throws except writeFileAtomically; "none" is an invalid descriptor or an
// empty optional, with errno saying why.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nolt::platform {

// Caps on what a reader takes of each shared file; a file over its cap reads as none.
// destinations.json: every space and collection; a library of 10,000 collections is ~3 MB.
inline constexpr std::uint64_t kMaxDestinationsBytes = 16ull * 1024 * 1024;
// Widget/widget.json: at most 500 items of a few hundred bytes each.
inline constexpr std::uint64_t kMaxSnapshotBytes = 8ull * 1024 * 1024;
// A thumbnail in Widget/: a JPEG of a few hundred pixels.
inline constexpr std::uint64_t kMaxThumbnailBytes = 8ull * 1024 * 1024;
// A capture's request.json, as the host takes it (a note or a text travels inside it).
inline constexpr std::uint64_t kMaxCaptureRequestBytes = 16ull * 1024 * 1024;

// An open file descriptor, closed when it goes.
class UniqueFD {
 public:
  UniqueFD() = default;
  explicit UniqueFD(int fd) : fd_(fd) {}
  UniqueFD(UniqueFD&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFD& operator=(UniqueFD&& other) noexcept;
  ~UniqueFD();

  int get() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The folder at `path`, or `name` inside `folder`, never reached through a link at its last
// step; with `create`, made 0700 when missing (and, for a path, its missing parents too).
// Invalid with errno set when it is missing, a link or not a folder.
UniqueFD openFolder(const std::string& path, bool create = false);
UniqueFD openFolder(int folder, const std::string& name, bool create = false);

// A regular file inside `folder` opened to read, never through a link and never blocking on a
// pipe; `status` is the opened file's own. Invalid with errno ELOOP for a link, EINVAL for
// anything but a regular file.
UniqueFD openRegularFile(int folder, const std::string& name, struct stat& status);
// The same for a path: folders on the way are followed, the last step is not. For files of
// the shared container and the runtime folder.
UniqueFD openRegularFile(const std::string& path, struct stat& status);
// A regular file a user named (a command-line argument, a dropped file): a link the user gave
// is followed, but a FIFO, a device or a folder is refused (EINVAL) without blocking.
UniqueFD openNamedFile(const std::string& path, struct stat& status);

// The whole of an open file from its start; none when reading fails or it is over `maxBytes`.
std::optional<std::string> readAll(int fd, std::uint64_t maxBytes);
// openRegularFile(path) and readAll: the one way to read a file someone else writes.
std::optional<std::string> readRegularFile(const std::string& path, std::uint64_t maxBytes);

// The names in a folder except "." and "..", sorted; at most `limit` of them.
std::vector<std::string> entryNames(int folder, std::size_t limit = SIZE_MAX);
// Every name in a folder, in sorted batches of `batch`, so a folder of millions of names costs
// no more memory than one batch. `visit` may remove the name it is given.
void forEachEntry(int folder, std::size_t batch,
                  const std::function<void(const std::string& name)>& visit);
// Removes `name` inside `folder` and, for a folder, everything in it, following no link.
void removeTree(int folder, const std::string& name);

// A file made under a fresh name beside its final one ("<name>.tmp-<pid>-<random>", O_EXCL,
// 0600), put in place by commit(); until then it goes again when this goes. Throws
// std::system_error naming `shownPath`.
class TemporaryFile {
 public:
  TemporaryFile(int folder, const std::string& name, const std::string& shownPath);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_.get(); }
  [[noreturn]] void fail(std::string_view step, int error) const;
  // Writes all of `bytes`, or fails naming the file.
  void write(std::string_view bytes);
  // Flushes the file to disk and renames it over the final name; a link there is replaced.
  void commit();

 private:
  int folder_;
  std::string name_;
  std::string shownPath_;
  std::string temporary_;
  UniqueFD fd_;
  bool committed_ = false;
};

// Writes `bytes` to `path` atomically: a fresh temporary file beside it (created O_EXCL, mode
// 0600, named "<name>.tmp-<pid>-<random>"), flushed to disk, renamed over the name. A link at
// `path` is replaced, never written through. Throws std::system_error naming the path.
void writeFileAtomically(const std::string& path, std::string_view bytes);
void writeFileAtomically(int folder, const std::string& name, std::string_view bytes,
                         const std::string& shownPath);
// True for a name writeFileAtomically gives its temporary files; what a killed writer leaves.
bool isTemporaryName(std::string_view name);
// Removes the temporary files a killed writer left in `folder`; returns how many went.
int removeTemporaryFiles(int folder);

// Takes group and other permissions off a folder or file of ours that has them: for what was
// made before files were kept private. Links, missing files and others' files are left alone.
void makePrivate(const std::string& path);

}  // namespace nolt::platform
