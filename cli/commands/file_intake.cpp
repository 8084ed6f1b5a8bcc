#include "cli/commands/file_intake.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/url/parse.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "cli/commands/user_database.h"
#include "cli/link/app_connection.h"
#include "platform/base64.h"
#include "platform/careful_files.h"
#include "platform/file_types.h"
#include "wire/cli_records.h"

namespace nolt::commands {

using link::AppConnection;

bool isLinkWord(std::string_view word) {
  auto reference = boost::urls::parse_uri_reference(word);
  if (!reference || !reference->has_scheme()) return false;
  std::string_view scheme = reference->scheme();
  return scheme == "http" || scheme == "https";
}

namespace {

// "~" and "~/x" name our home folder, "~ann/x" a file in ann's; a name no user has is a file
// below the current folder. A NUL byte, which an agent's path may hold, would end the path
// the system is given early and so name another file: no file has such a name.
std::string expandTilde(std::string_view path) {
  if (path.find('\0') != std::string_view::npos)
    throw AppConnection::Failure::app("Can't read " + std::string(path) + ".");
  return expandHome(path, UserDatabase());
}

std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

bool isAcceptedKind(std::string_view name) {
  const platform::FileType* type = platform::typeForExtension(platform::pathExtension(name));
  return type && (type->conforms(platform::kImageType) || type->conforms(platform::kMovieType) ||
                  type->conforms(platform::kPDFType));
}

[[noreturn]] void throwReadError(std::string_view path, int error) {
  throw FileReadError(std::string(path) + ": " + std::strerror(error));
}

// Reads to the end, so a file that grew since it was measured is caught by the limit again.
FileBytes readWhole(int fd, std::size_t expected, std::string_view path, std::string_view name) {
  FileBytes bytes;
  std::size_t capacity = expected + 1;  // one more byte tells a grown file at once
  bytes.data = std::make_unique_for_overwrite<unsigned char[]>(capacity);
  for (;;) {
    if (bytes.size == capacity) {
      if (bytes.size > kMaxFileBytes) break;
      std::size_t larger = capacity * 2;
      auto grown = std::make_unique_for_overwrite<unsigned char[]>(larger);
      std::memcpy(grown.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(grown);
      capacity = larger;
    }
    ssize_t n = read(fd, bytes.data.get() + bytes.size, capacity - bytes.size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwReadError(path, errno);
    if (n == 0) break;
    bytes.size += static_cast<std::size_t>(n);
  }
  if (bytes.size > kMaxFileBytes)
    throw AppConnection::Failure::app(std::string(name) + " is over 200 MB.");
  return bytes;
}

}  // namespace

OpenedFile::~OpenedFile() {
  if (fd >= 0) close(fd);
}

OpenedFile openedFile(std::string_view path, wire::JSONObject arguments) {
  OpenedFile file;
  file.shownPath = path;
  std::string expanded = expandTilde(path);
  // Folders and other non-files have no size to read.
  struct stat status;
  if (stat(expanded.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    throw AppConnection::Failure::app("Can't read " + std::string(path) + ".");
  file.name = lastPathComponent(expanded);
  if (static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes)
    throw AppConnection::Failure::app(file.name + " is over 200 MB.");
  if (!isAcceptedKind(file.name))
    throw AppConnection::Failure::app("Nolt saves images, videos and PDFs; " + file.name +
                                      " isn't one.");
  arguments.erase("path");
  arguments.set("name", file.name);
  file.arguments = std::move(arguments);

  // The file may have been swapped for a FIFO or a device since the look above: the open does
  // not block, and the type is checked again on what was opened.
  platform::UniqueFD opened = platform::openNamedFile(expanded, status);
  if (!opened && errno == EINVAL)
    throw AppConnection::Failure::app("Can't read " + std::string(path) + ".");
  if (!opened) throwReadError(path, errno);
  // The size of what was opened, which is what will be read.
  if (static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes)
    throw AppConnection::Failure::app(file.name + " is over 200 MB.");
  file.size = static_cast<std::uint64_t>(status.st_size);
  file.fd = opened.release();
  posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

CheckedFile checkedFile(std::string_view path, wire::JSONObject arguments) {
  OpenedFile file = openedFile(path, std::move(arguments));
  FileBytes bytes = readWhole(file.fd, static_cast<std::size_t>(file.size), path, file.name);
  return CheckedFile{std::move(file.arguments), std::move(bytes)};
}

wire::JSONObject fileArguments(std::string_view path, wire::JSONObject arguments) {
  CheckedFile file = checkedFile(path, std::move(arguments));
  std::string data = platform::base64::encode(file.bytes.view());
  file.bytes = {};
  file.arguments.set("data", std::move(data));
  return std::move(file.arguments);
}

namespace {

// The request's text before and after the file's Base64 text.
struct RequestShell {
  std::string before, after;
};

RequestShell requestShell(std::string_view command, const wire::JSONObject& fileArguments) {
  // Encode the request with a stand-in for the data, then cut it out. The stand-in is made
  // unique so that no other argument can hold it.
  std::string marker = "nolt-file-data";
  for (;;) {
    wire::JSONObject arguments = fileArguments;
    arguments.set("data", marker);
    std::string shell = wire::CLIRequest{std::string(command), std::move(arguments)}.encode();
    std::size_t at = shell.find(marker);
    if (shell.find(marker, at + 1) == std::string::npos)
      return {shell.substr(0, at), shell.substr(at + marker.size())};
    marker += "-";
  }
}

// Reads the file in chunks, handing each to `take`, until `take` returns false or the file
// ends; reads past the size it was opened at, and throws when it is no longer that size.
template <class Take>
void readChunks(const OpenedFile& file, std::vector<char>& chunk, Take take) {
  std::uint64_t offset = 0;
  for (;;) {
    ssize_t n = pread(file.fd, chunk.data(), chunk.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwReadError(file.shownPath, errno);
    if (n == 0) break;
    offset += static_cast<std::uint64_t>(n);
    if (offset > file.size) break;
    if (!take(std::string_view(chunk.data(), static_cast<std::size_t>(n)))) return;
  }
  if (offset != file.size)
    throw AppConnection::Failure::app(file.name +
                                      " changed while it was being sent; nothing was saved.");
}

}  // namespace

FileRequest::FileRequest(std::string_view command, const OpenedFile& file)
    : file_(file), chunk_(kChunkBytes) {
  RequestShell shell = requestShell(command, file.arguments);
  before_ = std::move(shell.before);
  after_ = std::move(shell.after);
  // The frame gives its length first. The file's text is written as it is, "/" unescaped (a
  // JSON reader takes both forms), so its length follows from the file's size alone.
  dataLength_ = platform::base64::encodedLength(file.size);
  std::uint64_t length = before_.size() + dataLength_ + after_.size();
  if (length > UINT32_MAX) throw AppConnection::Failure::app(file.name + " is over 200 MB.");
  length_ = static_cast<std::uint32_t>(length);
}

void FileRequest::write(const PayloadWriter& write) {
  if (!write(before_)) return;
  platform::base64::Encoder encoder;
  std::string text;
  std::uint64_t written = 0;
  // A file that grew since it was opened would make another length than the frame's: the
  // exchange is abandoned before the text could run past it.
  auto send = [&]() {
    written += text.size();
    if (written > dataLength_)
      throw AppConnection::Failure::app(file_.name +
                                        " changed while it was being sent; nothing was saved.");
    bool ok = write(text);
    text.clear();
    return ok;
  };
  bool connected = true;
  readChunks(file_, chunk_, [&](std::string_view bytes) {
    encoder.add(text, bytes);
    return connected = send();
  });
  if (!connected) return;
  encoder.finish(text);
  if (!send()) return;
  if (written != dataLength_)
    throw AppConnection::Failure::app(file_.name +
                                      " changed while it was being sent; nothing was saved.");
  write(after_);
}

}  // namespace nolt::commands
