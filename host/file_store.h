// host/file_store.h - the files of items, kept beside the database: <folder>/<item id>/<name>,
// and the careful file handling the host uses wherever other programs can put things: the
// shared container is written by programs the host does not control, so nothing there is
// opened through a link, files are created fresh (O_EXCL), and what the host makes is private
// (folders 0700, files 0600).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nolt::host {

// An open file descriptor, closed when it goes.
class UniqueFD {
 public:
  UniqueFD() = default;
  explicit UniqueFD(int fd) : fd_(fd) {}
  UniqueFD(UniqueFD&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFD& operator=(UniqueFD&& other) noexcept;
  ~UniqueFD();

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The folder at `path`, or `name` inside `folder`, never reached through a link at its last
// step; with `create`, made 0700 when missing (and, for a path, its missing parents too).
// Invalid with errno set when it is missing, a link or not a folder.
UniqueFD openFolder(const std::filesystem::path& path, bool create = false);
UniqueFD openFolder(int folder, const std::string& name, bool create = false);
// A regular file inside `folder` opened to read, never through a link and never blocking on a
// pipe; `status` is the opened file's own. Invalid with errno ELOOP for a link, EINVAL for
// anything but a regular file.
UniqueFD openRegularFile(int folder, const std::string& name, struct stat& status);
// The whole of an open file from its start; none when reading fails or it is over `maxBytes`.
std::optional<std::string> readAll(int fd, std::uint64_t maxBytes);
// The names in a folder except "." and "..", sorted; at most `limit` of them.
std::vector<std::string> entryNames(int folder, std::size_t limit = SIZE_MAX);
// Every name in a folder, in sorted batches of `batch`, so a folder of millions of names costs
// no more memory than one batch. `visit` may remove the name it is given.
void forEachEntry(int folder, std::size_t batch,
                  const std::function<void(const std::string& name)>& visit);
// Removes `name` inside `folder` and, for a folder, everything in it, following no link.
void removeTree(int folder, const std::string& name);

// Writes `bytes` to `path` atomically: a fresh temporary file beside it (created O_EXCL, mode
// 0600), flushed to disk, renamed over the name. A link at `path` is replaced, never written
// through. Throws std::system_error naming the path.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
void writeFileAtomically(int folder, const std::string& name, std::string_view bytes,
                         const std::filesystem::path& shownPath);

// Takes group and other permissions off a folder or file of ours that has them: for what the
// host made before it kept its files private. Links, missing files and others' files are left
// alone.
void makePrivate(const std::filesystem::path& path);

// A file of the store's own that receives a file arriving in pieces before its item exists.
// Its name goes with this object; adopt() its descriptor to keep the bytes. A host that stops
// first leaves it to removeStrays().
class IncomingFile {
 public:
  IncomingFile(UniqueFD folder, std::string name, UniqueFD file)
      : folder_(std::move(folder)), name_(std::move(name)), file_(std::move(file)) {}
  ~IncomingFile();
  IncomingFile(const IncomingFile&) = delete;
  IncomingFile& operator=(const IncomingFile&) = delete;

  int fd() const { return file_.get(); }

 private:
  UniqueFD folder_;
  std::string name_;
  UniqueFD file_;
};

class FileStore {
 public:
  explicit FileStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // A name that could leave the item's folder ("..", "a/b", "") becomes "file".
  static std::string safeName(std::string_view name);

  std::filesystem::path pathOf(const std::string& itemID, const std::string& name) const;
  // Writes the bytes through a temporary file and fsync, so a stored file is whole.
  // Throws std::system_error.
  std::filesystem::path save(const std::string& itemID, const std::string& name,
                             std::string_view bytes);
  // Stores an open regular file. It is hard-linked (same disk, no copy) only when it is ours
  // and has no other name, so the library never shares an inode with a file elsewhere; else
  // its bytes are copied in chunks. Either way the stored file is 0600. Throws
  // std::system_error, also when the file holds more than platform::kMaxFileBytes.
  std::filesystem::path adopt(const std::string& itemID, const std::string& name, int source);
  // A fresh, empty, private file to receive into. Throws std::system_error.
  std::unique_ptr<IncomingFile> receive();
  // None when the file is missing, a link, not a regular file or over platform::kMaxFileBytes.
  std::optional<std::string> read(const std::string& itemID, const std::string& name) const;
  void remove(const std::string& itemID);  // the item's folder, quietly
  // Removes the folders of items `isItem` does not know: files linked in by a host that
  // stopped before their item committed. Returns how many went.
  int removeStrays(const std::function<bool(const std::string& itemID)>& isItem);

 private:
  UniqueFD itemFolder(const std::string& itemID);

  std::filesystem::path folder_;
};

}  // namespace nolt::host
