// tests/support/scoped_umask.h - a process umask for the length of a test.
#pragma once

#include <sys/stat.h>

namespace nolt::test_support {

// 022 by default: the umask a desktop session usually has, so files meant to be private must
// be made so on purpose.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask = 022) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

}  // namespace nolt::test_support
