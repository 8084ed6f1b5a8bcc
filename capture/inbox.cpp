#include "capture/inbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/careful_files.h"
#include "platform/file_types.h"
#include "platform/identifiers.h"

namespace nolt::capture {

namespace {

[[noreturn]] void fail(int error, std::string_view what, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(),
                          std::string(what) + " \"" + path.string() + "\"");
}

// Closes `fd` now, for a caller that must know whether the last writes reached the file.
int closeNow(platform::UniqueFD& fd) { return ::close(fd.release()); }

void writeAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, "could not write", path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// A fresh name for request.json's temporary file, unique within this process.
std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".request.json." + std::to_string(getpid()) + "." + std::to_string(counter++);
}

}  // namespace

std::filesystem::path newCaptureFolderURL(const std::filesystem::path& inbox,
                                          platform::UUIDSource& uuids) {
  return inbox / uuids.next().uuidString();
}

void createCaptureFolder(const std::filesystem::path& folder) {
  // The inbox is made as needed, but a link planted in its place is never followed: a capture
  // written there would be reported saved and never imported.
  std::filesystem::path inbox = folder.parent_path();
  platform::UniqueFD parent = platform::openFolder(inbox.string(), true);
  if (!parent) fail(errno, "could not create the folder", folder);
  if (::mkdirat(parent.get(), folder.filename().c_str(), 0700) != 0)
    fail(errno, "could not create the folder", folder);
}

void writePayload(const std::filesystem::path& folder, const Payload& payload) {
  std::filesystem::path target = folder / payload.fileName;
  if (!isPlainName(payload.fileName)) fail(EINVAL, "not a file name:", payload.fileName);
  // A device or a FIFO would be copied without end, or block the open for ever; a file over
  // the limit would be set aside by the host. Both are refused on the open descriptor, so a
  // file swapped after any earlier look is caught too.
  platform::UniqueFD source;
  if (!payload.source.empty()) {
    struct stat status;
    source = platform::openNamedFile(payload.source.string(), status);
    if (!source && errno == EINVAL) throw RefusedCapture("Can't read " + payload.fileName + ".");
    if (!source) fail(errno, "could not read the file", payload.source);
    if (static_cast<std::uint64_t>(status.st_size) > platform::kMaxFileBytes)
      throw RefusedCapture(payload.fileName + " is over 200 MB.");
  } else if (payload.data.size() > platform::kMaxFileBytes) {
    throw RefusedCapture(payload.fileName + " is over 200 MB.");
  }
  platform::UniqueFD file(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!file) fail(errno, "could not create the file", target);
  // From here the file is ours: one cut short is removed again, so a failed save leaves only
  // the empty folder. The payload reaches the disk before request.json does, or a crash could
  // leave a whole capture with part of its file.
  try {
    if (!source) {
      writeAll(file.get(), payload.data, target);
    } else {
      char buffer[65536];
      std::uint64_t copied = 0;
      ssize_t n;
      while ((n = ::read(source.get(), buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno, "could not read the file", payload.source);
        // A file that grew after it was measured is held to the limit all the same.
        copied += static_cast<std::uint64_t>(n);
        if (copied > platform::kMaxFileBytes)
          throw RefusedCapture(payload.fileName + " is over 200 MB.");
        writeAll(file.get(), {buffer, static_cast<std::size_t>(n)}, target);
      }
    }
    if (::fsync(file.get()) != 0 || closeNow(file) != 0) fail(errno, "could not write", target);
  } catch (...) {
    ::unlink(target.c_str());
    throw;
  }
}

std::string encodeRequest(const IncomingRequest& request) {
  std::string bytes = request.encoded();
  if (bytes.size() > platform::kMaxCaptureRequestBytes)
    throw RefusedCapture("The capture is over 16 MB.");
  return bytes;
}

void writeRequest(const std::filesystem::path& folder, const IncomingRequest& request) {
  std::string bytes = encodeRequest(request);
  std::filesystem::path temporary = folder / temporaryName();
  std::filesystem::path target = folder / "request.json";
  platform::UniqueFD file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!file) fail(errno, "could not create the file", temporary);
  try {
    writeAll(file.get(), bytes, temporary);
    if (::fsync(file.get()) != 0) fail(errno, "could not write", temporary);
    if (closeNow(file) != 0) fail(errno, "could not write", temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno, "could not save", target);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // The rename itself is made durable too, so the host never finds a capture that vanishes
  // after a crash. Failing here changes nothing for the host: request.json is in place.
  platform::UniqueFD directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory) ::fsync(directory.get());
}

std::filesystem::path writeCapture(const std::filesystem::path& inbox, platform::UUIDSource& uuids,
                                   const IncomingRequest& request, const Payload* payload) {
  encodeRequest(request);
  if (payload && payload->source.empty() && payload->data.size() > platform::kMaxFileBytes)
    throw RefusedCapture(payload->fileName + " is over 200 MB.");
  std::filesystem::path folder = newCaptureFolderURL(inbox, uuids);
  createCaptureFolder(folder);
  if (payload) writePayload(folder, *payload);
  writeRequest(folder, request);
  return folder;
}

void postIncoming(platform::NotificationCenter& notifications) {
  notifications.post(platform::kIncomingNotificationName);
}

}  // namespace nolt::capture
