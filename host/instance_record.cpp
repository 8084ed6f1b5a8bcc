#include "host/instance_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nolt::host {

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw InstanceError("Can't take the instance record " + path + ": " + why);
}

}  // namespace

std::optional<InstanceRecord> InstanceRecord::acquire(const std::string& path) {
  // Never through a link, and never blocking on a FIFO planted at the name.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0 && errno == ELOOP) refuse(path, "it is a link.");
  if (fd < 0) refuse(path, std::string(std::strerror(errno)) + ".");
  InstanceRecord record(fd);
  struct stat status;
  if (fstat(fd, &status) != 0) refuse(path, std::string(std::strerror(errno)) + ".");
  if (!S_ISREG(status.st_mode)) refuse(path, "it isn't a plain file.");
  if (status.st_uid != geteuid()) refuse(path, "another user owns it.");
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK) return std::nullopt;
  if (rc != 0) refuse(path, std::string(std::strerror(errno)) + ".");
  record.write("launching\n");
  return record;
}

InstanceRecord::~InstanceRecord() {
  if (fd_ >= 0) ::close(fd_);
}

void InstanceRecord::setRunning() { write("running\n"); }

// Readers take the word from the start of the file; a shorter word must not leave the tail
// of a longer one behind, hence the truncation first.
void InstanceRecord::write(const char* word) {
  if (ftruncate(fd_, 0) != 0) return;
  if (pwrite(fd_, word, std::strlen(word), 0) < 0) return;
}

}  // namespace nolt::host
