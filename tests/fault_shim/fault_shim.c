// tests/fault_shim/fault_shim.c - an LD_PRELOAD library that makes one file-changing call of
// a program fail: it counts the calls that change files (creating opens, writes to regular
// files, fsync, rename, link, unlink, mkdir, truncate) and, at the Nth, kills the process or
// fails the call with an errno. Counting starts once the program writes the text in
// NOLT_FAULT_ARM (the host's "running\n" record), so start-up is left alone.
//
//   NOLT_FAULT_AT=N          the call to fault, counted from 1 once armed (0: count only)
//   NOLT_FAULT=kill|EIO|ENOSPC
//   NOLT_FAULT_ARM=text      arm on the first write of exactly these bytes
//   NOLT_FAULT_REPORT=path   the number of calls counted, written when the process exits
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long faultAt = -1;
static int faultErrno = 0;  // 0: kill
static const char* armText = NULL;
static atomic_int armed = 0;
static atomic_long calls = 0;

__attribute__((constructor)) static void setUp(void) {
  const char* at = getenv("NOLT_FAULT_AT");
  if (at) faultAt = atol(at);
  const char* fault = getenv("NOLT_FAULT");
  if (fault && strcmp(fault, "EIO") == 0) faultErrno = EIO;
  if (fault && strcmp(fault, "ENOSPC") == 0) faultErrno = ENOSPC;
  armText = getenv("NOLT_FAULT_ARM");
  if (!armText || !*armText) armed = 1;
}

__attribute__((destructor)) static void report(void) {
  const char* path = getenv("NOLT_FAULT_REPORT");
  if (!path) return;
  FILE* f = fopen(path, "w");
  if (!f) return;
  fprintf(f, "%ld\n", (long)calls);
  fclose(f);
}

typedef void (*AnyFunction)(void);
static AnyFunction realSymbol(const char* name) {
  union {
    void* object;
    AnyFunction function;
  } symbol;
  symbol.object = dlsym(RTLD_NEXT, name);
  return symbol.function;
}
#define REAL(name) ((__typeof__(&name))realSymbol(#name))

// Zero to go on, or -1 with errno set for a call that must fail.
static int faultHere(void) {
  if (!armed) return 0;
  long n = ++calls;
  if (faultAt <= 0 || n != faultAt) return 0;
  if (faultErrno == 0) kill(getpid(), SIGKILL);
  errno = faultErrno;
  return -1;
}

static int isRegular(int fd) {
  struct stat status;
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

static void armOn(const void* bytes, size_t size) {
  if (!armed && armText && size == strlen(armText) && memcmp(bytes, armText, size) == 0)
    armed = 1;
}

// A write to a regular file counts; the text written may arm the counting.
#define WRITING(name, params, args)                \
  ssize_t name params {                            \
    if (isRegular(fd) && faultHere()) return -1;   \
    ssize_t n = REAL(name) args;                   \
    armOn(bytes, size);                            \
    return n;                                      \
  }

WRITING(write, (int fd, const void* bytes, size_t size), (fd, bytes, size))
WRITING(pwrite, (int fd, const void* bytes, size_t size, off_t at), (fd, bytes, size, at))
WRITING(pwrite64, (int fd, const void* bytes, size_t size, off64_t at), (fd, bytes, size, at))

// An open counts when it may create a file; the mode follows the flags only then.
#define OPENING(name, params, args)      \
  int name params {                      \
    mode_t mode = 0;                     \
    if (flags & (O_CREAT | O_TMPFILE)) { \
      va_list rest;                      \
      va_start(rest, flags);             \
      mode = va_arg(rest, mode_t);       \
      va_end(rest);                      \
      if (faultHere()) return -1;        \
    }                                    \
    return REAL(name) args;              \
  }

OPENING(open, (const char* path, int flags, ...), (path, flags, mode))
OPENING(open64, (const char* path, int flags, ...), (path, flags, mode))
OPENING(openat, (int folder, const char* path, int flags, ...), (folder, path, flags, mode))
OPENING(openat64, (int folder, const char* path, int flags, ...), (folder, path, flags, mode))

#define FAULTING(result, name, params, args) \
  result name params {                       \
    if (faultHere()) return -1;              \
    return REAL(name) args;                  \
  }

FAULTING(int, fsync, (int fd), (fd))
FAULTING(int, fdatasync, (int fd), (fd))
FAULTING(int, ftruncate, (int fd, off_t size), (fd, size))
FAULTING(int, ftruncate64, (int fd, off64_t size), (fd, size))
FAULTING(int, rename, (const char* from, const char* to), (from, to))
FAULTING(int, renameat, (int a, const char* from, int b, const char* to), (a, from, b, to))
FAULTING(int, renameat2, (int a, const char* from, int b, const char* to, unsigned flags),
         (a, from, b, to, flags))
FAULTING(int, link, (const char* from, const char* to), (from, to))
FAULTING(int, linkat, (int a, const char* from, int b, const char* to, int flags),
         (a, from, b, to, flags))
FAULTING(int, unlink, (const char* path), (path))
FAULTING(int, unlinkat, (int folder, const char* path, int flags), (folder, path, flags))
FAULTING(int, rmdir, (const char* path), (path))
FAULTING(int, mkdir, (const char* path, mode_t mode), (path, mode))
FAULTING(int, mkdirat, (int folder, const char* path, mode_t mode), (folder, path, mode))
