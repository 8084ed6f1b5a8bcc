// host/instance_record.h - the running host's instance record: <runtime>/app.nolt.Nolt.instance
// under an exclusive flock for the host's whole life, holding "launching", then "running".
// Other programs learn from the lock whether a host runs, and from the word whether it has
// finished launching. The lock goes with the process, however it ends.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace nolt::host {

// The record can't be opened or locked: this host can't serve. what() says why.
class InstanceError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

class InstanceRecord {
 public:
  // Takes the record, or none when another host holds it. Throws InstanceError when it can't
  // be taken for any other reason: a link or anything but a plain file of ours at its name.
  static std::optional<InstanceRecord> acquire(const std::string& path);
  ~InstanceRecord();
  InstanceRecord(InstanceRecord&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  InstanceRecord(const InstanceRecord&) = delete;
  InstanceRecord& operator=(const InstanceRecord&) = delete;
  InstanceRecord& operator=(InstanceRecord&&) = delete;

  void setRunning();

 private:
  explicit InstanceRecord(int fd) : fd_(fd) {}
  void write(const char* word);
  int fd_ = -1;
};

}  // namespace nolt::host
