#include "host/instance_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

namespace nolt::host {

std::optional<InstanceRecord> InstanceRecord::acquire(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  InstanceRecord record(fd);
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
