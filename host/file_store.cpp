#include "host/file_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace nolt::host {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void failAt(const fs::path& path, std::string_view step, int error) {
  throw std::system_error(error, std::generic_category(), std::string(step) + " " + path.string());
}

}  // namespace

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
  fs::path temporary = path;
  // Several threads may publish the same file; each writes a temporary file of its own.
  static std::atomic<unsigned> counter{0};
  temporary += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) failAt(temporary, "Can't create", errno);
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int error = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(temporary.c_str());
      failAt(temporary, "Can't write", error);
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    failAt(temporary, "Can't write", error);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    failAt(path, "Can't replace", error);
  }
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

fs::path FileStore::save(const std::string& itemID, const std::string& name,
                         std::string_view bytes) {
  fs::create_directories(folder_ / itemID);
  fs::path path = pathOf(itemID, name);
  writeFileAtomically(path, bytes);
  return path;
}

fs::path FileStore::adopt(const std::string& itemID, const std::string& name,
                          const fs::path& source) {
  fs::create_directories(folder_ / itemID);
  fs::path path = pathOf(itemID, name);
  std::error_code ec;
  fs::remove(path, ec);
  fs::create_hard_link(source, path, ec);
  if (ec) fs::copy_file(source, path, fs::copy_options::overwrite_existing);
  return path;
}

std::optional<std::string> FileStore::read(const std::string& itemID,
                                           const std::string& name) const {
  std::ifstream in(pathOf(itemID, name), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(bytes).str();
}

void FileStore::remove(const std::string& itemID) {
  std::error_code ignored;
  fs::remove_all(folder_ / itemID, ignored);
}

int FileStore::removeStrays(const std::function<bool(const std::string& itemID)>& isItem) {
  int removed = 0;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
    std::string id = entry.path().filename().string();
    if (isItem(id)) continue;
    fs::remove_all(entry.path(), ec);
    ++removed;
  }
  return removed;
}

}  // namespace nolt::host
