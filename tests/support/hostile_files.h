// tests/support/hostile_files.h - what another program can leave at a name that a reader takes
// from the shared container or from a person: planted one at a time, with a bound on how long
// the reader may take over it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

namespace nolt::test_support {

enum class Hostile {
  fifo,             // nobody writes it: a plain open() waits for ever
  linkToDevZero,    // never ends
  linkOutOfFolder,  // a good file, but elsewhere, reached through a link
  overCap,          // a sparse file one byte over the reader's cap
};

struct HostileCase {
  const char* name;
  Hostile kind;
};

inline constexpr HostileCase kHostileCases[] = {
    {"fifo", Hostile::fifo},
    {"link to /dev/zero", Hostile::linkToDevZero},
    {"link out of the folder", Hostile::linkOutOfFolder},
    {"over the cap", Hostile::overCap},
};

// Puts `kind` at `path` in place of whatever was there. `outsideFile` is the good file that a
// link out of the folder names; `cap` is the reader's cap.
inline bool plantHostile(Hostile kind, const std::string& path, std::uint64_t cap,
                         const std::string& outsideFile) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  switch (kind) {
    case Hostile::fifo:
      return ::mkfifo(path.c_str(), 0600) == 0;
    case Hostile::linkToDevZero:
      return ::symlink("/dev/zero", path.c_str()) == 0;
    case Hostile::linkOutOfFolder:
      return ::symlink(outsideFile.c_str(), path.c_str()) == 0;
    case Hostile::overCap: {
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      bool made = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(cap + 1)) == 0;
      if (fd >= 0) ::close(fd);
      return made;
    }
  }
  return false;
}

// Runs `read` on a thread of its own; true when it returned within `seconds`. A reader still
// waiting then is let go by opening the FIFO at `path` from the other end, so that a failing
// test fails instead of hanging.
template <class Read>
bool endsWithin(double seconds, Read read, const std::string& path) {
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  std::thread reader([&] {
    read();
    finished.set_value();
  });
  bool inTime = done.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
  while (!inTime && done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) ::close(writer);
  }
  reader.join();
  return inTime;
}

}  // namespace nolt::test_support
